// Process side of the Qt window layer: the QApplication, the program's options,
// the message loop with its accelerators, quitting, message boxes and the
// one-instance-per-device-root check over a local socket that only the user can
// reach (a private folder, else the abstract namespace with the peer's user id
// checked).
// Options: --root DIR, --screenshot FILE, --time-scale K, --quit-after-ticks N,
// --verbose.
#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QGuiApplication>
#include <QImageReader>
#include <QKeySequence>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPointer>
#include <QShortcut>
#include <QThread>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <vector>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/demo_root.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/qt/qt_handles.h"
#include "platform/qt/qt_internal.h"

namespace {

constexpr const char* kVersionLine = "velkar 0.0.15";
constexpr int kAllocationLimitMb = 600;  // an 8000 x 8000 map at 4 bytes a pixel is 244 MiB

struct ProgramOptions {
    std::string screenshot;
    double timeScale = 1.0;
    long long quitAfterTicks = 0;
    long long ticksDelivered = 0;
    bool quitSent = false;
};
ProgramOptions& Options()
{
    static ProgramOptions options;
    return options;
}

bool quitPosted = false;
bool inMainLoop = false;
int quitCode = 0;
int raiseRequests = 0;
QLocalServer* instanceServer = nullptr;

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
    "usage: velkar [--root DIR | --demo] [--screenshot FILE] [--time-scale K] [--quit-after-ticks N] [-v]\n"
    "  --root DIR            device root holding \"My Documents\" and \"Scheda di memoria\"\n"
    "                        (default $XDG_DATA_HOME/velkar, else ~/.local/share/velkar)\n"
    "  --demo                run on a scratch copy of the bundled demo device root\n"
    "  --screenshot FILE     after every paint write the map view to FILE as PNG\n"
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

constexpr size_t kMaxSocketPath = 100;  // a socket's path holds 108 bytes, the terminator included

// A folder only this user can reach: a real folder (not a link), owned by the
// user, no access for group or others.
bool IsPrivateFolder(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

// Where the endpoint may live: $XDG_RUNTIME_DIR, else "<temp>/velkar-<uid>"
// (created with mode 0700), each only when private; "" when neither is (a
// folder planted by someone else is never used).
std::string PrivateFolder()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/') {
        if (IsPrivateFolder(runtime)) return runtime;
        VerboseLine("%s is not a private folder of this user: not used for the one-instance check", runtime);
    }
    const std::string own = QDir::tempPath().toStdString() + "/velkar-" + std::to_string(getuid());
    if (mkdir(own.c_str(), 0700) != 0 && errno != EEXIST) return "";
    if (IsPrivateFolder(own)) return own;
    VerboseLine("%s is not a private folder of this user: the one-instance check uses the abstract namespace",
                own.c_str());
    return "";
}

// True when the process at the other end of a connected local socket runs as
// this user: an endpoint or a caller of another user is never listened to.
bool PeerIsThisUser(qintptr descriptor)
{
    ucred cred{};
    socklen_t length = sizeof cred;
    return descriptor >= 0 &&
           getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &cred, &length) == 0 &&
           cred.uid == getuid();
}

// Endpoint names: a socket path, or "@name" in the abstract namespace.
bool IsAbstract(const std::string& name) { return !name.empty() && name[0] == '@'; }
QString QtEndpointName(const std::string& name) { return QString::fromStdString(IsAbstract(name) ? name.substr(1) : name); }

// Connects to the endpoint and keeps the connection only when its owner is this user.
bool ConnectToOwnEndpoint(QLocalSocket& socket, const std::string& name)
{
    if (IsAbstract(name)) socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(QtEndpointName(name));
    if (!socket.waitForConnected(1000)) return false;
    if (PeerIsThisUser(socket.socketDescriptor())) return true;
    VerboseLine("the one-instance endpoint %s belongs to another user: ignored", name.c_str());
    socket.abort();
    return false;
}

// A raise request from a later start: bring the main window to the front.
void OnRaiseRequest(QLocalSocket* socket)
{
    QByteArray data = socket->readAll();
    if (!data.contains("raise")) return;
    ++raiseRequests;
    VerboseLine("a second start on this device root handed over: the window comes to the front");
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() != QLatin1String("velkar-main") || !top->isVisible()) continue;
        top->showNormal();
        top->raise();
        top->activateWindow();
    }
}

