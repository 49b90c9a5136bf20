// General settings dialog: boxes checked only for exactly 1, "OK" storing 1 or 0,
// "Reload Pref." (command 2) reading with the stored prefInDegrees and keeping the
// dialog open; driven with messages and with clicks and keys.
#include <QTest>

#include "dialogs/dialogs.h"
#include "geo/geo.h"
#include "store/prefs.h"
#include "store/settings.h"
#include "ui_support.h"

namespace {

class SettingsDialogTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        ASSERT_NE(CreateShellWindow(), nullptr);
        WriteDeviceFile(kPrefFile, "[1][Rocca][-][44.348733][11.7175][-][-][1][\\bip.wav][-][-][-][-]");
    }
};

// Boxes 1010 to 1016 in order, and the settings they stand for.
int32_t* const kBoxed[7] = {nullptr, &settings.trackToTarget, &settings.proximity, &settings.audioMessages,
                            &settings.enableLog, &settings.prefInDegrees, &settings.mapInDegrees};
void Put(const int32_t (&v)[7])
{
    settings.gpsEmulation = v[0];
    for (int i = 1; i < 7; ++i) *kBoxed[i] = v[i];
}
int32_t Get(int i) { return i == 0 ? settings.gpsEmulation.load() : *kBoxed[i]; }

TEST_F(SettingsDialogTest, BoxesCheckedOnlyForExactlyOneAndOkStoresOneOrZero)
{
    // Values a settings file can hold: anything but exactly 1 is unchecked and stored back as 0.
    const struct {
        int32_t before[7], checked[7];
    } rows[] = {{{1, 0, 2, -1, 1, 0, 1}, {1, 0, 0, 0, 1, 0, 1}}, {{2, 1, 0, 1, 7, 1, 0}, {0, 1, 0, 1, 0, 1, 0}}};
    for (const auto& row : rows) {
        Put(row.before);
        EXPECT_TRUE(RunDialogWith(107, SettingsDlgProc, [&](WindowHandle dialog, QWidget*) {
            for (int i = 0; i < 7; ++i)
                EXPECT_EQ(SendDlgItemMessage(dialog, 1010 + i, kCheckBoxGetCheck, 0, 0), row.checked[i]) << 1010 + i;
            EXPECT_EQ(SettingsDlgProc(dialog, kMsgCommand, 1010, 0), 0);  // a box's own command stores nothing
            EXPECT_EQ(Get(0), row.before[0]);
            EXPECT_EQ(SettingsDlgProc(dialog, kMsgCommand, 1, 0), 1);
        }).closed);
        for (int i = 0; i < 7; ++i) EXPECT_EQ(Get(i), row.checked[i]) << 1010 + i;
    }
}

TEST_F(SettingsDialogTest, ReloadPrefReadsWithTheStoredUnitNotTheBoxAndKeepsTheDialogOpen)
{
    double northing = 0, easting = 0;
    LatLonToGrid(44.348733, 11.7175, &northing, &easting);
    // Stored prefInDegrees, box ticked before the reload -> point's x and y after it.
    const struct {
        int32_t stored;
        double x, y;
    } rows[] = {{0, 44.348733, 11.7175}, {1, easting, northing}};
    for (const auto& row : rows) {
        settings.prefInDegrees = row.stored;
        EXPECT_TRUE(RunDialogWith(107, SettingsDlgProc, [&](WindowHandle dialog, QWidget* widget) {
            SendDlgItemMessage(dialog, 1015, kCheckBoxSetCheck, 1 - row.stored, 0);
            EXPECT_EQ(SettingsDlgProc(dialog, kMsgCommand, 2, 0), 0);
            EXPECT_TRUE(widget->isVisible());
            EXPECT_EQ(lastPrefIndex, 0);
            EXPECT_NEAR(prefTable[0].x, row.x, 1e-6) << row.stored;
            EXPECT_NEAR(prefTable[0].y, row.y, 1e-6) << row.stored;
            SettingsDlgProc(dialog, kMsgCommand, 1, 0);
        }).closed);
    }
}

TEST_F(SettingsDialogTest, PersonTogglesBoxesPressesEscapeReloadsAndClicksOk)
{
    Put({1, 0, 0, 0, 0, 0, 0});
    settings.comPort = 3;
    settings.baudRate = 9600;
    bool openAfterEscape = false, openAfterReload = false;
    const DialogRun run = RunDialogWith(107, SettingsDlgProc, [&](WindowHandle, QWidget* widget) {
        for (int32_t id : {1010, 1014, 1014, 1011}) Click(widget, id);  // emulation off, log on and off, track on
        PressKey(widget, Qt::Key_Escape);  // the cancel key sends command 2
        openAfterEscape = widget->isVisible();
        Click(widget, 2);  // "Reload Pref."
        openAfterReload = widget->isVisible();
        EXPECT_DOUBLE_EQ(prefTable[0].x, 44.348733) << "the points were read";
        EXPECT_EQ(Get(0), 1) << "nothing stored before OK";
        Click(widget, 1);
    });
    EXPECT_TRUE(run.closed);
    EXPECT_TRUE(openAfterEscape);
    EXPECT_TRUE(openAfterReload);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(Get(i), i == 1 ? 1 : 0) << 1010 + i;
    EXPECT_EQ(settings.comPort, 3);
    EXPECT_EQ(settings.baudRate, 9600);
}

}  // namespace
