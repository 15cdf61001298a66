#pragma once
// One chat-status notice: a client connects, sends "CCK 100" or "CCK 200" alone
// and goes away; the sender is known by the connection's address.
#include <QByteArray>
#include <QObject>
#include <QString>

class QTcpSocket;
class QTimer;

namespace directory {

class DirectoryServer;

class StatusConnection final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusConnection)
public:
    // Takes ownership of `socket`; deletes itself when done.
    StatusConnection(QTcpSocket *socket, DirectoryServer &server, int idleTimeoutMs);
    ~StatusConnection() override;

private:
    void onReadyRead();
    void finish(bool atClose);

    QTcpSocket *m_socket;
    DirectoryServer &m_server;
    QTimer *m_idle;
    QString m_host;
    QByteArray m_buffer;
    bool m_done = false;
};

} // namespace directory