void StartInstanceServer(const std::string& name)
{
    if (instanceServer != nullptr) {
        if (instanceServer->property("endpoint").toString().toStdString() == name) return;
        delete instanceServer;
        instanceServer = nullptr;
    }
    auto* server = new QLocalServer(qApp);
    server->setProperty("endpoint", QString::fromStdString(name));
    server->setSocketOptions(IsAbstract(name) ? QLocalServer::AbstractNamespaceOption : QLocalServer::UserAccessOption);
    const QString qname = QtEndpointName(name);
    if (!server->listen(qname)) {
        // In the private folder, a socket nobody answered a moment ago is left over
        // from a run that ended without closing it. An abstract name held by
        // another user stays theirs: this start goes on without the check.
        if (IsAbstract(name) || !QLocalServer::removeServer(qname) || !server->listen(qname)) {
            VerboseLine("cannot listen on the one-instance endpoint %s", name.c_str());
            delete server;
            return;
        }
    }
    QObject::connect(server, &QLocalServer::newConnection, server, [server]() {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            if (!PeerIsThisUser(socket->socketDescriptor())) {
                socket->abort();
                continue;
            }
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket]() { OnRaiseRequest(socket); });
            if (socket->bytesAvailable() > 0) OnRaiseRequest(socket);
        }
    });
    instanceServer = server;
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
    quitPosted = false;
    quitCode = 0;

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
    delete instanceServer;
    instanceServer = nullptr;
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

double TimeScale() { return Options().timeScale; }

// --quit-after-ticks: after N timer messages delivered to the main window, the
// window gets command 1, the command Control+Q sends.
void CountMainWindowTick(WindowHandle window)
{
    ProgramOptions& o = Options();
    if (o.quitAfterTicks <= 0 || o.quitSent) return;
    if (++o.ticksDelivered < o.quitAfterTicks) return;
    o.quitSent = true;
    SendWindowMessage(window, kMsgCommand, 1, 0);
}

// ---- Message loop ----------------------------------------------------------------

struct PlatformAccelerators {
    const AcceleratorResource* table;
};

AcceleratorHandle LoadAcceleratorTable(InstanceHandle instance, int32_t id)
{
    const AcceleratorResource* table = FindAccelerators(instance, id);
    if (table == nullptr) return nullptr;
    // A table loaded from the resources is shared and lives as long as the
    // program, like the resources themselves: loading it again gives the same handle.
    static auto* loaded = new std::map<const AcceleratorResource*, PlatformAccelerators*>;
    PlatformAccelerators*& handle = (*loaded)[table];
    if (handle == nullptr) handle = new PlatformAccelerators{table};
    return handle;
}

namespace {

// Virtual-key code to the toolkit's key; 0 for keys this layer does not map.
int QtKeyOfVirtualKey(uint16_t vk)
{
    if (vk >= 'A' && vk <= 'Z') return Qt::Key_A + (vk - 'A');
    if (vk >= '0' && vk <= '9') return Qt::Key_0 + (vk - '0');
    if (vk >= 0x70 && vk <= 0x7B) return Qt::Key_F1 + (vk - 0x70);
    switch (vk) {
    case 0x08: return Qt::Key_Backspace;
    case 0x09: return Qt::Key_Tab;
    case 0x0D: return Qt::Key_Return;
    case 0x1B: return Qt::Key_Escape;
    case 0x20: return Qt::Key_Space;
    case 0x25: return Qt::Key_Left;
    case 0x26: return Qt::Key_Up;
    case 0x27: return Qt::Key_Right;
    case 0x28: return Qt::Key_Down;
    case 0x2E: return Qt::Key_Delete;
    default: return 0;
    }
}

void InstallAccelerators(WindowHandle window, AcceleratorHandle accelerators)
{
    if (accelerators == nullptr || accelerators->table == nullptr || !IsLiveWindow(window)) return;
    QWidget* top = window->widget;
    if (top == nullptr) return;
    const AcceleratorResource* t = accelerators->table;
    for (int32_t i = 0; i < t->entryCount; ++i) {
        const AcceleratorEntry& e = t->entries[i];
        QKeyCombination combination(Qt::Key_unknown);
        Qt::KeyboardModifiers modifiers;
        if (e.flags & 0x04) modifiers |= Qt::ShiftModifier;
        if (e.flags & kAccelControl) modifiers |= Qt::ControlModifier;
        if (e.flags & 0x10) modifiers |= Qt::AltModifier;
        int key = (e.flags & kAccelVirtKey) ? QtKeyOfVirtualKey(e.key) : static_cast<int>(QChar(e.key).toUpper().unicode());
        if (key == 0) continue;
        combination = QKeyCombination(modifiers, static_cast<Qt::Key>(key));
        auto* shortcut = new QShortcut(QKeySequence(combination), top);
        shortcut->setContext(Qt::WindowShortcut);
        shortcut->setObjectName(QStringLiteral("accel-%1").arg(e.command));
        const uint16_t command = e.command;
        QObject::connect(shortcut, &QShortcut::activated, top, [window, command]() {
            if (IsLiveWindow(window)) SendWindowMessage(window, kMsgCommand, command, 0);
        });
        if (e.flags & kAccelLast) break;
    }
}

}  // namespace

