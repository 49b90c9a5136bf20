// The command table of the main window: Exit (settings written, then quit,
// without the destroy steps), Control+Q and command 1 (destroy steps, settings
// untouched), unlisted ids to default processing, each dialog opened from its
// template, and the About dialog's procedure on the real dialog.
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <functional>

#include "app/globals.h"
#include "app/shell.h"
#include "app_support.h"
#include "dialogs/dialogs.h"
#include "gps/serial_link.h"
#include "platform/qt/qt_handles.h"
#include "resources/resources.h"
#include "store/settings.h"

namespace {

const std::string kSettings = "My Documents/Velkar/vlcfg.cfg";
// The same nine values as SettingsText(2, 4800, 0, 0, 1, 1, 0, 1, 0), written
// by hand on one line: a rewrite by the program is visible as a new layout.
const std::string kHandWrittenSettings = "[BEGIN][2][4800][0][0][1][1][0][1][0][0][0][END]";

class CommandTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        WriteDeviceFile(kSettings, kHandWrittenSettings);
        WriteBmp("temp.bmp", 741, 498);
        ASSERT_NE(CreateShellWindow(), nullptr);
        ASSERT_NE(mapBitmap, nullptr);
    }
};

// A visible top-level widget with this object name, or nullptr.
QWidget* FindTopLevel(const QString& name)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible()) return w;
    return nullptr;
}

// Sends a command to the main window while act runs on the first modal dialog that
// shows (found by its object name "dlg-<id>"); a dialog that never shows is given
// up on so that the test cannot hang. Returns whether act ran.
bool CommandWithDialog(uintptr_t wParam, int32_t templateId, const std::function<void(QWidget*)>& act,
                       intptr_t* result)
{
    bool ran = false;
    int polls = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* dialog = FindTopLevel(QStringLiteral("dlg-%1").arg(templateId));
        if (dialog == nullptr) {
            if (++polls > 2000) {
                poll.stop();
                if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
            }
            return;
        }
        poll.stop();
        ran = true;
        act(dialog);
    });
    poll.start(5);
    *result = SendWindowMessage(mainWindow, kMsgCommand, wParam, 0);
    poll.stop();
    QCoreApplication::processEvents();
    return ran;
}

void Click(QWidget* dialog, int32_t id)
{
    QWidget* control = dialog->findChild<QWidget*>(QStringLiteral("ctl-%1").arg(id));
    ASSERT_NE(control, nullptr) << "no control " << id;
    QTest::mouseClick(control, Qt::LeftButton, Qt::NoModifier, control->rect().center());
}

TEST_F(CommandTest, ExitWritesSettingsAndSkipsTheDestroySteps)
{
    settings.comPort = 2;
    settings.baudRate = 4800;
    settings.gpsEmulation = 1;  // changed during the run, as the General settings dialog would
    settings.enableLog = 1;
    settings.audioMessages = 1;
    settings.trackToTarget = 1;
    settings.proximity = 1;
    EXPECT_EQ(SendWindowMessage(mainWindow, kMsgCommand, 40005, 0), 1);
    EXPECT_EQ(ReadDeviceFile(kSettings), SettingsText(2, 4800, 1, 0, 1, 1, 1, 1, 0));
    // No destroy steps: no message 2, the window and the map bitmap are still there.
    EXPECT_EQ(record.destroys, 0);
    EXPECT_NE(WidgetOfHandle(mainWindow), nullptr);
    EXPECT_NE(mapBitmap, nullptr);
}

