// The 3000 ms tick of the main window, driven one tick at a time through a real
// window: the track-log counter (a line every tenth tick with enableLog 1 and fix
// quality exactly 1, held while either fails) and the repaint rule (every tick
// from 1.0 m of movement, otherwise every third), observed as real paints.
#include <cmath>
#include <limits>
#include <mutex>

#include "app/globals.h"
#include "app_support.h"
#include "gps/emulation.h"
#include "gps/gps_state.h"
#include "store/settings.h"

namespace {

const std::string kLog = "Scheda di memoria/GpsLog.txt";

void SetFix(uint8_t fixQuality, double distanceMoved)
{
    std::lock_guard<std::mutex> lock(gpsMutex);
    gpsState.fixQuality = fixQuality;
    gpsState.distanceMoved = distanceMoved;
}

class TickTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        WriteDeviceFile("Scheda di memoria/.keep", "");  // the card's folder exists, the log does not
        ASSERT_NE(CreateShellWindow(), nullptr);
    }
};

// Rows: the log switch and the fix quality held for a run of ticks, and what the
// run must leave. The rule is "enableLog exactly 1 and fixQuality exactly 1";
// values 2 (differential fix, a switch written as 2) must not count.
struct LogRow {
    const char* name;
    int32_t enableLog;
    uint8_t fixQuality;
    int ticks;
    int lines;
    int32_t counter;
};

const LogRow kLogRows[] = {
    {"plain fix, nine ticks: not yet", 1, 1, 9, 0, 9},
    {"plain fix, tenth tick writes", 1, 1, 10, 1, 0},
    {"plain fix, 25 ticks: two lines, five counted", 1, 1, 25, 2, 5},
    {"differential fix 2 is never logged", 1, 2, 30, 0, 0},
    {"no fix is never logged", 1, 0, 30, 0, 0},
    {"log switch 0", 0, 1, 30, 0, 0},
    {"log switch 2 is not on", 2, 1, 30, 0, 0},
};

TEST_F(TickTest, TrackLogLineEveryTenthTickWithPlainFix)
{
    for (const LogRow& row : kLogRows) {
        SCOPED_TRACE(row.name);
        WriteDeviceFile(kLog, "");
        logTickCounter = 0;
        settings.enableLog = row.enableLog;
        SetFix(row.fixQuality, 0.0);
        for (int i = 0; i < row.ticks; ++i) Tick();
        EXPECT_EQ(CountLines(kLog), row.lines);
        EXPECT_EQ(logTickCounter, row.counter);
    }
}

TEST_F(TickTest, CounterHeldWhileAConditionFails)
{
    WriteDeviceFile(kLog, "");
    settings.enableLog = 1;
    SetFix(1, 0.0);
    for (int i = 0; i < 4; ++i) Tick();
    EXPECT_EQ(logTickCounter, 4);

    SetFix(2, 0.0);  // differential: held
    for (int i = 0; i < 7; ++i) Tick();
    EXPECT_EQ(logTickCounter, 4);

    SetFix(1, 0.0);
    settings.enableLog = 0;  // switch off: held
    for (int i = 0; i < 7; ++i) Tick();
    EXPECT_EQ(logTickCounter, 4);
    EXPECT_EQ(CountLines(kLog), 0);

    settings.enableLog = 1;
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState.latitude = 45.0;
        gpsState.longitude = 9.5;
        gpsState.speedKmh = 12.5;
        gpsState.course = 270.0;
        std::u16string time = u"120000.00";
        for (size_t i = 0; i <= time.size(); ++i) gpsState.utcTime[i] = time.c_str()[i];
    }
    for (int i = 0; i < 5; ++i) Tick();
    EXPECT_EQ(CountLines(kLog), 0) << "the ninth counted tick must not write";
    Tick();
    EXPECT_EQ(logTickCounter, 0);
    // The line of the tenth counted tick, in the log's "%f;%f;%s;%d;%f;%f \n" layout.
    EXPECT_EQ(ReadDeviceFile(kLog), "45.000000;9.500000;120000.00;1;12.500000;270.000000 \n");
}

TEST_F(TickTest, EmulationWithLogWritesEveryTenthTick)
{
    // Ticks 10 and 20 both feed canned sentence 5 (163440.0, 11°43.000' E); the
    // canned fixes carry quality 1 and no speed or course.
    settings.gpsEmulation = 1;
    settings.enableLog = 1;
    for (int i = 0; i < 9; ++i) Tick();
    EXPECT_FALSE(DeviceFileExists(kLog));
    Tick();
    for (int i = 0; i < 10; ++i) Tick();
    const std::string line = "44.348733;11.716667;163440.0;1;0.000000;0.000000 \n";
    EXPECT_EQ(ReadDeviceFile(kLog), line + line);
    EXPECT_EQ(emulationStep, 0);
}

TEST_F(TickTest, EmulationOffChangesNothing)
{
    settings.gpsEmulation = 0;
    for (int i = 0; i < 3; ++i) Tick();
    EXPECT_EQ(emulationStep, 0);
    char16_t line[kDisplayLineSize];
    SnapshotDisplayLine(line);
    EXPECT_EQ(std::u16string(line), u"i'm waiting....");
}

// Rows: the distance of the last fix, ticks, paints expected and redrawCounter
// after. From exactly 1.0 m every tick repaints and the counter is left alone
// (it starts at 2 here, one short of a forced repaint); below, every third tick
// repaints. NaN compares false, so it counts as standing still.
struct RepaintRow {
    const char* name;
    double distance;
    int32_t counterBefore;
    int ticks;
    int paints;
    int32_t counterAfter;
};

const RepaintRow kRepaintRows[] = {
    {"exactly 1.0 m repaints every tick", 1.0, 2, 4, 4, 2},
    {"66.5 m (canned 5 to 1) every tick", 66.5, 0, 3, 3, 0},
    {"just under 1 m: every third", std::nextafter(1.0, 0.0), 0, 6, 2, 0},
    {"standing still: every third", 0.0, 0, 7, 2, 1},
    {"counter at 2: the next tick repaints", 0.5, 2, 1, 1, 0},
    {"NaN counts as standing still", std::numeric_limits<double>::quiet_NaN(), 0, 3, 1, 0},
    {"negative distance counts as standing still", -5.0, 0, 2, 0, 2},
};

TEST_F(TickTest, RepaintRule)
{
    for (const RepaintRow& row : kRepaintRows) {
        SCOPED_TRACE(row.name);
        SetFix(0, row.distance);
        redrawCounter = row.counterBefore;
        FlushPaints();
        const int before = record.paints;
        for (int i = 0; i < row.ticks; ++i) Tick();
        EXPECT_EQ(record.paints - before, row.paints);
        EXPECT_EQ(redrawCounter, row.counterAfter);
    }
}

TEST_F(TickTest, EmulationRepaintsEveryTick)
{
    // Every canned step moves more than 1 m (15.9, 37.2, 6.6, 6.6, 66.5 m).
    settings.gpsEmulation = 1;
    const int before = record.paints;
    for (int i = 0; i < 6; ++i) Tick();
    EXPECT_EQ(record.paints - before, 6);
    EXPECT_EQ(redrawCounter, 0);
}

}  // namespace
