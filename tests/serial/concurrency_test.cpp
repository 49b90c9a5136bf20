// The reader thread alongside the user-interface thread's work: emulated fixes
// fed by the tick, snapshots taken by painting and dialogs, the GoTo and
// emulation switches flipped, waits released. Built with -DVELKAR_SANITIZE=thread
// this must stay quiet; in any build the state must stay whole.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "app/globals.h"
#include "app/shell.h"
#include "base/text.h"
#include "dialogs/dialogs.h"
#include "gps/emulation.h"
#include "gps/gps_state.h"
#include "gps/serial_link.h"
#include "serial_support.h"
#include "platform/window.h"
#include "resources/resources.h"
#include "store/settings.h"

TEST(SerialConcurrency, ReaderRunsAlongsideTheUserInterfaceThread)
{
    ResetLinkState();
    settings.gpsEmulation = 0;
    gotoActive = 0;
    TempRoot root;
    Pty pty;
    LinkDevice(root, 1, pty.slavePath);
    ASSERT_EQ(OpenPort(u"COM1:", 115200), 1);

    constexpr int kSentences = 3000;
    const uint32_t target = sentenceEnds.load() + 2 * kSentences;
    std::atomic<bool> writing{true};
    std::thread receiver([&] {
        for (int i = 0; i < kSentences; ++i) {
            char time[16];
            std::snprintf(time, sizeof time, "%06d", 100000 + i % 5000);
            pty.Write(Sentence(std::string("GPGGA,") + time + ",4420.924,N,01143.050,E,1,5,1.69,30,M,47,M,,") +
                      Sentence("GNVTG,054.7,T,034.4,M,005.5,N,010.2,K,A"));
        }
        writing = false;
    });

    // The user-interface thread: ticks feeding canned fixes, paints and
    // dialogs reading snapshots, GoTo dialogs and the emulation switch coming
    // and going, a release of the wait now and then.
    int rounds = 0;
    int wholeTimes = 0;
    while (writing.load() || sentenceEnds.load() < target) {
        FeedEmulatedSentence(1);
        const GpsState g = SnapshotGpsState();
        char16_t line[kDisplayLineSize];
        SnapshotDisplayLine(line);
        // Every snapshot is whole: the time is six digits (canned or live).
        if (TextLength(g.utcTime) >= 6) ++wholeTimes;
        EXPECT_EQ(line[0], u'$');
        gotoActive = (rounds % 7) == 3 ? 1 : 0;
        settings.gpsEmulation = (rounds % 11) == 5 ? 1 : 0;
        if (rounds % 50 == 0) ReleasePortWait(portHandle);
        ++rounds;
        if (rounds > 2000000) break;  // guard
        if (sentenceEnds.load() >= target && !writing.load()) break;
    }
    receiver.join();
    gotoActive = 0;
    settings.gpsEmulation = 0;
    EXPECT_TRUE(WaitForSentenceEnds(target));
    EXPECT_EQ(wholeTimes, rounds);
    // Live input goes on after the storm.
    pty.Write(Sentence("GPGGA,235959,4420.924,N,01143.050,E,1,5,1.69,30,M,47,M,,"));
    EXPECT_TRUE(WaitForUtcTime(u"235959"));
    EXPECT_TRUE(ShutDownLink());
}

namespace {

// The storm run from inside the Gps data dialog (template 103), modal over the
// real main window: every millisecond one round of user-interface work.
constexpr uint32_t kStormTimer = 7001;
constexpr int kStormRounds = 1500;
int stormRound = 0;

intptr_t StormDlgProc(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message == kMsgInitDialog) {
        GpsDataDlgProc(dialog, message, wParam, lParam);
        StartTimer(dialog, kStormTimer, 1);
        return 1;
    }
    if (message == kMsgTimer && wParam == kStormTimer) {
        GpsDataDlgProc(dialog, kMsgTimer, 1, 0);                    // the dialog's refresh
        SendWindowMessage(mainWindow, kMsgTimer, kMainTimerId, 0);  // a tick (feeds when emulating)
        InvalidateWindow(mainWindow, 0);
        UpdateWindowNow(mainWindow);                                // a paint
        settings.gpsEmulation = (stormRound % 5) == 2 ? 1 : 0;
        gotoActive = (stormRound % 7) == 3 ? 1 : 0;
        if (++stormRound >= kStormRounds) {
            StopTimer(dialog, kStormTimer);
            settings.gpsEmulation = 0;
            gotoActive = 0;
            EndDialog(dialog, 0);
        }
        return 1;
    }
    return GpsDataDlgProc(dialog, message, wParam, lParam);
}

}  // namespace

// The real main window and the Gps data dialog: ticks, paints and the dialog's
// refresh on the user-interface thread while the reader parses a live stream;
// then closing the window (the Control+Q road) ends the reader thread.
TEST(SerialConcurrency, TicksPaintsAndDialogWithTheReaderThenCloseTheWindow)
{
    ResetLinkState();
    TempRoot root;
    Pty pty;
    LinkDevice(root, 1, pty.slavePath);
    hInstance = &velkarResources;
    const WindowClass wc = {3, MainWndProc, hInstance, 109, kMainClassName};
    ASSERT_EQ(RegisterWindowClass(&wc), 1);
    mainWindow = CreateMainWindow(kMainClassName, kMainTitle, kStyleVisible, kUseDefault, kUseDefault, kUseDefault,
                                  kUseDefault);
    ASSERT_NE(mainWindow, nullptr);
    ShowMainWindow(mainWindow, 1);
    settings.gpsEmulation = 0;
    ASSERT_EQ(OpenPort(u"COM1:", 115200), 1);

    std::atomic<bool> writing{true};
    std::thread receiver([&] {
        for (int i = 0; writing.load(); ++i) {
            char time[16];
            std::snprintf(time, sizeof time, "%06d", 100000 + i % 5000);
            pty.Write(Sentence(std::string("GNGGA,") + time + ",4420.924,N,01143.050,E,1,5,1.69,30,M,47,M,,") +
                      Sentence("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K"));
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    const uint32_t before = sentenceEnds.load();
    stormRound = 0;
    RunDialog(hInstance, 103, mainWindow, StormDlgProc, 0);
    writing = false;
    receiver.join();
    EXPECT_EQ(stormRound, kStormRounds);
    EXPECT_GT(sentenceEnds.load(), before);

    // Closing the window runs the shutdown: release, close, invalid handle.
    DestroyMainWindow(mainWindow);
    mainWindow = nullptr;
    EXPECT_EQ(portHandle.load(), kInvalidPort);
    EXPECT_TRUE(WaitForReaderEnd());
}