TEST_F(CommandTest, ExitWithAnUnwritableFolderIsSilent)
{
    std::string folder = DeviceFile("My Documents/Velkar");
    ASSERT_EQ(system(("rm -rf '" + folder + "' && touch '" + folder + "'").c_str()), 0);  // a file, not a folder
    testing::internal::CaptureStderr();
    EXPECT_EQ(SendWindowMessage(mainWindow, kMsgCommand, 40005, 0), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(record.destroys, 0);
}

TEST_F(CommandTest, CommandOneClosesWithoutSaving)
{
    settings.gpsEmulation = 1;
    settings.baudRate = 9600;
    EXPECT_EQ(SendWindowMessage(mainWindow, kMsgCommand, 1, 0), 1);
    FlushPaints();
    EXPECT_EQ(ReadDeviceFile(kSettings), kHandWrittenSettings);
    // The destroy steps ran: message 2, the map released, the port invalid.
    EXPECT_EQ(record.destroys, 1);
    EXPECT_EQ(mapBitmap, nullptr);
    EXPECT_EQ(portHandle.load(), kInvalidPort);
}

TEST_F(CommandTest, ControlQThroughTheAcceleratorTable)
{
    settings.gpsEmulation = 1;
    QPointer<QWidget> frame = WidgetOfHandle(mainWindow);
    ASSERT_NE(frame, nullptr);
    AcceleratorHandle accelerators = LoadAcceleratorTable(&velkarResources, 102);
    ASSERT_NE(accelerators, nullptr);
    // The loop may already hold a quit from an earlier window; the key is pressed
    // from the event queue either way, and a loop still running after it is ended.
    QTimer::singleShot(0, [frame] {
        if (frame == nullptr) return;
        frame->activateWindow();
        QApplication::setActiveWindow(frame);
        QTest::keyClick(frame, Qt::Key_Q, Qt::ControlModifier);
    });
    QTimer::singleShot(10000, [] { PostQuit(99); });  // guard: never hang
    const int code = RunMessageLoop(mainWindow, accelerators);
    QCoreApplication::processEvents();
    EXPECT_EQ(code, 0);
    EXPECT_EQ(record.destroys, 1);
    EXPECT_EQ(ReadDeviceFile(kSettings), kHandWrittenSettings);
}

TEST_F(CommandTest, UnlistedIdsGoToDefaultProcessing)
{
    // 40002 is the "Main" button's own command; the others are ids nobody sends.
    const uint32_t ids[] = {40002, 0, 2, 40003, 40004, 40007, 40013, 65535};
    for (uint32_t id : ids) {
        SCOPED_TRACE(id);
        const intptr_t expected = DefaultWindowProc(mainWindow, kMsgCommand, id, 0);
        EXPECT_EQ(SendWindowMessage(mainWindow, kMsgCommand, id, 0), expected);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
    EXPECT_EQ(record.destroys, 0);
    EXPECT_EQ(ReadDeviceFile(kSettings), kHandWrittenSettings);
}

// Every dialog command opens its own template, afresh, and returns 1 once the
// dialog has closed. Rows: command, template, title, the control that closes it.
struct DialogRow {
    uint32_t command;
    int32_t templateId;
    const char* title;
    int32_t closeId;
};

const DialogRow kDialogRows[] = {
    {40006, 103, "Gps Data   Velkar", 1},
    {40010, 105, "About Velkar", 1},
    {40011, 106, "Bitmap Parameter", 1013},
    {40012, 107, "Velkar General Settings", 1},
    {40015, 114, "GoTo Coordinate LL", 2},
    {40016, 115, "GoTo Preference Point", 2},
};

TEST_F(CommandTest, DialogCommandsOpenTheirTemplates)
{
    for (const DialogRow& row : kDialogRows) {
        for (uint32_t high : {0u, 7u}) {  // the high word of wParam is not examined
            SCOPED_TRACE(row.title);
            QString title;
            intptr_t result = 0;
            const bool ran = CommandWithDialog(MakeWParam(row.command, high), row.templateId,
                                               [&](QWidget* dialog) {
                                                   title = dialog->windowTitle();
                                                   Click(dialog, row.closeId);
                                               },
                                               &result);
            EXPECT_TRUE(ran);
            EXPECT_EQ(title.toStdString(), row.title);
            EXPECT_EQ(result, 1);
            EXPECT_EQ(FindTopLevel(QStringLiteral("dlg-%1").arg(row.templateId)), nullptr);
        }
    }
    EXPECT_EQ(record.destroys, 0);
}

TEST_F(CommandTest, AboutShowsItsTemplateAndOnlyOkCloses)
{
    QStringList texts;
    bool openAfterEscape = false;
    bool hasPicture = false;
    intptr_t result = 0;
    const bool ran = CommandWithDialog(40010, 105, [&](QWidget* dialog) {
        for (QLabel* label : dialog->findChildren<QLabel*>()) {
            if (!label->text().isEmpty()) texts << label->text();
            if (!label->pixmap().isNull()) hasPicture = true;
        }
        // Escape reaches the procedure as command 2, which it leaves alone.
        QTest::keyClick(dialog, Qt::Key_Escape);
        QCoreApplication::processEvents();
        openAfterEscape = dialog->isVisible();
        Click(dialog, 1);
    }, &result);
    ASSERT_TRUE(ran);
    EXPECT_TRUE(openAfterEscape);
    EXPECT_TRUE(texts.contains("Velkar")) << texts.join("|").toStdString();
    EXPECT_TRUE(texts.contains("Ver 0.0.15 (b1)")) << texts.join("|").toStdString();
    EXPECT_TRUE(texts.contains("info@velkar.test")) << texts.join("|").toStdString();
    EXPECT_TRUE(hasPicture) << "icon 111 is shown";
    EXPECT_EQ(result, 1);
}

TEST_F(CommandTest, AboutProcedureAnswers)
{
    // (message, wParam) -> result; only command id 1 closes, whatever the high word.
    const struct {
        const char* name;
        uint32_t message;
        uintptr_t wParam;
        intptr_t result;
        bool closes;
    } rows[] = {
        {"initialise", kMsgInitDialog, 0, 0, false},
        {"command 2 (cancel)", kMsgCommand, 2, 0, false},
        {"timer", kMsgTimer, 1, 0, false},
        {"paint", kMsgPaint, 0, 0, false},
        {"OK with a notification code", kMsgCommand, MakeWParam(1, 5), 1, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        intptr_t answer = -1;
        bool stillOpen = false;
        intptr_t result = 0;
        CommandWithDialog(40010, 105, [&](QWidget* dialog) {
            WindowHandle handle = HandleOfWidget(dialog);
            answer = AboutDlgProc(handle, row.message, row.wParam, 0);
            QCoreApplication::processEvents();
            stillOpen = dialog->isVisible();
            if (stillOpen) Click(dialog, 1);
        }, &result);
        EXPECT_EQ(answer, row.result);
        EXPECT_EQ(stillOpen, !row.closes);
    }
}

}  // namespace
