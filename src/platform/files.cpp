#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>

#include "base/text.h"
#include "platform/diagnostics.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxTextFileBytes = 16u << 20;  // 16 MiB

// Never destroyed: the reader thread, which is never joined, may still look a
// receiver's entry up under the root while the process ends.
std::string& RootStorage()
{
    static std::string& root = *new std::string(DeviceRootDefault());
    return root;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

}  // namespace

struct TextFile {
    std::u16string text;   // whole content, for reading
    size_t position = 0;
    int fd = -1;           // for appending
    bool writing = false;
    bool failed = false;
};

namespace {

// Remembers which files refused an append since their last accepted one; 1 when
// refused is set and the file had not refused before.
int NoteAppendRefused(const std::string& host, bool refused)
{
    static std::mutex mutex;
    static std::set<std::string> refusing;
    std::lock_guard<std::mutex> lock(mutex);
    if (!refused) {
        refusing.erase(host);
        return 0;
    }
    return refusing.insert(host).second ? 1 : 0;
}

// A write past the file-size limit must fail with EFBIG, not end the process:
// every writer of a user's file passes here first.
void IgnoreFileSizeSignal()
{
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
}

// Writes all bytes, going on after short writes; 0 when a write fails or makes
// no progress (full disk, file-size limit, I/O error).
int WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return 1;
}

// The file a path finally names: links are followed one by one (at most 40), so
// that a save through a link replaces the link's target and leaves the link.
// "" when a link cannot be read or the chain is too long.
std::string FollowLinks(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        char link[4096];
        const ssize_t n = readlink(path.c_str(), link, sizeof link);
        if (n <= 0 || static_cast<size_t>(n) >= sizeof link) return "";
        std::string next(link, static_cast<size_t>(n));
        if (next[0] != '/') {
            const size_t slash = path.rfind('/');
            next = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + next;
        }
        path = next;
    }
    return "";
}

}  // namespace

std::string DeviceRootDefault()
{
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/velkar";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : ".") + "/.local/share/velkar";
}

void SetDeviceRoot(const std::string& hostFolder) { RootStorage() = hostFolder; }

const std::string& DeviceRoot() { return RootStorage(); }

std::string DevicePathToHost(const char16_t* devicePath)
{
    std::string path = TextToUtf8(devicePath);
    for (char& c : path)
        if (c == '\\') c = '/';
    if (path.rfind("./", 0) == 0) path.erase(0, 2);
    // Every device path lives under the root, also one written as absolute.
    size_t start = 0;
    while (start < path.size() && path[start] == '/') ++start;

    fs::path host = DeviceRoot();
    bool exists = true;
    int depth = 0;  // components below the root
    size_t i = start;
    while (i <= path.size()) {
        size_t slash = path.find('/', i);
        if (slash == std::string::npos) slash = path.size();
        std::string part = path.substr(i, slash - i);
        i = slash + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            // Never leave the root: a ".." at the root's level stays there.
            if (depth > 0) {
                host = host.parent_path();
                --depth;
            }
            continue;
        }
        fs::path exact = host / part;
        std::error_code ec;
        if (exists && !fs::exists(exact, ec)) {
            exists = false;
            for (fs::directory_iterator it(host, ec), end; !ec && it != end; it.increment(ec)) {
                if (SameIgnoringCase(it->path().filename().string(), part)) {
                    exact = it->path();
                    exists = true;
                    break;
                }
            }
        }
        host = exact;
        ++depth;
    }
    return host.string();
}

int OpenRegularFileForReading(const std::string& hostPath)
{
    // O_NONBLOCK: opening a FIFO with no writer, or a device, never waits.
    const int fd = open(hostPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return -1;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags != -1) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

TextFile* OpenTextFile(const char16_t* devicePath, const char* mode)
{
    const std::string host = DevicePathToHost(devicePath);
    if (mode[0] == 'r') {
        const int fd = OpenRegularFileForReading(host);
        if (fd < 0) return nullptr;
        // Configuration files are a few hundred bytes; a huge file is read only up
        // to a bound, so that reading it cannot exhaust the memory.
        std::string bytes;
        char chunk[4096];
        bool failed = false;
        while (bytes.size() < kMaxTextFileBytes) {
            const ssize_t n = read(fd, chunk, std::min(sizeof chunk, kMaxTextFileBytes - bytes.size()));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) failed = true;
            if (n <= 0) break;
            bytes.append(chunk, static_cast<size_t>(n));
        }
        close(fd);
        if (failed) return nullptr;
        auto* file = new TextFile;
        file->text = DecodeTextBytes(bytes);
        return file;
    }
    if (mode[0] == 'a') {
        // Never blocks (a FIFO without a reader fails at once) and appends only to
        // a regular file: anything else counts as a missing card.
        const int fd = open(host.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
        struct stat st;
        if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            // Said at the first refusal, and again only after an append got through:
            // the track log asks every few seconds.
            if (NoteAppendRefused(host, true))
                VerboseLine("cannot append to %s: %s", host.c_str(), fd < 0 ? std::strerror(errno) : "not a regular file");
            if (fd >= 0) close(fd);
            return nullptr;
        }
        NoteAppendRefused(host, false);
        auto* file = new TextFile;
        file->writing = true;
        file->fd = fd;
        return file;
    }
    return nullptr;
}

