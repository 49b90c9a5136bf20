// Test ground for the shell: QApplication (offscreen), a temporary device root,
// and real main windows running MainWndProc behind a recorder.
#include "app_support.h"

#include <QApplication>
#include <QTimer>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "app/globals.h"
#include "app/shell.h"
#include "gps/emulation.h"
#include "gps/gps_state.h"
#include "gps/serial_link.h"
#include "platform/files.h"
#include "resources/resources.h"
#include "store/maps.h"
#include "store/prefs.h"
#include "store/settings.h"

WindowRecord record;

namespace {

constexpr char16_t kRecordingClass[] = u"Velkar Shell Test";
std::string rootFolder;
WindowHandle shellWindow = nullptr;

intptr_t RecordingProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message == kMsgPaint) ++record.paints;
    if (message == kMsgDestroy) ++record.destroys;
    if (message == kMsgCreate) ++record.creates;
    const intptr_t result = MainWndProc(window, message, wParam, lParam);
    if (message == kMsgDestroy && window == shellWindow) shellWindow = nullptr;
    return result;
}

class ShellEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "app_test";
        static char* argv[] = {name, nullptr};
        if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        if (QApplication::instance() == nullptr) new QApplication(argc, argv);
        setlocale(LC_NUMERIC, "C");

        char pattern[] = "/tmp/velkar-app-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        rootFolder = pattern;
        SetDeviceRoot(rootFolder);

        WindowClass wc{3, RecordingProc, &velkarResources, 109, kRecordingClass};
        ASSERT_EQ(RegisterWindowClass(&wc), 1);
    }
    void TearDown() override
    {
        DestroyShellWindow();
        std::error_code ignored;
        if (!rootFolder.empty()) std::filesystem::remove_all(rootFolder, ignored);
    }
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new ShellEnvironment);

// A quit posted outside a running loop (the destroy steps, Exit) leaves Qt's
// "quit now" mark on this thread, which would end every later modal loop at
// once; a loop run to its end clears it, as the program's own loop would.
void DrainQuit()
{
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QApplication::exec();
}

void ResetGlobals()
{
    Settings& s = settings;
    s.comPort = 0;
    s.baudRate = 0;
    s.gpsEmulation = 0;
    s.prefInDegrees = 0;
    s.audioMessages = 0;
    s.trackToTarget = 0;
    s.enableLog = 0;
    s.proximity = 0;
    s.mapInDegrees = 0;
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState = GpsState{};
        displayLine[0] = 0;
    }
    std::memset(static_cast<void*>(mapTable), 0, sizeof mapTable);
    std::memset(static_cast<void*>(prefTable), 0, sizeof prefTable);
    currentMap = 0;
    lastMapIndex = 0;
    lastPrefIndex = 0;
    selectedPref = 0;
    emulationStep = 0;
    logTickCounter = 0;
    redrawCounter = 0;
    gotoActive = 0;
    portHandle = kInvalidPort;
    soundDirectory[0] = 0;
    hInstance = &velkarResources;
}

}  // namespace

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

bool DeviceFileExists(const std::string& relativePath)
{
    return std::filesystem::exists(DeviceFile(relativePath));
}

std::string ReadDeviceFile(const std::string& relativePath)
{
    std::ifstream in(DeviceFile(relativePath), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int CountLines(const std::string& relativePath)
{
    const std::string text = ReadDeviceFile(relativePath);
    int lines = 0;
    for (char c : text)
        if (c == '\n') ++lines;
    return lines;
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

WindowHandle CreateShellWindow()
{
    DestroyShellWindow();
    record = WindowRecord{};
    shellWindow = CreateMainWindow(kRecordingClass, u"Velkar", kStyleVisible, kUseDefault, kUseDefault, kUseDefault,
                                   kUseDefault);
    if (shellWindow == nullptr) return nullptr;
    StopTimer(shellWindow, kMainTimerId);
    ShowMainWindow(shellWindow, 1);
    UpdateWindowNow(shellWindow);
    FlushPaints();
    return shellWindow;
}

void DestroyShellWindow()
{
    if (shellWindow != nullptr) DestroyMainWindow(shellWindow);
    shellWindow = nullptr;
    mainWindow = nullptr;
    FlushPaints();
    DrainQuit();
}

void FlushPaints()
{
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    if (shellWindow != nullptr) UpdateWindowNow(shellWindow);
    QCoreApplication::processEvents();
}

void Tick()
{
    SendWindowMessage(mainWindow, kMsgTimer, kMainTimerId, 0);
    FlushPaints();
}

void ShellTest::SetUp()
{
    DestroyShellWindow();
    ResetGlobals();
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(rootFolder, ignored))
        std::filesystem::remove_all(entry.path(), ignored);
}

void ShellTest::TearDown()
{
    DestroyShellWindow();
    ResetGlobals();
}

std::string SettingsText(int comPort, int baudRate, int gpsEmulation, int prefInDegrees, int audioMessages,
                         int trackToTarget, int enableLog, int proximity, int mapInDegrees)
{
    std::ostringstream text;
    text << "[BEGIN]\n";
    for (int v : {comPort, baudRate, gpsEmulation, prefInDegrees, audioMessages, trackToTarget, enableLog,
                  proximity, mapInDegrees})
        text << "[" << v << "]\n";
    text << "[0]\n[0]\n[END]\n";
    return text.str();
}
