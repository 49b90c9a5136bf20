// One instance per device root: a local socket that only the user can reach (a
// private folder, else the abstract namespace with the peer's user id checked);
// a later start asks the first to come to the front and ends.
#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/demo_root.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/qt/qt_app_parts.h"
#include "platform/qt/qt_handles.h"
#include "platform/qt/qt_internal.h"

namespace {

int raiseRequests = 0;
QLocalServer* instanceServer = nullptr;

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

void StopInstanceServer()
{
    delete instanceServer;
    instanceServer = nullptr;
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
