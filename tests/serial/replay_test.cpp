// Live streams through the reader thread: every real receiver log of nmea-corpus replayed through a pty in
// writes of random sizes, and the reader beside ticks, paints and a dialog of the real main window (TSan).
#include <algorithm>
#include <atomic>
#include <random>
#include <vector>
#include "base/text.h"
#include "dialogs/dialogs.h"
#include "platform/clock.h"
#include "serial_support.h"

namespace {
// Every GpsState field, doubles to the last bit (same parser, same text), NaN equal to NaN.
std::string StateText(const GpsState& g)
{
    std::string text = TextToUtf8(g.utcTime) + " " + TextToUtf8(g.prevUtcTime) + " " + char(g.latHemisphere) +
                       char(g.lonHemisphere) + " " + std::to_string(g.utmZone) + " " + std::to_string(g.fixQuality) +
                       " " + std::to_string(g.satellites);
    for (double d : {g.latitude, g.longitude, g.utmEasting, g.utmNorthing, g.prevUtmEasting, g.prevUtmNorthing,
                     g.gridEasting, g.gridNorthing, g.prevGridEasting, g.prevGridNorthing, g.altitude,
                     g.distanceMoved, g.timeDelta, g.speedKmh, g.course})
        text += " " + DoubleToRoundTripText(d);
    return text;
}
TEST(SerialReplay, CorpusThroughAPtyEndsWhereDirectFramingDoes)
{
    std::vector<fs::path> logs;
    for (const auto& entry : fs::directory_iterator(VELKAR_CORPUS_DIR))
        if (entry.path().extension() == ".log") logs.push_back(entry);
    std::sort(logs.begin(), logs.end());
    ASSERT_GE(logs.size(), 30u) << "nmea-corpus not found under " << VELKAR_CORPUS_DIR;
    std::mt19937 random(20240611);  // fixed seed: the same cuts on every run
    for (const fs::path& log : logs) {
        SCOPED_TRACE(log.filename().string());
        const std::string bytes = Slurp(log);
        TempRoot root;  // a fresh start for the framing straight from the bytes
        char16_t buffer[kSentenceBufferSize] = {};
        FramingState framing{0, 0};
        for (char c : bytes) FrameByte(buffer, &framing, static_cast<unsigned char>(c));
        const GpsState direct = SnapshotGpsState();
        const std::u16string directLine = Line();
        TempRoot again;  // and the same fresh start for the pty
        Pty pty;
        again.Link(1, pty.slavePath);
        ASSERT_EQ(OpenPort(u"COM1:", 4800), 1);
        const uint32_t target = sentenceEnds.load() + uint32_t(std::count(bytes.begin(), bytes.end(), '*'));
        for (size_t at = 0, piece; at < bytes.size(); at += piece) {
            piece = std::min<size_t>(std::uniform_int_distribution<size_t>(1, 300)(random), bytes.size() - at);
            pty.Write(bytes.substr(at, piece));
        }
        ASSERT_TRUE(WaitForSentenceEnds(target)) << "framed " << sentenceEnds.load() << " of " << target;
        const GpsState g = SnapshotGpsState();
        EXPECT_EQ(Line(), directLine);
        ASSERT_TRUE(ShutDownLink());
        EXPECT_EQ(StateText(g), StateText(direct)) << "direct framing";
    }
}
// The storm inside the Gps data dialog (template 103), modal over the real main window: every millisecond
// its refresh, a tick, a paint, a snapshot, the switches flipped. Then silence, the window's timer stopped:
// the first tick past the limit drops the fix (the rule's bounds: gps_test's DropSilentFix).
constexpr uint32_t kStormTimer = 7001;
int stormRound = 0, brokenSnapshots = 0;
intptr_t StormDlgProc(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message == kMsgInitDialog) StartTimer(dialog, kStormTimer, 1);
    if (message != kMsgTimer || wParam != kStormTimer) return GpsDataDlgProc(dialog, message, wParam, lParam);
    GpsDataDlgProc(dialog, kMsgTimer, 1, 0);
    SendWindowMessage(mainWindow, kMsgTimer, kMainTimerId, 0), InvalidateWindow(mainWindow, 0), UpdateWindowNow(mainWindow);
    brokenSnapshots += TextLength(SnapshotGpsState().utcTime) < 6 || Line()[0] != u'$';
    settings.gpsEmulation = stormRound % 5 == 2, gotoActive = stormRound % 7 == 3;
    if (++stormRound < 1500) return 1;
    StopTimer(dialog, kStormTimer), settings.gpsEmulation = gotoActive = 0;
    return EndDialog(dialog, 0), 1;
}
TEST(SerialReplay, ReaderBesideTicksPaintsAndDialogThenSilenceThenCloseTheWindow)
{
    TempRoot root;
    Pty pty;
    root.Link(1, pty.slavePath);
    ASSERT_NE(AppWindow(), nullptr);
    ShowMainWindow(mainWindow, 1);
    ASSERT_EQ(OpenPort(u"COM1:", 115200), 1);
    pty.Write(Gga("100000"));  // every snapshot from here on holds a whole time
    ASSERT_TRUE(WaitForUtcTime(u"100000"));
    std::atomic<bool> writing{true};
    std::thread receiver([&] {
        for (int i = 0; writing.load(); ++i) {
            pty.Write(Gga(std::to_string(100000 + i % 5000), "GN") + Sentence("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K"));
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    const uint32_t before = sentenceEnds.load();
    RunDialog(hInstance, 103, mainWindow, StormDlgProc, 0);
    writing = false, receiver.join();
    EXPECT_TRUE(stormRound == 1500 && brokenSnapshots == 0) << stormRound << " rounds, broken " << brokenSnapshots;
    EXPECT_GT(sentenceEnds.load(), before);
    StopTimer(mainWindow, kMainTimerId);
    const int64_t lastGga = MonotonicMs();
    const auto tick = [] { SendWindowMessage(mainWindow, kMsgTimer, kMainTimerId, 0); };
    tick();
    EXPECT_EQ(SnapshotGpsState().fixQuality, 1) << "within the limit the fix holds";
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(std::chrono::milliseconds(lastGga)) +
                                  std::chrono::milliseconds(kGpsSilenceLimitMs + 200));
    tick();
    EXPECT_EQ(SnapshotGpsState().fixQuality, 0) << "GPS Not Fixed";
    DestroyMainWindow(mainWindow);  // the Control+Q road: release, close, invalid handle
    mainWindow = nullptr;
    EXPECT_EQ(portHandle.load(), kInvalidPort);
    EXPECT_TRUE(ReaderEnded());
}
}  // namespace
