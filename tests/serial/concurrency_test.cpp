// The reader thread alongside the user-interface thread's work: emulated fixes
// fed by the tick, snapshots taken by painting and dialogs, the GoTo and
// emulation switches flipped, waits released. Built with -DVELKAR_SANITIZE=thread
// this must stay quiet; in any build the state must stay whole.
#include <atomic>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "base/text.h"
#include "gps/emulation.h"
#include "gps/gps_state.h"
#include "gps/serial_link.h"
#include "serial_support.h"
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
