// General settings dialog: boxes checked only for exactly 1, "OK" storing 1 or 0,
// "Reload Pref." (command 2) reading with the stored prefInDegrees and keeping the
// dialog open; driven with messages and with clicks and keys.
#include <QCheckBox>
#include <QTest>
#include <QWidget>

#include <cmath>

#include "dialog_support.h"
#include "dialogs/dialogs.h"
#include "geo/geo.h"
#include "store/prefs.h"
#include "store/settings.h"

namespace {

class SettingsDialogTest : public DialogTest {};

constexpr int32_t kBoxes[7] = {1010, 1011, 1012, 1013, 1014, 1015, 1016};

struct SevenSettings {
    int32_t values[7];  // in box order 1010 .. 1016
};

void PutSettings(const SevenSettings& s)
{
    settings.gpsEmulation.store(s.values[0]);
    settings.trackToTarget = s.values[1];
    settings.proximity = s.values[2];
    settings.audioMessages = s.values[3];
    settings.enableLog = s.values[4];
    settings.prefInDegrees = s.values[5];
    settings.mapInDegrees = s.values[6];
}

SevenSettings TakeSettings()
{
    return {{settings.gpsEmulation.load(), settings.trackToTarget, settings.proximity, settings.audioMessages,
             settings.enableLog, settings.prefInDegrees, settings.mapInDegrees}};
}

// One point "Rocca" whose position tokens are degrees (or metres when read so).
void WriteOnePointFile()
{
    WriteDeviceFile("My Documents/Velkar/vlpref.cfg", "[1][Rocca][-][44.348733][11.7175][-][-][1][\\bip.wav][-][-][-][-]");
}

TEST_F(SettingsDialogTest, BoxesAreCheckedOnlyForExactlyOneAndOkStoresOneOrZero)
{
    struct Row {
        const char* name;
        SevenSettings before;
        int32_t checked[7];
        SevenSettings after;  // "OK" without touching a box
    };
    // Values a settings file can hold: anything but exactly 1 is unchecked and stored back as 0.
    const Row rows[] = {
        {"all off", {{0, 0, 0, 0, 0, 0, 0}}, {0, 0, 0, 0, 0, 0, 0}, {{0, 0, 0, 0, 0, 0, 0}}},
        {"all on", {{1, 1, 1, 1, 1, 1, 1}}, {1, 1, 1, 1, 1, 1, 1}, {{1, 1, 1, 1, 1, 1, 1}}},
        {"mixed with 2 and -1", {{1, 0, 2, -1, 1, 0, 1}}, {1, 0, 0, 0, 1, 0, 1}, {{1, 0, 0, 0, 1, 0, 1}}},
        {"each box its own setting", {{2, 1, 0, 1, 7, 1, 0}}, {0, 1, 0, 1, 0, 1, 0}, {{0, 1, 0, 1, 0, 1, 0}}},
    };
    for (const Row& r : rows) {
        PutSettings(r.before);
        DialogRun run = RunDialogWith(107, SettingsDlgProc, [&](WindowHandle dialog, QWidget*) {
            for (int i = 0; i < 7; ++i)
                EXPECT_EQ(SendDlgItemMessage(dialog, kBoxes[i], kCheckBoxGetCheck, 0, 0), r.checked[i])
                    << r.name << ", box " << kBoxes[i];
            EXPECT_EQ(SettingsDlgProc(dialog, kMsgCommand, 1, 0), 1);
        });
        EXPECT_FALSE(run.leftOpen) << r.name;
        EXPECT_EQ(run.endCode, 0) << r.name;
        SevenSettings got = TakeSettings();
        for (int i = 0; i < 7; ++i) EXPECT_EQ(got.values[i], r.after.values[i]) << r.name << ", box " << kBoxes[i];
    }
}

TEST_F(SettingsDialogTest, OkStoresChangedBoxesAndLeavesPortAndBaudRate)
{
    PutSettings({{0, 1, 0, 1, 0, 1, 0}});
    settings.comPort = 3;
    settings.baudRate = 9600;
    DialogRun run = RunDialogWith(107, SettingsDlgProc, [&](WindowHandle dialog, QWidget*) {
        for (int i = 0; i < 7; ++i)
            SendDlgItemMessage(dialog, kBoxes[i], kCheckBoxSetCheck, (i % 2 == 0) ? 1 : 0, 0);
        // Box clicks reach the procedure as commands of their own ids and change nothing yet.
        EXPECT_EQ(SettingsDlgProc(dialog, kMsgCommand, 1010, 0), 0);
        EXPECT_EQ(settings.gpsEmulation.load(), 0);
        EXPECT_EQ(SettingsDlgProc(dialog, kMsgCommand, 1, 0), 1);
    });
    EXPECT_FALSE(run.leftOpen);
    SevenSettings got = TakeSettings();
    for (int i = 0; i < 7; ++i) EXPECT_EQ(got.values[i], (i % 2 == 0) ? 1 : 0) << "box " << kBoxes[i];
    EXPECT_EQ(settings.comPort, 3);
    EXPECT_EQ(settings.baudRate, 9600);
}

TEST_F(SettingsDialogTest, ReloadPrefReadsWithTheStoredUnitNotTheBoxAndKeepsTheDialogOpen)
{
    WriteOnePointFile();
    double northing = 0, easting = 0;
    LatLonToGrid(44.348733, 11.7175, &northing, &easting);

    settings.prefInDegrees = 0;
    DialogRun first = RunDialogWith(107, SettingsDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        SendDlgItemMessage(dialog, 1015, kCheckBoxSetCheck, 1, 0);
        EXPECT_EQ(SettingsDlgProc(dialog, kMsgCommand, 2, 0), 0);
        EXPECT_TRUE(widget->isVisible()) << "Reload Pref. keeps the dialog open";
        EXPECT_EQ(lastPrefIndex, 0);
        EXPECT_DOUBLE_EQ(prefTable[0].x, 44.348733) << "read as metres: prefInDegrees was still 0";
        EXPECT_DOUBLE_EQ(prefTable[0].y, 11.7175);
        EXPECT_EQ(SettingsDlgProc(dialog, kMsgCommand, 1, 0), 1);
    });
    EXPECT_FALSE(first.leftOpen);
    EXPECT_EQ(settings.prefInDegrees, 1);

