// The main window's command table (Exit, command 1, default processing, the dialogs
// opened from their templates, About) and the resource tables the window layer reads.
#include <QApplication>
#include <QLabel>

#include <filesystem>
#include <set>

#include "app/globals.h"
#include "app/shell.h"
#include "gps/serial_link.h"
#include "platform/qt/qt_handles.h"
#include "resources/resources.h"
#include "store/settings.h"
#include "ui_support.h"

namespace {

// SettingsText({2, 4800, 0, 0, 1, 1, 0, 1, 0}) written by hand on one line: a rewrite shows as a new layout.
const std::string kHandWritten = "[BEGIN][2][4800][0][0][1][1][0][1][0][0][0][END]";

class CommandTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        WriteDeviceFile(kSettingsFile, kHandWritten);
        WriteBmp("temp.bmp", 741, 498);
        ASSERT_NE(CreateShellWindow(), nullptr);
        ASSERT_NE(mapBitmap, nullptr);
    }
};

TEST_F(CommandTest, ExitWritesTheSettingsAndSkipsTheDestroySteps)
{
    settings.gpsEmulation = 1;  // changed during the run, as the General settings dialog would
    settings.enableLog = 1;
    EXPECT_EQ(SendWindowMessage(mainWindow, kMsgCommand, 40005, 0), 1);
    EXPECT_EQ(ReadDeviceFile(kSettingsFile), SettingsText({2, 4800, 1, 0, 1, 1, 1, 1, 0}));
    EXPECT_EQ(record.destroys, 0);
    EXPECT_NE(WidgetOfHandle(mainWindow), nullptr);
    EXPECT_NE(mapBitmap, nullptr);
    // A file where the folder should be: nothing written, nothing said.
    std::filesystem::remove_all(DeviceFile("My Documents/Velkar"));
    WriteDeviceFile("My Documents/Velkar", "");
    testing::internal::CaptureStderr();
    EXPECT_EQ(SendWindowMessage(mainWindow, kMsgCommand, 40005, 0), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(CommandTest, CommandOneRunsTheDestroyStepsWithoutSaving)
{
    settings.gpsEmulation = 1;
    EXPECT_EQ(SendWindowMessage(mainWindow, kMsgCommand, 1, 0), 1);
    FlushPaints();
    EXPECT_EQ(ReadDeviceFile(kSettingsFile), kHandWritten);
    EXPECT_EQ(record.destroys, 1);
    EXPECT_EQ(mapBitmap, nullptr);
    EXPECT_EQ(portHandle.load(), kInvalidPort);
}

TEST_F(CommandTest, UnlistedIdsGoToDefaultProcessing)
{
    for (uint32_t id : {40002u, 0u, 2u, 40003u, 40007u, 40013u, 65535u}) {  // 40002: the "Main" button's own
        EXPECT_EQ(SendWindowMessage(mainWindow, kMsgCommand, id, 0), DefaultWindowProc(mainWindow, kMsgCommand, id, 0));
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << id;
    }
    EXPECT_EQ(record.destroys, 0);
    EXPECT_EQ(ReadDeviceFile(kSettingsFile), kHandWritten);
}

TEST_F(CommandTest, DialogCommandsOpenTheirTemplatesWhateverTheHighWord)
{
    // Command, template, title, the control that closes it.
    const struct {
        uint32_t command;
        int32_t templateId;
        const char* title;
        int32_t closeId;
    } rows[] = {{40006, 103, "Gps Data   Velkar", 1},     {40010, 105, "About Velkar", 1},
                {40011, 106, "Bitmap Parameter", 1013},   {40012, 107, "Velkar General Settings", 1},
                {40015, 114, "GoTo Coordinate LL", 2},    {40016, 115, "GoTo Preference Point", 2}};
    for (const auto& row : rows) {
        QString title;
        const DialogRun run = ActOnDialog(
            row.templateId, [&] { return SendWindowMessage(mainWindow, kMsgCommand, MakeWParam(row.command, 7), 0); },
            [&](WindowHandle, QWidget* dialog) {
                title = dialog->windowTitle();
                Click(dialog, row.closeId);
            });
        EXPECT_TRUE(run.closed) << row.title;
        EXPECT_EQ(run.result, 1) << row.title;
        EXPECT_EQ(title.toStdString(), row.title);
    }
    EXPECT_EQ(record.destroys, 0);
}

TEST_F(CommandTest, AboutShowsItsTextsAndPictureAndOnlyOkCloses)
{
    QStringList texts;
    bool hasPicture = false, openAfterCancel = false;
    const DialogRun run = ActOnDialog(105, [] { return SendWindowMessage(mainWindow, kMsgCommand, 40010, 0); },
                                      [&](WindowHandle dialog, QWidget* widget) {
        for (QLabel* label : widget->findChildren<QLabel*>()) {
            texts << label->text();
            hasPicture = hasPicture || !label->pixmap().isNull();
        }
        PressKey(widget, Qt::Key_Escape);  // reaches the procedure as command 2
        EXPECT_EQ(AboutDlgProc(dialog, kMsgCommand, 2, 0), 0);
        openAfterCancel = widget->isVisible();
        EXPECT_EQ(AboutDlgProc(dialog, kMsgCommand, MakeWParam(1, 5), 0), 1);
    });
    EXPECT_TRUE(run.closed);
    EXPECT_TRUE(openAfterCancel);
    EXPECT_TRUE(hasPicture) << "icon 111";
    for (const char* text : {"Velkar", "Ver 0.0.15 (b1)", "info@velkar.test"})
        EXPECT_TRUE(texts.contains(text)) << text << " in " << texts.join("|").toStdString();
}

TEST(Resources, DialogControlsFitAndMenuBarMatchesMenuAndStrings)
{
    for (int32_t id : {103, 105, 106, 107, 114, 115}) {
        const DialogTemplate* t = FindDialogTemplate(&velkarResources, id);
        ASSERT_NE(t, nullptr) << id;
        std::set<int32_t> ids;
        for (int32_t i = 0; i < t->controlCount; ++i) {
            const ControlTemplate& c = t->controls[i];
            EXPECT_TRUE(c.id == kNoId || ids.insert(c.id).second) << id << ": id " << c.id << " twice";
            EXPECT_TRUE(c.x >= 0 && c.y >= 0 && c.x + c.width <= t->width && c.y + c.height <= t->height)
                << id << ": control " << c.id << " outside";
            EXPECT_TRUE(c.iconId == 0 || FindIcon(&velkarResources, c.iconId) != nullptr) << id;
        }
    }
    // Button table 104: menu id, count, then seven words a button (caption string, menu entry at 4 and 6).
    const RawDataResource* bar = FindRawData(&velkarResources, 104);
    ASSERT_NE(bar, nullptr);
    const MenuTemplate* menu = FindMenuTemplate(&velkarResources, bar->words[0]);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(bar->wordCount, 2 + 7 * 3);
    const char16_t* captions[] = {u"Main", u"Gps", u"About"};
    for (int b = 0; b < 3; ++b) {
        const uint16_t* w = bar->words + 2 + 7 * b;
        ASSERT_NE(FindString(&velkarResources, w[4]), nullptr);
        EXPECT_EQ(std::u16string(FindString(&velkarResources, w[4])), captions[b]);
        ASSERT_LT(w[6], menu->itemCount);
        const MenuItemTemplate& item = menu->items[w[6]];
        EXPECT_EQ(std::u16string(item.text), captions[b]);
        EXPECT_TRUE(w[3] == 24 ? item.popup != nullptr : w[3] == 16 && item.commandId == w[1]) << b;
    }
    const int32_t commands[] = {40005, 0, 40011, 40012, 0, 40015, 40016};  // Exit, -, two dialogs, -, two GoTo
    ASSERT_EQ(menu->items[0].popupCount, 7);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(menu->items[0].popup[i].commandId, commands[i]) << i;
}

}  // namespace
