// A map file that changes while it is shown: before each transfer the file at the
// bitmap's path is compared with the one loaded (replaced or rewritten: loaded
// anew; removed: the copy opened is drawn on), only rows still inside a file cut
// short are read, and a file cut short during a read ends it instead of the process.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <utility>

#include <sys/stat.h>

#include "platform/diagnostics.h"
#include "platform/qt/qt_bitmap_file.h"
#include "platform/qt/qt_internal.h"

thread_local sigjmp_buf* guardedReadJump = nullptr;

namespace {

struct sigaction previousBusAction {};

// A read from a page the file no longer has: inside a guarded read, that read
// ends; anywhere else the fault is what it always was (the handler before ours).
void OnBusError(int signal, siginfo_t* info, void* context)
{
    if (sigjmp_buf* jump = guardedReadJump) siglongjmp(*jump, 1);
    // Not ours: the action before ours takes this fault and every later one.
    sigaction(SIGBUS, &previousBusAction, nullptr);
    const bool withInfo = (previousBusAction.sa_flags & SA_SIGINFO) != 0;
    if (withInfo && previousBusAction.sa_sigaction != nullptr)
        previousBusAction.sa_sigaction(signal, info, context);
    else if (!withInfo && previousBusAction.sa_handler != SIG_DFL && previousBusAction.sa_handler != SIG_IGN)
        previousBusAction.sa_handler(signal);
    // Returning runs the faulting read again under that action (by default, the end).
}

int64_t ModifiedNs(const struct stat& info) { return int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec; }

// Bytes a mapped BMP needs for all its rows: the last row needs only its pixels.
int64_t BytesForRows(const MappedBitmap& m, int64_t rows)
{
    if (rows <= 0) return 0;
    return m.pixelStart + (rows - 1) * m.stride + (int64_t{m.width} * m.bits + 7) / 8;
}

}  // namespace

void InstallReadGuard()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &previousBusAction);
    });
}

void SayCutDuringRead(const PlatformObject* bitmap)
{
    VerboseLine("map bitmap %s: its file was cut short during a paint; the rest is left white",
                bitmap != nullptr && bitmap->file ? bitmap->file->path.c_str() : "");
}

void RefreshBitmap(PlatformObject* bitmap)
{
    if (bitmap == nullptr || bitmap->type != PlatformObject::Bitmap || !bitmap->file) return;
    BitmapFile& file = *bitmap->file;
    struct stat now {};
    if (stat(file.path.c_str(), &now) != 0 || !S_ISREG(now.st_mode)) {
        if (!file.saidGone)
            VerboseLine("map bitmap %s: its file is gone (%s); the copy opened is drawn on", file.path.c_str(),
                        std::strerror(errno != 0 ? errno : EINVAL));
        file.saidGone = true;
        return;
    }
    file.saidGone = false;
    const bool same = uint64_t(now.st_dev) == file.device && uint64_t(now.st_ino) == file.inode;
    if (same && now.st_size == file.size && ModifiedNs(now) == file.modifiedNs) return;
    // The same file cut short: the rows still in it are drawn, the others left white.
    if (same && bitmap->mapped && now.st_size < BytesForRows(*bitmap->mapped, bitmap->mapped->height)) return;
    // Replaced, or rewritten whole: the next picture is the file's as it is now.
    const std::string path = file.path;
    if (PlatformObject* fresh = LoadBitmapHost(path)) {
        VerboseLine("map bitmap %s: its file changed; loaded anew", path.c_str());
        bitmap->image = std::move(fresh->image);
        bitmap->mapped = std::move(fresh->mapped);
        bitmap->file = std::move(fresh->file);
        delete fresh;
        return;
    }
    // Refused (said by the loader): nothing is drawn until the file changes again.
    bitmap->image = QImage();
    bitmap->mapped.reset();
    file.device = now.st_dev, file.inode = now.st_ino, file.size = now.st_size, file.modifiedNs = ModifiedNs(now);
}

bool BitmapReadableRows(const PlatformObject* bitmap, int32_t* firstRow, int32_t* endRow)
{
    *firstRow = *endRow = 0;
    int32_t width = 0, height = 0;
    if (!BitmapDimensions(bitmap, &width, &height)) return false;
    *endRow = height;
    if (!bitmap->mapped) return true;
    // Pages past the end of a file cut short since it was mapped cannot be read:
    // only whole rows inside both the file as it is now and the mapping are.
    const MappedBitmap& m = *bitmap->mapped;
    struct stat info {};
    const int64_t size = fstat(m.fd, &info) == 0 ? std::min<int64_t>(info.st_size, int64_t(m.size)) : 0;
    if (size >= BytesForRows(m, m.height)) return true;
    const int64_t rowBytes = (int64_t{m.width} * m.bits + 7) / 8;
    const int64_t kept = size < m.pixelStart + rowBytes ? 0 : std::min<int64_t>(m.height, (size - m.pixelStart - rowBytes) / m.stride + 1);
    if (bitmap->file && !bitmap->file->saidShort)
        VerboseLine("map bitmap %s: its file was cut short while in use; %lld of its %d rows drawn",
                    bitmap->file->path.c_str(), static_cast<long long>(kept), m.height);
    if (bitmap->file) bitmap->file->saidShort = true;
    // Rows are stored bottom-up unless the file says top-down.
    if (m.topDown)
        *endRow = static_cast<int32_t>(kept);
    else
        *firstRow = static_cast<int32_t>(m.height - kept);
    return kept > 0;
}
