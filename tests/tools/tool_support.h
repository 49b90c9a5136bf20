// Shared by the tests of the command-line tools: a device root in the temporary
// folder, running a command through the shell with its output captured, quoting
// for it, and reading a whole file.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tool_test {

namespace fs = std::filesystem;
const std::string kVelkar = VELKAR_BINARY_DIR "/src/velkar";
const std::string kVelkarDir = "/My Documents/Velkar/";

// The text as one shell word.
inline std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::string Slurp(const std::string& path)
{
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

struct Outcome {
    int status;          // exit status, -1 when the command did not exit
    std::string output;  // standard output and standard error together
};

inline Outcome Shell(const std::string& command)
{
    const std::string out = fs::temp_directory_path() / ("velkar-tool-test-" + std::to_string(getpid()) + ".out");
    const int raw = std::system((command + " >" + Quote(out) + " 2>&1").c_str());
    std::string text = Slurp(out);
    fs::remove(out);
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, text};
}

// A fresh device root with its settings folder and, when given, a settings line; removed at the end.
struct Root {
    std::string dir;
    explicit Root(const std::string& settings = "")
    {
        char pattern[] = "/tmp/velkar-tool-XXXXXX";
        dir = mkdtemp(pattern);
        fs::create_directories(dir + kVelkarDir);
        if (!settings.empty()) std::ofstream(Settings()) << settings;
    }
    ~Root() { fs::remove_all(dir); }
    std::string Settings() const { return dir + kVelkarDir + "vlcfg.cfg"; }
};

}  // namespace tool_test