    DialogRun second = RunDialogWith(107, SettingsDlgProc, [&](WindowHandle dialog, QWidget*) {
        EXPECT_EQ(SettingsDlgProc(dialog, kMsgCommand, 2, 0), 0);
        EXPECT_NEAR(prefTable[0].x, easting, 1e-6) << "read as degrees after OK stored the box";
        EXPECT_NEAR(prefTable[0].y, northing, 1e-6);
        SettingsDlgProc(dialog, kMsgCommand, 1, 0);
    });
    EXPECT_FALSE(second.leftOpen);
}

TEST_F(SettingsDialogTest, ReloadPrefTwiceEndsAsOneReadingAndAMissingFileChangesNothing)
{
    WriteDeviceFile("My Documents/Velkar/vlpref.cfg",
                    "[1][Uno][-][100][200][-][-][1][\\a.wav][-][-][-][-]\n"
                    "[2][Due][-][300][400][-][-][0][\\b.wav][-][-][-][-]\n");
    DialogRun run = RunDialogWith(107, SettingsDlgProc, [&](WindowHandle dialog, QWidget*) {
        SettingsDlgProc(dialog, kMsgCommand, 2, 0);
        SettingsDlgProc(dialog, kMsgCommand, 2, 0);
        EXPECT_EQ(lastPrefIndex, 1);
        EXPECT_EQ(Utf8(prefTable[1].name), "Due");
        EXPECT_DOUBLE_EQ(prefTable[1].x, 300);
        RemoveDeviceFile("My Documents/Velkar/vlpref.cfg");
        EXPECT_EQ(SettingsDlgProc(dialog, kMsgCommand, 2, 0), 0);
        EXPECT_EQ(lastPrefIndex, 1);
        EXPECT_DOUBLE_EQ(prefTable[0].y, 200);
        SettingsDlgProc(dialog, kMsgCommand, 1, 0);
    });
    EXPECT_FALSE(run.leftOpen);
}

TEST_F(SettingsDialogTest, PersonTogglesBoxesPressesEscapeAndClicksOk)
{
    WriteOnePointFile();
    PutSettings({{1, 0, 0, 0, 0, 0, 0}});
    bool openAfterEscape = false, openAfterReload = false;
    DialogRun run = RunDialogWith(107, SettingsDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        auto* emulation = qobject_cast<QCheckBox*>(ControlWidget(widget, 1010));
        ASSERT_NE(emulation, nullptr);
        EXPECT_TRUE(emulation->isChecked());
        ClickControl(widget, 1010);  // off
        ClickControl(widget, 1014);  // on
        ClickControl(widget, 1014);  // off again
        ClickControl(widget, 1011);  // on
        EXPECT_FALSE(emulation->isChecked());
        PressKey(widget, Qt::Key_Escape);  // the cancel key sends command 2
        openAfterEscape = widget->isVisible();
        ClickControl(widget, 2);  // "Reload Pref."
        openAfterReload = widget->isVisible();
        EXPECT_EQ(lastPrefIndex, 0);
        EXPECT_EQ(settings.gpsEmulation.load(), 1) << "nothing stored before OK";
        ClickControl(widget, 1);
    });
    EXPECT_TRUE(run.found);
    EXPECT_TRUE(openAfterEscape);
    EXPECT_TRUE(openAfterReload);
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(run.endCode, 0);
    SevenSettings got = TakeSettings();
    const int32_t expected[7] = {0, 1, 0, 0, 0, 0, 0};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(got.values[i], expected[i]) << "box " << kBoxes[i];
}

}  // namespace
