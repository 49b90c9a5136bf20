// Process side of the Qt window layer: the QApplication, the text conversions and
// the program's options (--root DIR, --demo, --screenshot FILE, --size WxH,
// --fullscreen, --time-scale K, --quit-after-ticks N, --verbose), read by PlatformMain.
// The message loop lives in qt_loop.cpp, the one-instance check in qt_instance.cpp.
#include <QApplication>
#include <QImageReader>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <QPointer>

#include "platform/demo_root.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/qt/qt_app_parts.h"
#include "platform/qt/qt_handles.h"
#include "platform/qt/qt_internal.h"
#include "platform/view_window.h"

namespace {

constexpr const char* kVersionLine = "velkar 0.0.15";
constexpr int kAllocationLimitMb = 600;  // an 8000 x 8000 map at 4 bytes a pixel is 244 MiB

struct ProgramOptions {
    std::string screenshot;
    double timeScale = 1.0;
    long long quitAfterTicks = 0;
    long long ticksDelivered = 0;
    int sizeWidth = 0;
    int sizeHeight = 0;
    bool fullScreen = false;
    bool quitSent = false;
};
ProgramOptions& Options()
{
    static ProgramOptions options;
    return options;
}

// The toolkit's own chatter about the environment (no runtime folder, an
// offscreen platform without size hints) says nothing to the user; real
// warnings still go to standard error.
void FilterToolkitMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtDebugMsg || type == QtInfoMsg) return;
    if (message.contains(QLatin1String("XDG_RUNTIME_DIR")) || message.contains(QLatin1String("propagateSizeHints")) ||
        message.contains(QLatin1String("does not support raise()")))
        return;
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    if (type == QtFatalMsg) std::abort();
}

void UseOffscreenWithoutDisplay()
{
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
        std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

const char* kUsage =
    "usage: velkar [--root DIR | --demo] [--screenshot FILE] [--size WxH] [--fullscreen]\n"
    "              [--time-scale K] [--quit-after-ticks N] [-v]\n"
    "  --root DIR            device root holding \"My Documents\" and \"Scheda di memoria\"\n"
    "                        (default $XDG_DATA_HOME/velkar, else ~/.local/share/velkar)\n"
    "  --demo                run on a scratch copy of the bundled demo device root\n"
    "  --screenshot FILE     after every paint write the map view to FILE as PNG\n"
    "  --size WxH            open the map view W x H pixels (default 240x268)\n"
    "  --fullscreen          fill the screen (F11 switches)\n"
    "  --time-scale K        run every timer K times faster (K > 0)\n"
    "  --quit-after-ticks N  close the window after N ticks, as Control+Q does\n"
    "  -v, --verbose         say on standard error what the program did with the\n"
    "                        receiver, the maps and the sound, and why anything failed\n"
    "  --help                show this text\n"
    "  --version             show the version\n";

bool ParseDouble(const std::string& text, double* out)
{
    if (text.empty()) return false;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (end == nullptr || *end != '\0') return false;
    *out = v;
    return true;
}

bool ParseCount(const std::string& text, long long* out)
{
    if (text.empty()) return false;
    long long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        if (v > 1000000000000LL) return false;
        v = v * 10 + (c - '0');
    }
    *out = v;
    return true;
}

// "WxH" with both sides 1 to kMaxClientSide.
constexpr long long kMaxClientSide = 16384;
bool ParseSize(const std::string& text, int* width, int* height)
{
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    long long w = 0, h = 0;
    if (!ParseCount(text.substr(0, x), &w) || !ParseCount(text.substr(x + 1), &h)) return false;
    if (w < 1 || h < 1 || w > kMaxClientSide || h > kMaxClientSide) return false;
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

}  // namespace

// ---- Application --------------------------------------------------------------

void EnsureQtApplication()
{
    if (QCoreApplication::instance() != nullptr) return;
    UseOffscreenWithoutDisplay();
    qInstallMessageHandler(FilterToolkitMessages);
    static int argc = 1;
    static char name[] = "velkar";
    static char* argv[] = {name, nullptr};
    auto* app = new QApplication(argc, argv);
    app->setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("velkar"));
    QImageReader::setAllocationLimit(kAllocationLimitMb);
    // Numbers in files and on screen are read and written with '.' whatever the
    // user's locale; the toolkit set the C library's locale from the environment.
    std::setlocale(LC_NUMERIC, "C");
}

QString QStringOfText(const char16_t* text)
{
    if (text == nullptr) return QString();
    return QString::fromUtf16(text);
}

QString QStringOfText(const char16_t* text, int32_t length)
{
    if (text == nullptr) return QString();
    if (length < 0) return QString::fromUtf16(text);
    return QString::fromUtf16(text, length);
}

// ---- Options -------------------------------------------------------------------

