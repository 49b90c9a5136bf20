// Shared fixture of the serial tests: a temporary device root with pty pairs linked in as <root>/dev/COMn,
// GGA sentences, bounded waits on the reader thread, the navigator's main window. POSIX; tests only.
#pragma once
#include <cstring>
#include <gtest/gtest.h>
#include "../gps/gps_support.h"
#include "../support/common.h"
#include "app/globals.h"
#include "app/shell.h"
#include "gps/framing.h"
#include "gps/gps_state.h"
#include "gps/serial_link.h"
#include "platform/files.h"
#include "platform/window.h"
#include "resources/resources.h"
#include "store/settings.h"

namespace fs = std::filesystem;
// A fresh device root with its dev/ folder, removed at the end; link state reset.
struct TempRoot {
    std::string path;
    TempRoot()
    {
        fs::create_directories((path = MakeTempFolder("serial")) + "/dev");
        SetDeviceRoot(path);
        std::unique_lock<std::mutex> lock(gpsMutex);
        gpsState = GpsState{};
        std::memset(displayLine, 0, sizeof displayLine);
        lock.unlock();
        ResetGpsState();
        if (readerThreadsRunning.load() == 0) std::memset(sentenceBuffer, 0, sizeof sentenceBuffer);
        settings.gpsEmulation = gotoActive = 0;
        TakePortFailure();  // an earlier link's
    }
    ~TempRoot() { std::error_code ec; fs::remove_all(path, ec); }
    std::string Dev(int n) const { return path + "/dev/COM" + std::to_string(n); }
    void Link(int n, const std::string& target) const { fs::remove(Dev(n)), fs::create_symlink(target, Dev(n)); }
    void Source(int n, const std::string& line) const { fs::remove(Dev(n)), std::ofstream(Dev(n)) << line << "\n"; }
};
inline std::string Gga(const std::string& time, const char* talker = "GP")
{
    return Sentence(talker + ("GGA," + time) + ",4420.924,N,01143.050,E,1,5,1.69,30,M,47,M,,");
}
inline bool WaitForSentenceEnds(uint32_t target) { return WaitUntil([&] { return sentenceEnds.load() >= target; }); }
inline bool ReaderEnded() { return WaitUntil([] { return readerThreadsRunning.load() == 0; }); }
inline std::u16string UtcTime() { return SnapshotGpsState().utcTime; }
inline bool WaitForUtcTime(const std::u16string& time, int guardMs = 20000)
{
    return WaitUntil([&] { return UtcTime() == time; }, guardMs);
}
// Ends the link as the shutdown does: release the wait, close the port, wait for the reader.
inline bool ShutDownLink() { return ReleasePortWait(portHandle), ClosePort(portHandle), ReaderEnded(); }
inline int paints = 0;
inline intptr_t CountingProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    paints += message == kMsgPaint;
    return MainWndProc(window, message, wParam, lParam);
}
// The main window as the navigator creates it (its create step makes it mainWindow), its paints counted;
// nullptr on failure.
inline WindowHandle AppWindow()
{
    static const WindowClass wc = {3, CountingProc, hInstance = &velkarResources, 109, u"VelkarCounted"};
    static const int registered = RegisterWindowClass(&wc);
    const int32_t d = kUseDefault;
    return registered == 1 ? CreateMainWindow(wc.className, u"Velkar", 0, d, d, d, d) : nullptr;
}
