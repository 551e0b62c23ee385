#pragma once

// One running panel per program file: the first instance holds a lock file
// and listens on a local socket; a later start finds the lock taken and
// hands its message to the first instance instead.

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

namespace panel {

class SingleInstanceGuard : public QObject {
    Q_OBJECT
public:
    // The key is formed from the program's file path.
    explicit SingleInstanceGuard(const QString& programPath, QObject* parent = nullptr);
    ~SingleInstanceGuard() override;

    bool isRunning() const { return m_otherRunning; }
    // Sends `message` to the running instance; false when none answers in time.
    bool sendMessage(const QString& message, int timeoutMs);

    static QString keyFor(const QString& programPath);

signals:
    void messageReceived(const QString& message);

private:
    void onConnection();

    QString m_key;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
    bool m_otherRunning = false;
};

} // namespace panel
