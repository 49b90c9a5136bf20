// Cost of the dialogs' own work on real offscreen dialogs: a Gps data refresh
// (ten formats and fields), a GoTo of each GoTo dialog, and a whole opening and
// closing of Map set (five maps) and GoTo preference point (ten points).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "app/globals.h"
#include "dialogs/dialogs.h"
#include "gps/emulation.h"
#include "platform/files.h"
#include "platform/qt/qt_handles.h"
#include "resources/resources.h"
#include "store/maps.h"
#include "store/prefs.h"

namespace {

std::string root;

intptr_t QuietMainProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    return DefaultWindowProc(window, message, wParam, lParam);
}

void WriteFile(const std::string& relative, const std::string& content)
{
    std::filesystem::path path = root + "/" + relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

// A device root with five maps and ten points, and a main window to own the dialogs.
void EnsureWorld()
{
    if (!root.empty()) return;
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    EnsureQtApplication();
    char pattern[] = "/tmp/velkar-dialogs-bench-XXXXXX";
    root = mkdtemp(pattern);
    std::atexit([] { std::filesystem::remove_all(root); });
    SetDeviceRoot(root);
    std::string maps, points;
    for (int i = 0; i < 5; ++i)
        maps += "[" + std::to_string(i) + "][Mappa " + std::to_string(i) +
                "][.\\none.bmp][716346.6][4914433.5][717261.9][4913879.2][741][498][0][0][0][-]\n";
    for (int i = 0; i < 10; ++i)
        points += "[" + std::to_string(i) + "][Punto " + std::to_string(i) + "][-][" + std::to_string(716000 + 50 * i) +
                  "][4914000][-][-][0][-][-][-][-][-]\n";
    WriteFile("My Documents/Velkar/vlmap.cfg", maps);
    WriteFile("My Documents/Velkar/vlpref.cfg", points);
    LoadMapCatalogue();
    LoadPrefPoints();
    hInstance = &velkarResources;
    WindowClass wc{3, QuietMainProc, &velkarResources, 109, u"Velkar Dialogs Bench"};
    RegisterWindowClass(&wc);
    mainWindow = CreateMainWindow(u"Velkar Dialogs Bench", u"Velkar", kStyleVisible, kUseDefault, kUseDefault,
                                  kUseDefault, kUseDefault);
    FeedEmulatedSentence(1);
}

// Runs the template and calls act on the open dialog; act must close it.
void WithDialog(int32_t templateId, DialogProc procedure, const std::function<void(WindowHandle)>& act)
{
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QStringLiteral("dlg-%1").arg(templateId) && w->isVisible()) {
                act(HandleOfWidget(w));
                return;
            }
    });
    RunDialog(&velkarResources, templateId, mainWindow, procedure, 0);
}

void BM_GpsDataRefresh(benchmark::State& state)
{
    EnsureWorld();
    WithDialog(103, GpsDataDlgProc, [&](WindowHandle dialog) {
        for (auto _ : state) benchmark::DoNotOptimize(GpsDataDlgProc(dialog, kMsgTimer, 11025, 0));
        GpsDataDlgProc(dialog, kMsgCommand, 1, 0);
    });
}
BENCHMARK(BM_GpsDataRefresh);

void BM_GotoCoordGoTo(benchmark::State& state)
{
    EnsureWorld();
    WithDialog(114, GotoCoordDlgProc, [&](WindowHandle dialog) {
        SetDlgItemText(dialog, 1018, u"44");
        SetDlgItemText(dialog, 1019, u"20");
        SetDlgItemText(dialog, 1020, u"55.44");
        SetDlgItemText(dialog, 1015, u"11");
        SetDlgItemText(dialog, 1016, u"43");
        SetDlgItemText(dialog, 1017, u"3");
        for (auto _ : state) benchmark::DoNotOptimize(GotoCoordDlgProc(dialog, kMsgCommand, 1, 0));
        GotoCoordDlgProc(dialog, kMsgCommand, 2, 0);
    });
    QCoreApplication::processEvents();
}
BENCHMARK(BM_GotoCoordGoTo);

// Building the dialog from its template, filling it and closing it.
void BM_MapSetOpenAndCancel(benchmark::State& state)
{
    EnsureWorld();
    for (auto _ : state) WithDialog(106, MapSetDlgProc, [](WindowHandle d) { MapSetDlgProc(d, kMsgCommand, 1013, 0); });
}
BENCHMARK(BM_MapSetOpenAndCancel)->Unit(benchmark::kMillisecond);

// Includes reading the ten-point file, as every opening does.
void BM_GotoPrefOpenAndExit(benchmark::State& state)
{
    EnsureWorld();
    for (auto _ : state) WithDialog(115, GotoPrefDlgProc, [](WindowHandle d) { GotoPrefDlgProc(d, kMsgCommand, 2, 0); });
    QCoreApplication::processEvents();
}
BENCHMARK(BM_GotoPrefOpenAndExit)->Unit(benchmark::kMillisecond);

}  // namespace
