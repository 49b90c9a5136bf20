// Care around the device root's files: whether a file can be read record by record
// (so a tool may rewrite it), temporaries named for the program that made them,
// and the removal of those an earlier run left behind (killed before its rename).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <random>

#include "platform/files.h"

namespace {

constexpr off_t kMaxRecordFileBytes = 16 << 20;  // what OpenTextFile reads of a file

// When this process started, as the files' clock counts: a temporary changed
// later may belong to a run that is still going.
const timespec kRunStart = [] {
    timespec t {};
    clock_gettime(CLOCK_REALTIME, &t);
    return t;
}();

std::string& Owner()
{
    static std::string owner = "velkar";
    return owner;
}

bool ChangedBeforeRun(const struct stat& st)
{
    if (st.st_mtim.tv_sec != kRunStart.tv_sec) return st.st_mtim.tv_sec < kRunStart.tv_sec;
    return st.st_mtim.tv_nsec < kRunStart.tv_nsec;
}

bool ProcessLives(long pid)
{
    if (pid <= 0) return false;
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// The pid in "<...>.tmp-<owner>-<pid>-<16 hex>", or -1 when name is no temporary
// of this owner.
long TemporaryPid(const std::string& name)
{
    const std::string mark = ".tmp-" + Owner() + "-";
    const size_t at = name.rfind(mark);
    if (at == std::string::npos) return -1;
    const char* digits = name.c_str() + at + mark.size();
    char* end = nullptr;
    const long pid = std::strtol(digits, &end, 10);
    if (end == digits || *end != '-' || std::strlen(end + 1) != 16) return -1;
    return pid;
}

}  // namespace

void SetTemporaryOwner(const char* program) { Owner() = program; }

std::string TemporaryFileName(const std::string& base)
{
    static std::mutex mutex;
    static std::mt19937_64 random{std::random_device{}() ^ (uint64_t(getpid()) << 32)};
    std::lock_guard<std::mutex> lock(mutex);
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, "-%ld-%016llx", static_cast<long>(getpid()),
                  static_cast<unsigned long long>(random()));
    return base + ".tmp-" + Owner() + suffix;
}

int RemoveLeftoverTemporaries(const std::string& hostFolder)
{
    DIR* dir = opendir(hostFolder.c_str());
    if (dir == nullptr) return 0;
    int removed = 0;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        const long pid = TemporaryPid(name);
        if (pid < 0 || pid == static_cast<long>(getpid()) || ProcessLives(pid)) continue;
        struct stat st;
        if (fstatat(dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(st.st_mode)) continue;
        if (!ChangedBeforeRun(st)) continue;
        if (unlinkat(dirfd(dir), name.c_str(), 0) == 0) ++removed;
    }
    closedir(dir);
    return removed;
}

int RecordFileReadable(const std::string& hostPath, std::string* why)
{
    auto refuse = [why](const std::string& words) {
        if (why != nullptr) *why = words;
        return 0;
    };
    struct stat st;
    if (stat(hostPath.c_str(), &st) != 0) {
        if (errno == ENOENT) return 1;
        return refuse(std::strerror(errno));
    }
    if (!S_ISREG(st.st_mode)) return refuse("not a regular file");
    if (st.st_size > kMaxRecordFileBytes) return refuse("larger than 16 MiB");
    const int fd = OpenRegularFileForReading(hostPath);
    if (fd < 0) return refuse(errno != 0 ? std::strerror(errno) : "not a regular file");
    std::string bytes;
    char chunk[4096];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            close(fd);
            return refuse(std::strerror(error));
        }
        if (n == 0) break;
        bytes.append(chunk, static_cast<size_t>(n));
    }
    close(fd);
    const bool utf32 = bytes.size() >= 4 && ((bytes.compare(0, 4, std::string("\xFF\xFE\0\0", 4)) == 0) ||
                                             bytes.compare(0, 4, std::string("\0\0\xFE\xFF", 4)) == 0);
    if (utf32) return refuse("UTF-32 text");
    if (TextBytesAreUtf16(bytes)) return 1;
    if (bytes.find('\0') != std::string::npos) return refuse("binary or UTF-16 text without a byte-order mark");
    return 1;
}
