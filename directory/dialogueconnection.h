#pragma once
// One client's dialogue on the directory port: greet, then answer each message
// with exactly one message, so the client's strict alternation keeps them apart.
#include "directory/memberstore.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class QTcpSocket;
class QTimer;

namespace directory {

class DirectoryServer;
struct Request;

class DialogueConnection final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DialogueConnection)
public:
    // Takes ownership of `socket`; deletes itself when the connection ends: at the latest
    // `idleTimeoutMs` after the last message or `exchangeLimitMs` after it began.
    DialogueConnection(QTcpSocket *socket, DirectoryServer &server, int idleTimeoutMs, int exchangeLimitMs);
    ~DialogueConnection() override;

private:
    enum class Step { Ready, WantAddress, WantName, WantComment, Listing };

    void onReadyRead();
    void handle(const Request &request);
    void send(const QString &message);
    void sendNextEntry();
    void drop(const QString &why);
    // Drops the connection unless `r` is Done; true when it did.
    bool dropUnless(StoreResult r, const QString &address, const char *what);

    QTcpSocket *m_socket;
    DirectoryServer &m_server;
    QTimer *m_idle;
    QTimer *m_deadline;
    QString m_host;
    QByteArray m_buffer;
    Step m_step = Step::Ready;
    QString m_address;
    QString m_name;
    qint64 m_cursor = 0;
    QList<Member> m_page; // the next entries to send, read ahead from the database
    qsizetype m_pageAt = 0;
    int m_listed = 0;
    bool m_dropped = false;
};

} // namespace directory
