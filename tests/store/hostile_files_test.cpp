// Hostile files around the stored data: FIFOs and links where the files should
// be, a full disk, I/O errors and file-size limits while saving and appending.
// Faults come from real tools: strace's injection, setrlimit, a tiny tmpfs.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include "platform/files.h"
#include "store/maps.h"
#include "store/prefs.h"
#include "store/settings.h"
#include "store/track_log.h"

namespace {
namespace fs = std::filesystem;
const std::string kDir = "My Documents/Velkar/", kCfg = kDir + "vlcfg.cfg", kCard = "Scheda di memoria/",
                  kLog = kCard + "GpsLog.txt";
const std::string kOldLog = "44.348733;11.717500;163400.0;1;0.000000;0.000000 \n";
constexpr char16_t kLine[] = u"44.348733;11.717300;163410.0;1;10.200000;54.700000 \n";

// Started again under strace as the fault helper: one save or one append, the
// result as the exit code (40 + 1 or 0), nothing printed.
const int kHelperRan = [] {
    const char* action = std::getenv("VELKAR_STORE_FAULT");
    if (action == nullptr) return 0;
    SetDeviceRoot(std::getenv("VELKAR_STORE_ROOT"));
    if (std::string(action) == "save") {
        settings.comPort = 5;
        _exit(40 + SaveSettings());
    }
    TextFile* file = OpenTextFile(kTrackLogPath, "a");
    if (file == nullptr) _exit(30);
    const int wrote = WriteText(file, kLine);
    _exit(40 + (CloseTextFile(file) && wrote));
}();

class Hostile : public ::testing::Test {
protected:
    std::string root;
    void SetUp() override
    {
        char pattern[] = "/tmp/velkar-hostile-XXXXXX";
        root = mkdtemp(pattern);
        SetDeviceRoot(root);
        fs::create_directories(Host(kDir));
        fs::create_directories(Host(kCard));
    }
    void TearDown() override { fs::remove_all(root); }
    std::string Host(const std::string& path) const { return root + "/" + path; }
    void Write(const std::string& path, const std::string& bytes) const { std::ofstream(Host(path), std::ios::binary) << bytes; }
    std::string Read(const std::string& path) const
    {
        std::ifstream in(Host(path), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    size_t FilesIn(const std::string& dir) const { return size_t(std::distance(fs::directory_iterator(Host(dir)), {})); }
};

// Runs action in a child that an alarm ends after 20 s: a hang fails the test
// instead of holding the run. The child's exit code, or -signal.
int InChild(const std::function<int()>& action)
{
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(20);
        _exit(action());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

TEST_F(Hostile, AFifoCountsAsAMissingFile)
{
    const std::string cat = kDir + "vlmap.cfg", pref = kDir + "vlpref.cfg";
    const struct { const char* name; std::string fifo; std::function<int()> action; int expected; } rows[] = {
        {"settings read", kCfg, [] { return LoadSettings(); }, 0},
        {"settings saved over", kCfg, [] { return SaveSettings(); }, 0},
        {"catalogue", cat, [] { return LoadMapCatalogue(); }, 0},
        {"preference points", pref, [] { return LoadPrefPoints(); }, 0},
        {"track log", kLog, [] { return OpenTextFile(kTrackLogPath, "a") != nullptr ? 1 : (AppendTrackLog(), 0); }, 0},
    };
    for (const auto& r : rows) {
        ASSERT_EQ(mkfifo(Host(r.fifo).c_str(), 0644), 0) << r.name;
        EXPECT_EQ(InChild(r.action), r.expected) << r.name;
        EXPECT_TRUE(fs::is_fifo(Host(r.fifo))) << r.name;
        fs::remove(Host(r.fifo));
    }
    // A link to a regular file is fine.
    Write(kDir + "real.cfg", "[BEGIN][3][9600]");
    fs::create_symlink("real.cfg", Host(kCfg));
    settings.comPort = 0;
    EXPECT_EQ(LoadSettings(), 1);
    EXPECT_EQ(settings.comPort, 3);
}

TEST_F(Hostile, SaveNeverWritesThroughALink)
{
    // A link planted at the name older versions used for the temporary file.
    Write("victim", "keep me");
    fs::create_symlink(Host("victim"), Host(kCfg + ".tmp-velkar"));
    settings.comPort = 4;
    EXPECT_EQ(SaveSettings(), 1);
    EXPECT_EQ(Read("victim"), "keep me");
    EXPECT_EQ(Read(kCfg).substr(0, 11), "[BEGIN]\n[4]");
    EXPECT_EQ(FilesIn(kDir), 2u);  // vlcfg.cfg and the planted link, no temporary left
    // vlcfg.cfg a link (relative, then a chain): the link stays, its target changes.
    fs::remove(Host(kCfg));
    fs::create_directories(Host("elsewhere"));
    Write("elsewhere/cfg", "old");
    fs::create_symlink(Host("elsewhere/link"), Host(kCfg));
    fs::create_symlink("cfg", Host("elsewhere/link"));
    settings.comPort = 2;
    EXPECT_EQ(SaveSettings(), 1);
    EXPECT_TRUE(fs::is_symlink(Host(kCfg)) && fs::is_symlink(Host("elsewhere/link")));
    EXPECT_EQ(Read("elsewhere/cfg").substr(0, 11), "[BEGIN]\n[2]");
    EXPECT_EQ(FilesIn("elsewhere"), 2u);
    // A link to something that is not a regular file is refused and left alone.
    fs::remove(Host(kCfg));
    fs::create_symlink("/dev/null", Host(kCfg));
    EXPECT_EQ(SaveSettings(), 0);
    EXPECT_TRUE(fs::is_symlink(Host(kCfg)) && fs::is_character_file("/dev/null"));
}

// strace injects the fault into every write (or fsync) of the helper; the old
// file must stay whole and the failure be reported.
TEST_F(Hostile, FaultsInjectedIntoSaveAndAppend)
{
    if (access("/usr/bin/strace", X_OK) != 0) GTEST_SKIP() << "strace is not installed";
    const std::string oldCfg = "[BEGIN]\n[2]\n", self = fs::read_symlink("/proc/self/exe");
    const struct { const char* name; const char* action; const char* inject; } rows[] = {
        {"save, disk full", "save", "write:error=ENOSPC"},
        {"save, I/O error on write", "save", "write:error=EIO"},
        {"save, I/O error on fsync", "save", "fsync:error=EIO"},
        {"append, disk full", "append", "write:error=ENOSPC"},
        {"append, I/O error", "append", "write:error=EIO"},
    };
    for (const auto& r : rows) {
        Write(kCfg, oldCfg);
        Write(kLog, kOldLog);
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("VELKAR_STORE_FAULT", r.action, 1);
            setenv("VELKAR_STORE_ROOT", root.c_str(), 1);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1), dup2(null, 2);
            const std::string inject = std::string("inject=") + r.inject;
            execl("/usr/bin/strace", "strace", "-f", "-qq", "-o", "/dev/null", "-e", inject.c_str(),
                  self.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (code < 30 || code > 41) GTEST_SKIP() << "strace cannot trace here (exit " << code << ")";
        EXPECT_EQ(code, 40) << r.name << ": the failure must be reported";
        EXPECT_EQ(Read(kCfg), oldCfg) << r.name;
        EXPECT_EQ(Read(kLog), kOldLog) << r.name;
        EXPECT_EQ(FilesIn(kDir), 1u) << r.name << ": no temporary left";
    }
}

// A file-size limit cuts the line short: SIGXFSZ does not end the program and
// the log is cut back to its old length.
TEST_F(Hostile, FileSizeLimitDuringAnAppend)
{
    Write(kLog, kOldLog);
    const int code = InChild([] {
        const rlimit limit{60, 60};  // the old line and 9 bytes of the new one
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 99;
        TextFile* file = OpenTextFile(kTrackLogPath, "a");
        const int wrote = file != nullptr ? WriteText(file, kLine) : 9;
        return wrote * 10 + (file != nullptr ? CloseTextFile(file) : 9);
    });
    if (code == 99) GTEST_SKIP() << "no file-size limit can be set here";
    EXPECT_EQ(code, 0) << "write and close must both report the failure";
    EXPECT_EQ(Read(kLog), kOldLog);
}

// A real full disk: a 64 KiB tmpfs on each folder, in a mount namespace of the
// child's own, filled up. The log line would cross into a page there is no room
// for; the save's temporary file finds no room at all.
TEST_F(Hostile, FullDiskDuringAnAppendAndASave)
{
    const std::string oldLog(4096 - 20, 'x'), oldCfg = "[BEGIN]\n[2]\n";
    const struct { const char* name; std::string folder, file, old; std::function<int()> action; } rows[] = {
        {"append", Host(kCard), Host(kLog), oldLog, [] {
             TextFile* file = OpenTextFile(kTrackLogPath, "a");
             const int wrote = file != nullptr ? WriteText(file, kLine) : 1;
             return file != nullptr ? (CloseTextFile(file), wrote) : 98;
         }},
        {"save", Host(kDir), Host(kCfg), oldCfg, [] { return SaveSettings(); }},
    };
    for (const auto& r : rows) {
        const int code = InChild([&] {
            if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                mount("tmpfs", r.folder.c_str(), "tmpfs", 0, "size=64k") != 0)
                return 99;
            std::ofstream(r.file, std::ios::binary) << r.old;
            {
                std::ofstream fill(r.folder + "/fill", std::ios::binary);
                const std::string page(4096, 'f');
                for (int i = 0; i < 64 && fill.write(page.data(), page.size()).flush(); ++i) {
                }
            }
            const int done = r.action();
            std::ifstream in(r.file, std::ios::binary);
            const std::string now((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            return done * 10 + (now == r.old ? 0 : 1) + (std::distance(fs::directory_iterator(r.folder), {}) == 2 ? 0 : 2);
        });
        if (code == 99) GTEST_SKIP() << "cannot mount a tmpfs here (needs CAP_SYS_ADMIN and mount namespaces)";
        EXPECT_EQ(code, 0) << r.name << ": 1 the file changed, 2 a file left behind, 10 reported as done";
    }
}
}  // namespace
