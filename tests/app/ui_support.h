// Shared ground for the shell and dialog tests: Qt offscreen, a temporary device root, a real main
// window running MainWndProc (paints counted, not drawn), files written and read on the root by their
// paths under it, and globals put back to their start-up values before each test.
#pragma once
#include <QApplication>
#include <QImage>
#include <QTimer>
#include <gtest/gtest.h>
#include <mutex>
#include "../support/common.h"
#include "app/globals.h"
#include "app/shell.h"
#include "gps/emulation.h"
#include "gps/gps_state.h"
#include "gps/serial_link.h"
#include "platform/files.h"
#include "platform/qt/qt_handles.h"
#include "resources/resources.h"
#include "store/maps.h"
#include "store/prefs.h"
#include "store/settings.h"
inline const std::string kSettingsFile = "My Documents/Velkar/vlcfg.cfg", kMapFile = "My Documents/Velkar/vlmap.cfg",
                         kPrefFile = "My Documents/Velkar/vlpref.cfg";
inline std::string uiRoot;
inline WindowHandle shellWindow = nullptr;
struct WindowRecord { int paints = 0, lastErase = -1; };
inline WindowRecord record;  // what the main window saw since it was created
inline intptr_t RecordingProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message == kMsgPaint) {  // counted only: the view has tests of its own
        PaintInfo info{};
        BeginPaint(window, &info);
        record.lastErase = info.erase, ++record.paints;
        return EndPaint(window, &info), 0;
    }
    const intptr_t result = MainWndProc(window, message, wParam, lParam);
    if (message == kMsgDestroy && window == shellWindow) shellWindow = nullptr;
    return result;
}
inline void WriteDeviceFile(const std::string& path, const std::string& content)
{
    std::filesystem::create_directories(std::filesystem::path(uiRoot + "/" + path).parent_path());
    WriteFile(uiRoot + "/" + path, content);
}
inline std::string ReadDeviceFile(const std::string& path) { return Slurp(uiRoot + "/" + path); }
inline void WriteBmp(const std::string& path, int width, int height)
{
    WriteDeviceFile(path, "");  // makes the folders
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(Qt::gray);
    ASSERT_TRUE(image.save(QString::fromStdString(uiRoot + "/" + path), "BMP"));
}
inline void FlushPaints()  // paints what is invalid
{
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    if (shellWindow != nullptr) UpdateWindowNow(shellWindow);
    QCoreApplication::processEvents();
}
inline void Tick(int n = 1)  // n ticks as the timer delivers them, each with its paints
{
    for (int i = 0; i < n; ++i) SendWindowMessage(mainWindow, kMsgTimer, kMainTimerId, 0), FlushPaints();
}
inline void DestroyShellWindow()
{
    if (shellWindow != nullptr) DestroyMainWindow(shellWindow);
    shellWindow = mainWindow = nullptr;
    FlushPaints();
    // A quit posted outside a loop would end every later modal loop; a loop run to its end clears it.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QApplication::exec();
}
// The create handler runs; timer 11024 is stopped so that ticks come from the test only.
inline WindowHandle CreateShellWindow()
{
    DestroyShellWindow();
    record = {};
    shellWindow = CreateMainWindow(u"Velkar Test", u"Velkar", kStyleVisible, kUseDefault, kUseDefault, kUseDefault,
                                   kUseDefault);
    if (shellWindow != nullptr) StopTimer(shellWindow, kMainTimerId), ShowMainWindow(shellWindow, 1), FlushPaints();
    return shellWindow;
}
// The card folder, the program's folder, the settings file when given, a 741 x 498 temp.bmp, the window.
inline void OpenShellOnCard(const std::string& settingsText = "")
{
    WriteDeviceFile("Scheda di memoria/.keep", ""), WriteDeviceFile("My Documents/Velkar/.keep", "");
    if (!settingsText.empty()) WriteDeviceFile(kSettingsFile, settingsText);
    WriteBmp("temp.bmp", 741, 498);
    ASSERT_NE(CreateShellWindow(), nullptr);
}

class UiEnvironment : public ::testing::Environment {
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "ui_test", *argv[] = {name, nullptr};
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        new QApplication(argc, argv);
        ASSERT_NE(uiRoot = MakeTempFolder("ui"), "");
        SetDeviceRoot(uiRoot);
        WindowClass wc{3, RecordingProc, &velkarResources, 109, u"Velkar Test"};
        ASSERT_EQ(RegisterWindowClass(&wc), 1);
    }
    void TearDown() override { DestroyShellWindow(), std::filesystem::remove_all(uiRoot); }
};
inline ::testing::Environment* const uiEnvironment = ::testing::AddGlobalTestEnvironment(new UiEnvironment);

// Globals at their start-up values, device root emptied, no main window.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DestroyShellWindow();
        for (const auto& entry : std::filesystem::directory_iterator(uiRoot)) std::filesystem::remove_all(entry.path());
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
    void TearDown() override { UiTest::SetUp(); }
};
