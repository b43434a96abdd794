#include "GUI/App/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace {

// What a later start sends, and the running copy's answer once its window is up.
constexpr char activationMessage[] = "show\n";
constexpr char activationAnswer[] = "shown\n";
constexpr qint64 maxMessageLength = 64;
constexpr int connectTimeoutMs = 1000;
// A copy that is busy (a modal window, a long e-mail) answers late; it runs all the same.
constexpr int answerTimeoutMs = 5000;

} // namespace

TSingleInstance::TSingleInstance(QString serverName, QObject* parent) : QObject(parent), name_(std::move(serverName)) {}

QString TSingleInstance::DefaultServerName() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString folder = runtime.isEmpty() ? QDir::tempPath() : runtime;
    return folder + QStringLiteral("/Tarrowin-%1.socket").arg(getuid());
}

bool TSingleInstance::FindRunningInstance() const {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(connectTimeoutMs))
        return false;
    socket.write(activationMessage);
    socket.waitForBytesWritten(connectTimeoutMs);
    // Waiting for the answer lets the running copy's window come up before this process ends.
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(answerTimeoutMs))
            break;
    return true;
}

bool TSingleInstance::Listen(std::function<void()> showApp) {
    showApp_ = std::move(showApp);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &TSingleInstance::AnswerNextStart);
    if (server_->listen(name_))
        return true;
    // Nobody answered FindRunningInstance on this name, so the file is left from a copy that died.
    if (server_->serverError() != QAbstractSocket::AddressInUseError || !QLocalServer::removeServer(name_))
        return false;
    return server_->listen(name_);
}

void TSingleInstance::AnswerNextStart() {
    QLocalSocket* socket = server_->nextPendingConnection();
    if (socket == nullptr)
        return;
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (!socket->canReadLine()) {
            if (socket->bytesAvailable() > maxMessageLength)
                socket->disconnectFromServer();
            return;
        }
        if (socket->readLine() == activationMessage) {
            showApp_();
            socket->write(activationAnswer);
        }
        socket->disconnectFromServer();
    });
}
