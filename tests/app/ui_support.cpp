// Test ground for the shell and the dialogs (see ui_support.h).
#include "ui_support.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include "../support/common.h"

#include "base/text.h"
#include "gps/emulation.h"
#include "gps/serial_link.h"
#include "platform/draw.h"
#include "platform/files.h"
#include "resources/resources.h"

WindowRecord record;

namespace {

constexpr char16_t kRecordingClass[] = u"Velkar Test";
std::string rootFolder;
WindowHandle shellWindow = nullptr;

intptr_t RecordingProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message == kMsgPaint) {  // counted only: the view has tests of its own
        PaintInfo info{};
        BeginPaint(window, &info);
        record.lastErase = info.erase, ++record.paints;
        return EndPaint(window, &info), 0;
    }
    record.destroys += message == kMsgDestroy;
    const intptr_t result = MainWndProc(window, message, wParam, lParam);
    if (message == kMsgDestroy && window == shellWindow) shellWindow = nullptr;
    return result;
}

class UiEnvironment : public ::testing::Environment {
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "ui_test", *argv[] = {name, nullptr};
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        new QApplication(argc, argv);
        ASSERT_NE(rootFolder = MakeTempFolder("ui"), "");
        SetDeviceRoot(rootFolder);
        WindowClass wc{3, RecordingProc, &velkarResources, 109, kRecordingClass};
        ASSERT_EQ(RegisterWindowClass(&wc), 1);
    }
    void TearDown() override { DestroyShellWindow(), std::filesystem::remove_all(rootFolder); }
};
[[maybe_unused]] ::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new UiEnvironment);

}  // namespace

std::string DeviceFile(const std::string& path) { return rootFolder + "/" + path; }

void WriteDeviceFile(const std::string& path, const std::string& content)
{
    std::filesystem::create_directories(std::filesystem::path(DeviceFile(path)).parent_path());
    WriteFile(DeviceFile(path), content);
}

std::string ReadDeviceFile(const std::string& path) { return Slurp(DeviceFile(path)); }

void WriteBmp(const std::string& path, int width, int height)
{
    WriteDeviceFile(path, "");  // makes the folders
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(Qt::gray);
    ASSERT_TRUE(image.save(QString::fromStdString(DeviceFile(path)), "BMP"));
}

std::string SettingsText(std::initializer_list<int> nine)
{
    std::string text = "[BEGIN]\n";
    for (int v : nine) text += "[" + std::to_string(v) + "]\n";
    return text + "[0]\n[0]\n[END]\n";
}

WindowHandle CreateShellWindow()
{
    DestroyShellWindow();
    record = WindowRecord{};
    shellWindow = CreateMainWindow(kRecordingClass, u"Velkar", kStyleVisible, kUseDefault, kUseDefault, kUseDefault,
                                   kUseDefault);
    if (shellWindow != nullptr) StopTimer(shellWindow, kMainTimerId), ShowMainWindow(shellWindow, 1), FlushPaints();
    return shellWindow;
}

void OpenShellOnCard(const std::string& settingsText)
{
    WriteDeviceFile("Scheda di memoria/.keep", ""), WriteDeviceFile("My Documents/Velkar/.keep", "");
    if (!settingsText.empty()) WriteDeviceFile(kSettingsFile, settingsText);
    WriteBmp("temp.bmp", 741, 498);
    ASSERT_NE(CreateShellWindow(), nullptr);
}

void DestroyShellWindow()
{
    if (shellWindow != nullptr) DestroyMainWindow(shellWindow);
    shellWindow = mainWindow = nullptr;
    FlushPaints();
    // A quit posted outside a loop would end every later modal loop; a loop run to its end clears it.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QApplication::exec();
}

void FlushPaints()
{
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    if (shellWindow != nullptr) UpdateWindowNow(shellWindow);
    QCoreApplication::processEvents();
}

void Tick(int n) { for (int i = 0; i < n; ++i) SendWindowMessage(mainWindow, kMsgTimer, kMainTimerId, 0), FlushPaints(); }

bool RunDialogWith(int32_t templateId, DialogProc procedure, const DialogAct& act)
{
    bool closed = false;
    int polls = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QPointer<QWidget> widget;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QStringLiteral("dlg-%1").arg(templateId) && w->isVisible()) widget = w;
        if (widget == nullptr && ++polls > 2000 && QApplication::activeModalWidget() != nullptr)
            QApplication::activeModalWidget()->close();  // never shown: give up rather than hang
        if (widget == nullptr) return;
        poll.stop();
        act(HandleOfWidget(widget), widget);
        if (!(closed = widget == nullptr || !widget->isVisible())) EndDialog(HandleOfWidget(widget), 99);
    });
    poll.start(5);
    const intptr_t result = RunDialog(&velkarResources, templateId, mainWindow, procedure, 0);
    poll.stop();
    QCoreApplication::processEvents();
    return closed && result == 0;
}

std::string FieldText(WindowHandle dialog, int32_t id)
{
    char16_t text[1024] = {};
    return GetDlgItemText(dialog, id, text, 1024), TextToUtf8(text);
}

QWidget* ControlWidget(QWidget* dialog, int32_t id) { return dialog->findChild<QWidget*>(QStringLiteral("ctl-%1").arg(id)); }

void Click(QWidget* dialog, int32_t id)
{
    QWidget* control = ControlWidget(dialog, id);
    ASSERT_NE(control, nullptr) << "no control " << id;
    QTest::mouseClick(control, Qt::LeftButton, Qt::NoModifier, control->rect().center());
}

void TypeInto(QWidget* dialog, int32_t id, const char* text)
{
    auto* edit = qobject_cast<QLineEdit*>(ControlWidget(dialog, id));
    ASSERT_NE(edit, nullptr) << "no edit field " << id;
    edit->setFocus(), edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, QString::fromUtf8(text));
}

void UiTest::SetUp()
{
    DestroyShellWindow();
    for (const auto& entry : std::filesystem::directory_iterator(rootFolder)) std::filesystem::remove_all(entry.path());
    Settings& s = settings;
    s.comPort = s.baudRate = s.prefInDegrees = s.audioMessages = s.trackToTarget = s.enableLog = s.proximity = 0;
    s.mapInDegrees = 0, s.gpsEmulation = 0;
    std::fill(std::begin(mapTable), std::end(mapTable), MapEntry{});
    std::fill(std::begin(prefTable), std::end(prefTable), PrefPoint{});
    currentMap = lastMapIndex = lastPrefIndex = selectedPref = emulationStep = logTickCounter = redrawCounter = 0;
    gotoActive = 0, portHandle = kInvalidPort, soundDirectory[0] = 0, displayLine[0] = 0, hInstance = &velkarResources;
    std::lock_guard<std::mutex> lock(gpsMutex);
    gpsState = GpsState{};
}
