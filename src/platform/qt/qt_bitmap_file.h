// Inside the Qt bitmap layer only: a BMP file mapped and read in place, the identity
// of the file a bitmap was loaded from (to notice it replaced or cut short), and the
// guard that turns a read from pages a file lost while mapped (SIGBUS) into an
// unfinished transfer instead of a crash.
#pragma once

#include <atomic>
#include <csetjmp>
#include <cstdint>
#include <string>

#include "platform/bmp_layout.h"
#include "platform/qt/qt_internal.h"

constexpr int64_t kMaxDecodedPixels = 150'000'000;  // 600 MB of 32-bit pixels for an image decoded whole

// A BMP file mapped read-only, with its layout (what turns a row of it into
// 0xFFRRGGBB pixels). The descriptor stays open: the file's present size is asked
// of it before rows are read, so that rows a file lost since are left alone.
struct MappedBitmap : BmpLayout {
    int fd = -1;
    const uint8_t* bytes = nullptr;  // the whole file as it was at opening
    size_t size = 0;                 // bytes mapped
    mutable std::atomic<bool> painted{false};  // the first transfer asks for all its rows at once
    uint64_t serial = NextSerial();  // names this mapping for as long as the process runs

    static uint64_t NextSerial()
    {
        static std::atomic<uint64_t> next{1};
        return next++;
    }

    ~MappedBitmap();
    const uint8_t* Row(int64_t y) const { return bytes + pixelStart + (topDown ? y : height - 1 - y) * stride; }
};

// The file a bitmap object was loaded from, as it was then.
struct BitmapFile {
    std::string path;                // host path
    uint64_t device = 0, inode = 0;
    int64_t size = 0, modifiedNs = 0;
    bool saidGone = false, saidShort = false;  // said once under --verbose, until it changes
};

// Loads the file at host path into a new bitmap object; nullptr (the reason said
// under --verbose) when it cannot be loaded.
PlatformObject* LoadBitmapHost(const std::string& host);

// Says under --verbose that the file of bitmap was cut short during a transfer,
// which drew what it had read by then.
void SayCutDuringRead(const PlatformObject* bitmap);

// The innermost guarded read of this thread (nullptr: none runs).
extern thread_local sigjmp_buf* guardedReadJump;
// Installs the SIGBUS handler that ends a guarded read (once a process).
void InstallReadGuard();

// Runs body; when a page of a mapped file is gone under it (the file cut short by
// another program meanwhile), body stops there and the answer is false. body must
// hold no object with a destructor while it reads mapped pixels.
template <class Body>
bool GuardedRead(Body&& body)
{
    InstallReadGuard();
    sigjmp_buf jump;
    sigjmp_buf* const outer = guardedReadJump;
    if (sigsetjmp(jump, 1) != 0) {
        guardedReadJump = outer;
        return false;
    }
    guardedReadJump = &jump;
    body();
    guardedReadJump = outer;
    return true;
}
