#include "app/singleinstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

namespace vantora {

namespace {

QString socketName()
{
    return InstanceLock::userScopedName(SingleInstance::markerName());
}

const char kActivate[] = "activate\n";

} // namespace

SingleInstance::SingleInstance(QObject *parent) : QObject(parent)
{
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::acquire()
{
    if (!m_lock.tryAcquire(markerName()))
        return false;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // We own the lock, so a socket file left behind is stale.
    QLocalServer::removeServer(socketName());
    m_server->listen(socketName());
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    return true;
}

bool SingleInstance::activateRunningInstance()
{
    QLocalSocket socket;
    socket.connectToServer(socketName());
    if (!socket.waitForConnected(1000))
        return false;
    socket.write(kActivate);
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    return true;
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->readAll().contains("activate"))
                activateWindow();
        });
    }
}

void SingleInstance::activateWindow()
{
    if (m_window) {
        if (m_window->isMinimized())
            m_window->showNormal();
        m_window->raise();
        m_window->activateWindow();
    }
    Q_EMIT activationRequested();
}

} // namespace vantora
