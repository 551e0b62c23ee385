#include "panel/single_instance_guard.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>

namespace panel {

QString SingleInstanceGuard::keyFor(const QString& programPath) {
    const QByteArray hash =
        QCryptographicHash::hash(programPath.toUtf8(), QCryptographicHash::Sha1).toHex();
    return "headset-panel-" + QString::fromLatin1(hash.left(16));
}

SingleInstanceGuard::SingleInstanceGuard(const QString& programPath, QObject* parent)
    : QObject(parent), m_key(keyFor(programPath)),
      m_lock(std::make_unique<QLockFile>(QDir::temp().filePath(m_key + ".lock"))) {
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        m_otherRunning = true;
        return;
    }
    // A socket left by a crashed instance is ours now that we hold the lock.
    QLocalServer::removeServer(m_key);
    m_server.listen(m_key);
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstanceGuard::onConnection);
}

SingleInstanceGuard::~SingleInstanceGuard() {
    m_server.close();
    if (!m_otherRunning) m_lock->unlock();
}

bool SingleInstanceGuard::sendMessage(const QString& message, int timeoutMs) {
    if (!m_otherRunning) return false;
    QLocalSocket socket;
    socket.connectToServer(m_key);
    if (!socket.waitForConnected(timeoutMs)) return false;
    QByteArray bytes = message.toUtf8();
    bytes.append('\n');
    socket.write(bytes);
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
    socket.disconnectFromServer();
    return true;
}

void SingleInstanceGuard::onConnection() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine())
                emit messageReceived(QString::fromUtf8(socket->readLine()).chopped(1));
        });
    }
}

} // namespace panel