int RunMessageLoop(WindowHandle window, AcceleratorHandle accelerators)
{
    EnsureQtApplication();
    InstallAccelerators(window, accelerators);
    // A quit posted before the loop ends it at once, as a quit message already
    // waiting in the queue would; it is used up either way.
    if (!quitPosted) {
        inMainLoop = true;
        QApplication::exec();
        inMainLoop = false;
    }
    quitPosted = false;
    return quitCode;
}

void PostQuit(int exitCode)
{
    quitPosted = true;
    quitCode = exitCode;
    // Ends the main loop and any modal loop inside it. Outside the main loop the
    // toolkit would instead refuse every later modal loop, so only the flag is set.
    if (inMainLoop && QCoreApplication::instance() != nullptr) QCoreApplication::exit(exitCode);
}

// ---- Message boxes ---------------------------------------------------------------

void ShowMessageBox(WindowHandle owner, const char16_t* text, const char16_t* caption)
{
    EnsureQtApplication();
    const QString t = QStringOfText(text);
    const QString c = QStringOfText(caption);
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
        // Nobody can answer a box here: say it on standard error and go on.
        std::fprintf(stderr, "%s: %s\n", c.toUtf8().constData(), t.toUtf8().constData());
        std::fflush(stderr);
        return;
    }
    auto show = [owner, t, c]() {
        QWidget* parent = IsLiveWindow(owner) ? static_cast<QWidget*>(owner->widget) : nullptr;
        // On the heap and watched: the box belongs to its owner's frame, which a
        // close during the loop may end (see DestroyMainWindow).
        QPointer<QMessageBox> box = new QMessageBox(QMessageBox::NoIcon, c, t, QMessageBox::Ok, parent);
        box->setObjectName(QStringLiteral("velkar-messagebox"));
        EnterModalLoop();
        box->exec();
        LeaveModalLoop();
        delete box.data();
    };
    // Widgets live on the user-interface thread; another thread waits there.
    if (QThread::currentThread() != qApp->thread())
        QMetaObject::invokeMethod(qApp, show, Qt::BlockingQueuedConnection);
    else
        show();
}

// ---- One instance per device root ------------------------------------------------

std::string InstanceServerName()
{
    std::error_code ec;
    std::filesystem::path root = std::filesystem::weakly_canonical(DeviceRoot(), ec);
    if (ec) root = DeviceRoot();
    QByteArray digest = QCryptographicHash::hash(QByteArray::fromStdString(root.string()), QCryptographicHash::Sha1)
                            .toHex()
                            .left(16);
    const std::string base = "velkar-" + std::to_string(getuid()) + "-" + digest.toStdString();
    const std::string folder = PrivateFolder();
    if (!folder.empty() && folder.size() + 1 + base.size() <= kMaxSocketPath) return folder + "/" + base;
    return "@" + base;
}

int RaiseRequestsReceived() { return raiseRequests; }

WindowHandle FindOtherInstance(const char16_t* className, const char16_t* title)
{
    EnsureQtApplication();
    const std::string name = InstanceServerName();
    {
        // A stale endpoint (nobody answers) or another user's never stops a start.
        QLocalSocket probe;
        if (ConnectToOwnEndpoint(probe, name)) {
            probe.disconnectFromServer();
            auto* other = new PlatformWindow;
            other->kind = PlatformWindow::OtherInstance;
            other->serverName = name;
            RegisterWindow(other);
            return other;
        }
    }
    // This is the first instance on this root: claim it for later starts.
    StartInstanceServer(name);
    return nullptr;
}

void BringToFront(WindowHandle window)
{
    if (!IsLiveWindow(window)) return;
    if (window->kind != PlatformWindow::OtherInstance) {
        if (QWidget* top = window->widget) {
            top->showNormal();
            top->raise();
            top->activateWindow();
        }
        return;
    }
    QLocalSocket socket;
    if (!ConnectToOwnEndpoint(socket, window->serverName)) return;
    VerboseLine("another start of the navigator runs on this device root: it is asked to come to the front, and this one ends");
    socket.write("raise\n");
    socket.flush();
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(1000);
}
