// Test ground for the dialogs: QApplication (offscreen), a temporary device root,
// a real main window counting paints, and modal runs acted on from inside.
#include "dialog_support.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "app/globals.h"
#include "base/text.h"
#include "gps/emulation.h"
#include "gps/gps_state.h"
#include "platform/draw.h"
#include "platform/files.h"
#include "platform/qt/qt_handles.h"
#include "resources/resources.h"
#include "store/maps.h"
#include "store/prefs.h"
#include "store/settings.h"

namespace {

int paintCount = 0;
int lastPaintErased = -1;
std::string rootFolder;

intptr_t TestMainProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message == kMsgPaint) {
        PaintInfo info{};
        BeginPaint(window, &info);
        ++paintCount;
        lastPaintErased = info.erase;
        EndPaint(window, &info);
        return 0;
    }
    return DefaultWindowProc(window, message, wParam, lParam);
}

class DialogsEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "dialogs_test";
        static char* argv[] = {name, nullptr};
        if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        if (QApplication::instance() == nullptr) new QApplication(argc, argv);

        char pattern[] = "/tmp/velkar-dialogs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        rootFolder = pattern;
        SetDeviceRoot(rootFolder);

        hInstance = &velkarResources;
        WindowClass wc{3, TestMainProc, &velkarResources, 109, u"Velkar Dialogs Test"};
        ASSERT_EQ(RegisterWindowClass(&wc), 1);
        mainWindow = CreateMainWindow(u"Velkar Dialogs Test", u"Velkar", kStyleVisible, kUseDefault, kUseDefault,
                                      kUseDefault, kUseDefault);
        ASSERT_NE(mainWindow, nullptr);
        ShowMainWindow(mainWindow, 1);
        FlushMainPaints();
    }
    void TearDown() override
    {
        if (mainWindow != nullptr) DestroyMainWindow(mainWindow);
        mainWindow = nullptr;
        std::error_code ignored;
        if (!rootFolder.empty()) std::filesystem::remove_all(rootFolder, ignored);
    }
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new DialogsEnvironment);

QWidget* FindDialogWidget(int32_t templateId)
{
    const QString name = QStringLiteral("dlg-%1").arg(templateId);
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible()) return w;
    return nullptr;
}

}  // namespace

DialogRun RunDialogWith(int32_t templateId, DialogProc procedure,
                        const std::function<void(WindowHandle, QWidget*)>& act)
{
    DialogRun run;
    QTimer poll;
    int attempts = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QPointer<QWidget> widget = FindDialogWidget(templateId);
        if (widget == nullptr) {
            // The dialog never showed: give up rather than wait for ever.
            if (++attempts > 2000) {
                poll.stop();
                if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
            }
            return;
        }
        poll.stop();
        run.found = true;
        WindowHandle handle = HandleOfWidget(widget);
        act(handle, widget);
        if (widget != nullptr && widget->isVisible()) {
            run.leftOpen = true;
            EndDialog(handle, 99);
        }
    });
    poll.start(5);
    run.endCode = RunDialog(&velkarResources, templateId, mainWindow, procedure, 0);
    poll.stop();
    QCoreApplication::processEvents();
    return run;
}

std::u16string FieldText(WindowHandle dialog, int32_t id)
{
    char16_t text[1024] = {};
    GetDlgItemText(dialog, id, text, 1024);
    return std::u16string(text);
}

QWidget* ControlWidget(QWidget* dialog, int32_t id)
{
    return dialog->findChild<QWidget*>(QStringLiteral("ctl-%1").arg(id));
}

void ClickControl(QWidget* dialog, int32_t id)
{
    QWidget* control = ControlWidget(dialog, id);
    ASSERT_NE(control, nullptr) << "no control " << id;
    QTest::mouseClick(control, Qt::LeftButton, Qt::NoModifier, control->rect().center());
}

void TypeInto(QWidget* dialog, int32_t id, const char16_t* text)
{
    auto* edit = qobject_cast<QLineEdit*>(ControlWidget(dialog, id));
    ASSERT_NE(edit, nullptr) << "no edit field " << id;
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, QString::fromUtf16(text));
}

void PressKey(QWidget* dialog, int key)
{
    QTest::keyClick(dialog, static_cast<Qt::Key>(key));
}

std::string DeviceFile(const std::string& relativePath)
{
    return rootFolder + "/" + relativePath;
}

void WriteDeviceFile(const std::string& relativePath, const std::string& content)
{
    std::filesystem::path path = DeviceFile(relativePath);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

void RemoveDeviceFile(const std::string& relativePath)
{
    std::error_code ignored;
    std::filesystem::remove(DeviceFile(relativePath), ignored);
}

void WriteBmp(const std::string& relativePath, int width, int height)
{
    const int rowBytes = (width * 3 + 3) / 4 * 4;
    const uint32_t imageBytes = static_cast<uint32_t>(rowBytes * height);
    std::string bmp(54 + imageBytes, '\0');
    auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&bmp[at], &v, 2); };
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&bmp[at], &v, 4); };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, 54 + imageBytes);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    put16(26, 1);
    put16(28, 24);
    put32(34, imageBytes);
    for (uint32_t i = 0; i < imageBytes; ++i) bmp[54 + i] = static_cast<char>(0x80);
    WriteDeviceFile(relativePath, bmp);
}

int MainPaintCount() { return paintCount; }
int LastPaintErased() { return lastPaintErased; }

void FlushMainPaints()
{
    QCoreApplication::processEvents();
    if (mainWindow != nullptr) UpdateWindowNow(mainWindow);
    QCoreApplication::processEvents();
}

void DialogTest::SetUp()
{
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(rootFolder, ignored))
        std::filesystem::remove_all(entry.path(), ignored);

    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        std::memset(&gpsState, 0, sizeof gpsState);
    }
    ResetGpsState();
    gotoActive.store(0);
    emulationStep = 0;

    settings.comPort = 1;
    settings.baudRate = 4800;
    settings.gpsEmulation.store(0);
    settings.prefInDegrees = 0;
    settings.audioMessages = 0;
    settings.trackToTarget = 0;
    settings.enableLog = 0;
    settings.proximity = 0;
    settings.mapInDegrees = 0;

    std::memset(mapTable, 0, sizeof mapTable);
    currentMap = 0;
    lastMapIndex = 0;
    FillDefaultMapEntry(0);
    if (mapBitmap != nullptr) DeleteObject(mapBitmap);
    mapBitmap = nullptr;

    std::memset(prefTable, 0, sizeof prefTable);
    lastPrefIndex = 0;
    selectedPref = 0;
    FlushMainPaints();
}

void DialogTest::TearDown()
{
    gotoActive.store(0);
    if (mapBitmap != nullptr) DeleteObject(mapBitmap);
    mapBitmap = nullptr;
}

std::string Utf8(const std::u16string& text)
{
    return TextToUtf8(text.c_str());
}