int ParsePlatformOptions(int argc, char** argv, PlatformOptions* options, std::string* message)
{
    *options = PlatformOptions{};
    message->clear();
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i] != nullptr ? argv[i] : "";
        std::string value;
        bool hasInlineValue = false;
        if (arg.rfind("--", 0) == 0) {
            size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                hasInlineValue = true;
            }
        }
        auto needValue = [&](std::string* out) {
            if (hasInlineValue) {
                *out = value;
                return true;
            }
            if (i + 1 >= argc || argv[i + 1] == nullptr) {
                *message = "velkar: option " + arg + " needs a value (try --help)";
                return false;
            }
            *out = argv[++i];
            return true;
        };
        if (arg == "--demo" && !hasInlineValue) {
            options->demo = true;
        } else if ((arg == "--verbose" || arg == "-v") && !hasInlineValue) {
            options->verbose = true;
        } else if (arg == "--help" && !hasInlineValue) {
            options->help = true;
        } else if (arg == "--version" && !hasInlineValue) {
            options->version = true;
        } else if (arg == "--root") {
            if (!needValue(&options->root)) return 0;
            if (options->root.empty()) {
                *message = "velkar: --root needs a folder";
                return 0;
            }
        } else if (arg == "--screenshot") {
            if (!needValue(&options->screenshot)) return 0;
            if (options->screenshot.empty()) {
                *message = "velkar: --screenshot needs a file name";
                return 0;
            }
        } else if (arg == "--fullscreen" && !hasInlineValue) {
            options->fullScreen = true;
        } else if (arg == "--size") {
            std::string text;
            if (!needValue(&text)) return 0;
            if (!ParseSize(text, &options->sizeWidth, &options->sizeHeight)) {
                *message = "velkar: --size needs WIDTHxHEIGHT in pixels, 1 to 16384 each, not '" + text + "'";
                return 0;
            }
        } else if (arg == "--time-scale") {
            std::string text;
            if (!needValue(&text)) return 0;
            double k = 0;
            if (!ParseDouble(text, &k) || !(k > 0 && k <= 1e6)) {
                *message = "velkar: --time-scale needs a number above 0 (up to 1000000), not '" + text + "'";
                return 0;
            }
            options->timeScale = k;
        } else if (arg == "--quit-after-ticks") {
            std::string text;
            if (!needValue(&text)) return 0;
            long long n = 0;
            if (!ParseCount(text, &n) || n < 1) {
                *message = "velkar: --quit-after-ticks needs a whole number of at least 1, not '" + text + "'";
                return 0;
            }
            options->quitAfterTicks = n;
        } else {
            *message = "velkar: unknown argument '" + std::string(argv[i] != nullptr ? argv[i] : "") +
                       "' (try --help)";
            return 0;
        }
    }
    return 1;
}

int PlatformMain(int argc, char** argv, InstanceHandle instance, EntryFunction entry)
{
    PlatformOptions parsed;
    std::string message;
    if (!ParsePlatformOptions(argc, argv, &parsed, &message)) {
        std::fprintf(stderr, "%s\n", message.c_str());
        return 2;
    }
    if (parsed.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (parsed.version) {
        std::printf("%s\n", kVersionLine);
        return 0;
    }
    ProgramOptions& o = Options();
    o = ProgramOptions{};
    o.screenshot = parsed.screenshot;
    o.timeScale = parsed.timeScale;
    o.quitAfterTicks = parsed.quitAfterTicks;
    o.sizeWidth = parsed.sizeWidth;
    o.sizeHeight = parsed.sizeHeight;
    o.fullScreen = parsed.fullScreen;
    ResetQuitState();

    SetVerbose(parsed.verbose ? 1 : 0);
    if (parsed.demo) {
        if (!parsed.root.empty()) {
            std::fprintf(stderr, "velkar: --demo and --root cannot be used together\n");
            return 2;
        }
        parsed.root = CopyDemoRoot(&message);
        if (parsed.root.empty()) {
            std::fprintf(stderr, "%s\n", message.c_str());
            return 1;
        }
        VerboseLine("demo: running on a copy of %s", FindDemoRoot().c_str());
    }
    SetDeviceRoot(parsed.root.empty() ? DeviceRootDefault() : parsed.root);
    if (!EnsureDeviceRootFolders()) VerboseLine("cannot create the folders of the device root %s", DeviceRoot().c_str());
    VerboseLine("device root %s", DeviceRoot().c_str());

    const bool ownsApplication = QCoreApplication::instance() == nullptr;
    EnsureQtApplication();

    EntryArguments arguments{instance, 0, u"", 1};
    const int result = entry != nullptr ? entry(&arguments) : 0;

    // Windows left open (Exit quits without closing) go before the application.
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (WindowHandle h = HandleOfWidget(top); h != nullptr) StopAllTimers(h);
    }
    StopInstanceServer();
    if (ownsApplication) {
        // Pop-up menus are windows too, owned by their buttons: delete only the
        // windows nobody owns, each once.
        std::vector<QPointer<QWidget>> owned;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->parentWidget() == nullptr) owned.emplace_back(top);
        for (QPointer<QWidget>& top : owned) delete top.data();
        delete QCoreApplication::instance();
    }
    return result;
}

const char* ScreenshotPath() { return Options().screenshot.c_str(); }

int RequestedClientSize(int32_t* width, int32_t* height)
{
    const ProgramOptions& o = Options();
    if (o.sizeWidth <= 0 || o.sizeHeight <= 0 || width == nullptr || height == nullptr) return 0;
    *width = o.sizeWidth;
    *height = o.sizeHeight;
    return 1;
}

int RequestedFullScreen() { return Options().fullScreen ? 1 : 0; }

double TimeScale() { return Options().timeScale; }

// --quit-after-ticks: after N ticks (timer 11024) delivered to the main window,
// the window gets command 1, the command Control+Q sends. The view's other
// timers do not count.
void CountMainWindowTick(WindowHandle window, uint32_t timerId)
{
    constexpr uint32_t kTickTimerId = 11024;
    ProgramOptions& o = Options();
    if (timerId != kTickTimerId || o.quitAfterTicks <= 0 || o.quitSent) return;
    if (++o.ticksDelivered < o.quitAfterTicks) return;
    o.quitSent = true;
    SendWindowMessage(window, kMsgCommand, 1, 0);
}
