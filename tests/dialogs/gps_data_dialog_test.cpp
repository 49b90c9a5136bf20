// Gps data dialog: empty fields until the first refresh by its own timer, the ten
// formats, altitude truncated toward zero, command 2 ignored and "OK" closing.
#include <QLineEdit>
#include <QTest>

#include <limits>
#include <mutex>

#include "dialogs/dialogs.h"
#include "gps/emulation.h"
#include "gps/gps_state.h"
#include "ui_support.h"

namespace {

class GpsDataDialogTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        ASSERT_NE(CreateShellWindow(), nullptr);
    }
};

const int32_t kIds[10] = {1000, 1003, 1002, 1006, 1005, 1004, 1001, 1009, 1007, 1008};

void ExpectFields(WindowHandle dialog, const char* const (&texts)[10])
{
    for (int i = 0; i < 10; ++i) EXPECT_EQ(FieldText(dialog, kIds[i]), texts[i]) << "field " << kIds[i];
}

TEST_F(GpsDataDialogTest, FieldsEmptyUntilTheTimerRefreshesThenTheTenFormats)
{
    // Before any sentence: numbers 0, hemispheres N and E, no time yet.
    const char* const startUp[10] = {"N0.000000°", "E0.000000°", "z=0 x=0.0 y=0.0", "x=0.0 y=0.0", "0", "0", "",
                                     "0", "0.000000", "0.000000"};
    // The first canned sentence of the emulation feed, as the field table shows it.
    const char* const canned[10] = {"N44.348733°", "E11.717500°", "z=32 x=716594.9 y=4914197.9",
                                    "x=716594.9 y=4914197.9", "5", "1", "163400.0", "30", "0.000000", "0.000000"};
    // Altitude as "%d" of the value truncated toward zero; NaN and out of range saturate.
    const struct {
        double altitude;
        const char* text;
    } altitudes[] = {{30.7, "30"}, {-12.9, "-12"}, {0.999, "0"}, {std::numeric_limits<double>::quiet_NaN(), "0"},
                     {1.0e12, "2147483647"}};
    bool openAfterCancel = false;
    const DialogRun run = RunDialogWith(103, GpsDataDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        for (int32_t id : kIds) {
            EXPECT_EQ(FieldText(dialog, id), "") << id;
            auto* edit = qobject_cast<QLineEdit*>(ControlWidget(widget, id));
            EXPECT_TRUE(edit != nullptr && edit->isReadOnly()) << id;
        }
        // Timer 11025 fires at all (how soon is measured nowhere here).
        EXPECT_TRUE(QTest::qWaitFor([&] { return !FieldText(dialog, 1000).empty(); }, 20000));
        ExpectFields(dialog, startUp);
        ASSERT_EQ(FeedEmulatedSentence(1), 14);
        EXPECT_EQ(GpsDataDlgProc(dialog, kMsgTimer, 11025, 0), 0);
        ExpectFields(dialog, canned);
        for (const auto& a : altitudes) {
            {
                std::lock_guard<std::mutex> lock(gpsMutex);
                gpsState.altitude = a.altitude;
            }
            GpsDataDlgProc(dialog, kMsgTimer, 11025, 0);
            EXPECT_EQ(FieldText(dialog, 1009), a.text) << a.altitude;
        }
        PressKey(widget, Qt::Key_Escape);
        EXPECT_EQ(GpsDataDlgProc(dialog, kMsgCommand, 2, 0), 0);
        EXPECT_EQ(GpsDataDlgProc(dialog, kMsgCommand, 1000, 0), 0);
        openAfterCancel = widget->isVisible();
        Click(widget, 1);
        EXPECT_EQ(StopTimer(dialog, 11025), 0) << "the timer went before the dialog";
    });
    EXPECT_TRUE(run.closed);
    EXPECT_TRUE(openAfterCancel);
}

}  // namespace
