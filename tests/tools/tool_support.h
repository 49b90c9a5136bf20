// Shared by the tests of the command-line tools: a device root in the temporary folder, commands run through
// the shell (with their output, in the background, killed after a while), files counted by name.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <vector>

#include "../support/common.h"

namespace tool_test {

namespace fs = std::filesystem;
const std::string kVelkar = VELKAR_BINARY_DIR "/src/velkar", kVelkarDir = "/My Documents/Velkar/";
const std::string kHeadless = "QT_QPA_PLATFORM=offscreen timeout 60 " + kVelkar;  // the navigator, no window

// Holds when text holds part; prints the text when not.
#define EXPECT_HAS(text, part) EXPECT_NE((text).find(part), std::string::npos) << (text)

// The text as one shell word.
inline std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct Outcome {
    int status;          // exit status, -1 when the command did not exit
    std::string output;  // standard output and standard error together
};

inline Outcome Shell(const std::string& command)
{
    const std::string out = fs::temp_directory_path() / ("velkar-tool-test-" + std::to_string(getpid()) + ".out");
    const int raw = std::system((command + " >" + Quote(out) + " 2>&1").c_str());
    Outcome run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(out)};
    fs::remove(out);
    return run;
}

// Runs the command; expects its exit status and, when given, a part of what it says.
inline Outcome Expect(const std::string& command, int status, const std::string& part = "")
{
    const Outcome run = Shell(command);
    EXPECT_EQ(run.status, status) << command << "\n" << run.output;
    EXPECT_HAS(run.output, part);
    return run;
}

// Runs a shell command in the background (exec'd: the pid is the command's own), its output to log.
inline pid_t Background(const std::string& command, const std::string& log = "/dev/null")
{
    const pid_t pid = fork();
    if (pid == 0) execl("/bin/sh", "sh", "-c", ("exec " + command + " >" + Quote(log) + " 2>&1").c_str(), nullptr), _exit(127);
    return pid;
}

// Starts the command and sends it the signal after us microseconds, whether it still runs or not.
inline void KillAfter(const std::string& command, long us, int signal)
{
    const pid_t pid = Background(command);
    std::this_thread::sleep_for(std::chrono::microseconds(us));
    kill(pid, signal), waitpid(pid, nullptr, 0);
}

// Files in folder whose names hold text.
inline long CountNamed(const std::string& folder, const std::string& text)
{
    std::error_code ec;
    return std::count_if(fs::directory_iterator(folder, ec), fs::directory_iterator(),
                         [&](const auto& e) { return e.path().filename().string().find(text) != std::string::npos; });
}

// A fresh device root with its settings folder and, when given, a settings line; removed at the end.
struct Root {
    std::string dir = MakeTempFolder("tool");
    explicit Root(const std::string& settings = "")
    {
        fs::create_directories(dir + kVelkarDir);
        if (!settings.empty()) std::ofstream(Settings()) << settings;
    }
    ~Root() { fs::remove_all(dir); }
    std::string Settings() const { return dir + kVelkarDir + "vlcfg.cfg"; }
    std::string File(const std::string& name) const { return dir + kVelkarDir + name; }  // in the settings folder
    std::string Path(const std::string& name) const { return dir + "/" + name; }
    std::string Tail() const { return " --root " + Quote(dir); }  // the end of every tool's command line
};

}  // namespace tool_test
