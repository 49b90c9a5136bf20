// The real velkar program, started as a process on a temporary device root
// (offscreen): one instance per root (a second start exits 0 and opens no file),
// --quit-after-ticks closing as Control+Q does (settings untouched, track log
// written every tenth tick), and the command line's answers.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

const std::string kVelkar = VELKAR_BINARY_DIR "/src/velkar";

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& content)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

// A scratch folder holding the device root "root" and the program's outputs.
class Scratch {
public:
    Scratch()
    {
        char pattern[] = "/tmp/velkar-proc-XXXXXX";
        folder_ = mkdtemp(pattern) ? pattern : "";
        fs::create_directories(Root());
    }
    ~Scratch()
    {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    std::string Path(const std::string& name) const { return folder_ + "/" + name; }
    std::string Root() const { return Path("root"); }
    std::string RootFile(const std::string& name) const { return Root() + "/" + name; }

private:
    std::string folder_;
};

// Starts velkar with args (offscreen), standard output and error to files.
pid_t Start(const std::vector<std::string>& args, const std::string& outFile, const std::string& errFile)
{
    std::vector<char*> argv;
    std::vector<std::string> all = {kVelkar};
    all.insert(all.end(), args.begin(), args.end());
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawn(&pid, kVelkar.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits for the process; a process still running after limitSeconds is killed
// (so the test cannot hang) and reported as -1.
int WaitExit(pid_t pid, int limitSeconds)
{
    for (int i = 0; i < limitSeconds * 100; ++i) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

int RunVelkar(const std::vector<std::string>& args, const Scratch& scratch, std::string* out, std::string* err)
{
    const pid_t pid = Start(args, scratch.Path("out.txt"), scratch.Path("err.txt"));
    if (pid < 0) return -2;
    const int code = WaitExit(pid, 60);
    if (out) *out = ReadFile(scratch.Path("out.txt"));
    if (err) *err = ReadFile(scratch.Path("err.txt"));
    return code;
}

std::string SettingsOneLine(int emulation, int log)
{
    return "[BEGIN][1][4800][" + std::to_string(emulation) + "][0][0][0][" + std::to_string(log) +
           "][0][0][0][0][END]";
}

TEST(ProcessTest, SecondInstanceExitsZeroAndOpensNoFile)
{
    Scratch scratch;
    const std::string folder = scratch.RootFile("My Documents/Velkar");
    WriteFile(folder + "/vlcfg.cfg", SettingsOneLine(1, 0));
    WriteFile(folder + "/vlmap.cfg", "");
    WriteFile(folder + "/vlpref.cfg", "");
    fs::create_directories(scratch.RootFile("dev"));
    fs::create_symlink("/nonexistent/velkar-receiver", scratch.RootFile("dev/COM1"));

    const std::string firstShot = scratch.Path("first.png");
    const pid_t first = Start({"--root", scratch.Root(), "--screenshot", firstShot}, scratch.Path("first.out"),
                              scratch.Path("first.err"));
    ASSERT_GT(first, 0);
    // Ready once start-up is over: the first paint comes before the port is
    // opened, and the port (a link to nowhere) is the last thing start-up touches
    // under the root, so wait for its message too.
    for (int i = 0; i < 3000 && !(fs::exists(firstShot) &&
                                  ReadFile(scratch.Path("first.err")).find("Unable to open the port") !=
                                      std::string::npos);
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(fs::exists(firstShot)) << ReadFile(scratch.Path("first.err"));
    ASSERT_NE(ReadFile(scratch.Path("first.err")).find("Unable to open the port"), std::string::npos);

    // From now on every open of the root, its folders or the three files is seen.
    const int watch = inotify_init1(IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    for (const std::string& path : {scratch.Root(), scratch.RootFile("My Documents"), folder})
        ASSERT_GE(inotify_add_watch(watch, path.c_str(), IN_OPEN | IN_ACCESS), 0) << path;

    std::string err;
    const std::string secondShot = scratch.Path("second.png");
    const int code = RunVelkar({"--root", scratch.Root(), "--screenshot", secondShot}, scratch, nullptr, &err);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(fs::exists(secondShot)) << "the second instance must not paint";
    EXPECT_EQ(err.find("Error"), std::string::npos) << "the second instance must not try the port: " << err;

    char events[4096];
    const ssize_t n = read(watch, events, sizeof events);
    EXPECT_LE(n, 0) << "the second instance opened something under the root";
    if (n > 0) {
        for (char* p = events; p < events + n;) {
            auto* e = reinterpret_cast<inotify_event*>(p);
            ADD_FAILURE() << "opened: " << (e->len ? e->name : "(watched folder)");
            p += sizeof(inotify_event) + e->len;
        }
    }
    close(watch);

    kill(first, SIGTERM);
    waitpid(first, nullptr, 0);
}

TEST(ProcessTest, QuitAfterTicksClosesLikeControlQ)
{
    // Emulation and log on; 20 ticks at 100 times the speed. The settings file
    // (one hand-written line) stays as it was; the log holds the lines of ticks
    // 10 and 20, which both feed canned sentence 5 (163440.0, 11°43.000' E).
    Scratch scratch;
    const std::string cfg = scratch.RootFile("My Documents/Velkar/vlcfg.cfg");
    WriteFile(cfg, SettingsOneLine(1, 1));
    fs::create_directories(scratch.RootFile("Scheda di memoria"));
    std::string err;
    const int code = RunVelkar({"--root", scratch.Root(), "--time-scale", "100", "--quit-after-ticks", "20",
                          "--screenshot", scratch.Path("shot.png")},
                         scratch, nullptr, &err);
    EXPECT_EQ(code, 0) << err;
    EXPECT_EQ(ReadFile(cfg), SettingsOneLine(1, 1));
    const std::string line = "44.348733;11.716667;163440.0;1;0.000000;0.000000 \n";
    EXPECT_EQ(ReadFile(scratch.RootFile("Scheda di memoria/GpsLog.txt")), line + line);
    EXPECT_TRUE(fs::exists(scratch.Path("shot.png")));
}

TEST(ProcessTest, CommandLineAnswers)
{
    // Rows: arguments, exit status, a text the output or error must hold.
    const struct {
        std::vector<std::string> args;
        int code;
        const char* text;
    } rows[] = {
        {{"--version"}, 0, "velkar 0.0.15"},
        {{"--help"}, 0, "--quit-after-ticks"},
        {{"--bogus"}, 2, "--bogus"},
        {{"--time-scale", "0"}, 2, "--time-scale"},
        {{"--time-scale", "fast"}, 2, "--time-scale"},
        {{"--quit-after-ticks", "-3"}, 2, "--quit-after-ticks"},
        {{"--root"}, 2, "--root"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args[0]);
        Scratch scratch;
        std::string out, err;
        EXPECT_EQ(RunVelkar(row.args, scratch, &out, &err), row.code);
        EXPECT_NE((out + err).find(row.text), std::string::npos) << out << err;
        if (row.code == 2) {
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << "one line: " << err;
        }
    }
}

}  // namespace
