#include "platform/root_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/files.h"

namespace {

constexpr int32_t kRetryMs = 20;

std::string LockPath()
{
    return DeviceRoot() + "/.velkar.lock";
}

std::string ReadHolder(int fd)
{
    char text[128];
    const ssize_t n = pread(fd, text, sizeof text - 1, 0);
    if (n <= 0) return std::string();
    std::string s(text, static_cast<size_t>(n));
    while (!s.empty() && (s.back() == '\n' || s.back() == 0)) s.pop_back();
    return s;
}

}  // namespace

int LockDeviceRoot(int32_t waitMs, const char* holderName, std::string* holder)
{
    if (holder != nullptr) holder->clear();
    // Never through a link, never blocking on a FIFO planted at the name.
    const int fd = open(LockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) break;
        if (errno != EWOULDBLOCK && errno != EINTR) {
            close(fd);
            return -1;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            if (holder != nullptr) {
                *holder = ReadHolder(fd);
                if (holder->empty()) *holder = "another program";
            }
            close(fd);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
    }
    char text[128];
    const int length = std::snprintf(text, sizeof text, "%s %ld\n", holderName, static_cast<long>(getpid()));
    if (ftruncate(fd, 0) == 0 && length > 0) {
        const ssize_t written = pwrite(fd, text, static_cast<size_t>(length), 0);
        (void)written;  // the name is a courtesy to waiters; the lock holds without it
    }
    return fd;
}

void UnlockDeviceRoot(int lock)
{
    if (lock < 0) return;
    flock(lock, LOCK_UN);
    close(lock);
}