int ReadTextChar(TextFile* file, char16_t* out)
{
    if (file->position >= file->text.size()) return 0;
    *out = file->text[file->position++];
    return 1;
}

int TextFileAtEnd(TextFile* file) { return file->text.empty() ? 1 : 0; }

int WriteText(TextFile* file, const char16_t* text)
{
    if (!file->writing || file->failed) return 0;
    IgnoreFileSizeSignal();
    const std::string bytes = TextToUtf8(text);
    struct stat st;
    if (fstat(file->fd, &st) != 0) {
        file->failed = true;
        return 0;
    }
    // The text is whole or absent: after a failed or short write (full disk,
    // file-size limit, I/O error) the file is cut back to its old length.
    if (!WriteAll(file->fd, bytes.data(), bytes.size())) {
        const int saved = errno;
        while (ftruncate(file->fd, st.st_size) != 0 && errno == EINTR) {
        }
        file->failed = true;
        VerboseLine("cannot append to a file: %s", std::strerror(saved));
        return 0;
    }
    return 1;
}

int CloseTextFile(TextFile* file)
{
    int ok = 1;
    if (file->writing) {
        if (close(file->fd) != 0 || file->failed) ok = 0;
    }
    delete file;
    return ok;
}

int ReplaceHostFile(const std::string& hostPath, const std::string& bytes)
{
    IgnoreFileSizeSignal();
    const std::string target = FollowLinks(hostPath);
    auto refuse = [&hostPath](const char* why) {
        VerboseLine("cannot save %s: %s", hostPath.c_str(), why);
        return 0;
    };
    if (target.empty()) return refuse("a link that cannot be followed");
    // Only a regular file is replaced (or a missing one created): never a folder,
    // a device or a FIFO that a link points at.
    struct stat old;
    const bool exists = lstat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) return refuse(S_ISDIR(old.st_mode) ? "it is a folder" : "not a regular file");
    if (!exists && errno != ENOENT) return refuse(std::strerror(errno));
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return refuse((std::string("its folder: ") + std::strerror(errno)).c_str());

    // Created exclusively under a fresh name, never through a link.
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = TemporaryFileName(name);
        fd = openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        VerboseLine("cannot save %s: %s", target.c_str(), std::strerror(errno));
        close(dir);
        return 0;
    }
    // The new file keeps the old one's owner (when allowed) and permissions.
    if (exists) {
        if (fchown(fd, old.st_uid, old.st_gid) != 0) {
        }
        fchmod(fd, old.st_mode & 07777);
    }
    int error = 0;
    if (!WriteAll(fd, bytes.data(), bytes.size()) || fsync(fd) != 0) error = errno != 0 ? errno : EIO;
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && renameat(dir, temp.c_str(), dir, name.c_str()) != 0) error = errno;
    if (error != 0) {
        VerboseLine("cannot save %s: %s", target.c_str(), std::strerror(error));
        unlinkat(dir, temp.c_str(), 0);
        close(dir);
        return 0;
    }
    // The rename itself reaches the disk with the folder.
    fsync(dir);
    close(dir);
    return 1;
}

int ReplaceTextFile(const char16_t* devicePath, const char16_t* content)
{
    return ReplaceHostFile(DevicePathToHost(devicePath), TextToUtf8(content));
}

int EnsureDeviceRootFolders()
{
    static const char16_t* const kFolders[] = {u"\\My Documents\\Velkar", u"\\Scheda di memoria\\Velkar", u"\\dev"};
    int ok = 1;
    for (const char16_t* folder : kFolders) {
        const fs::path host = DevicePathToHost(folder);
        std::error_code ec;
        fs::create_directories(host, ec);
        if (!fs::is_directory(host, ec)) ok = 0;
    }
    return ok;
}
