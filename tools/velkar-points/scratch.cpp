// velkar-points' scratch folder, "$TMPDIR/velkar-points-<pid>-XXXXXX": made at
// the first use, removed on every exit (a normal end, or SIGINT, SIGTERM, SIGHUP,
// SIGQUIT, SIGPIPE), and folders of earlier runs that died (kill -9) removed.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "points_tool.h"

namespace fs = std::filesystem;

namespace {

constexpr char kPrefix[] = "velkar-points-";
constexpr int kMaxScratchFiles = 8;
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

// Fixed storage, so that the signal handler touches nothing but these bytes.
char scratchFolder[PATH_MAX];
char scratchFiles[kMaxScratchFiles][PATH_MAX];
volatile sig_atomic_t scratchFileCount = 0;

void RemoveScratch()
{
    for (int i = 0; i < scratchFileCount; ++i) unlink(scratchFiles[i]);
    if (scratchFolder[0] != 0) rmdir(scratchFolder);
}

void OnSignal(int signal)
{
    RemoveScratch();
    struct sigaction plain = {};
    plain.sa_handler = SIG_DFL;
    sigaction(signal, &plain, nullptr);
    raise(signal);
}

int ProcessLives(long pid) { return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

// Scratch folders of dead runs, last changed before this run began.
void RemoveLeftoverScratch(const fs::path& temp)
{
    DIR* dir = opendir(temp.c_str());
    if (dir == nullptr) return;
    const time_t start = time(nullptr);
    const size_t prefix = sizeof kPrefix - 1;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name.compare(0, prefix, kPrefix) != 0) continue;
        char* end = nullptr;
        const long pid = std::strtol(name.c_str() + prefix, &end, 10);
        if (end == name.c_str() + prefix || *end != '-' || pid <= 0 || pid == getpid() || ProcessLives(pid)) continue;
        struct stat st;
        if (fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != getuid() || st.st_mtime >= start)
            continue;
        std::error_code ec;
        fs::remove_all(temp / name, ec);
    }
    closedir(dir);
}

int MakeScratchFolder()
{
    if (scratchFolder[0] != 0) return 1;
    std::error_code ec;
    const fs::path temp = fs::temp_directory_path(ec);
    if (ec) return 0;
    RemoveLeftoverScratch(temp);
    std::string pattern = (temp / (kPrefix + std::to_string(getpid()) + "-XXXXXX")).string();
    if (pattern.size() >= PATH_MAX - 32) return 0;
    struct sigaction handler = {};
    handler.sa_handler = OnSignal;
    sigemptyset(&handler.sa_mask);
    for (int s : kSignals) sigaddset(&handler.sa_mask, s);
    sigset_t blocked, old;
    sigemptyset(&blocked);
    for (int s : kSignals) sigaddset(&blocked, s);
    sigprocmask(SIG_BLOCK, &blocked, &old);  // no signal between the folder and its handler
    const int made = mkdtemp(pattern.data()) != nullptr;
    if (made) {
        std::strcpy(scratchFolder, pattern.c_str());
        for (int s : kSignals) sigaction(s, &handler, nullptr);
        std::atexit(RemoveScratch);
    }
    sigprocmask(SIG_SETMASK, &old, nullptr);
    return made;
}

}  // namespace

std::string ScratchFile(const char* name)
{
    if (!MakeScratchFolder()) return "";
    const std::string path = std::string(scratchFolder) + "/" + name;
    for (int i = 0; i < scratchFileCount; ++i)
        if (path == scratchFiles[i]) return path;
    if (scratchFileCount >= kMaxScratchFiles || path.size() >= PATH_MAX) return "";
    std::strcpy(scratchFiles[scratchFileCount], path.c_str());
    scratchFileCount = scratchFileCount + 1;
    return path;
}
