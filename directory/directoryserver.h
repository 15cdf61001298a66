#pragma once
// The directory: listens for the member dialogue and the chat-status notices,
// keeps the members and answers every client without ever waiting on one.
#include "directory/memberstore.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>

#include <functional>

class QTcpServer;
class QTcpSocket;
class QTimer;

namespace directory {

struct ServerConfig {
    QHostAddress bind = QHostAddress(QHostAddress::AnyIPv4);
    QString database; // a SQLite file, "postgresql://..."; empty: members live in memory only
    quint16 dialoguePort = 1203;
    QList<quint16> statusPorts = {1204, 1206};
    int idleTimeoutMs = 30000;          // a connection that stays silent this long is dropped
    int exchangeLimitMs = 60000;        // however busy, a connection ends this long after it came
    qint64 expireAfterSecs = 24 * 3600; // members not heard from this long are dropped
    int maxConnections = 1000;          // beyond this, new connections are turned away
    int maxPerHost = 20;                // so one address cannot crowd out everyone else
    int maxMembersPerHost = 4;          // entries one address may keep listed
};

class DirectoryServer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DirectoryServer)
public:
    explicit DirectoryServer(const ServerConfig &config, QObject *parent = nullptr);
    ~DirectoryServer() override;

    bool start(QString *error);
    void stop();

    const ServerConfig &config() const { return m_config; }
    MemberStore &members() { return m_store; }
    int connectionCount() const { return m_connections; }

    // Log lines go to stderr unless a sink is set (an empty sink silences them).
    void setLogSink(std::function<void(const QString &)> sink);
    void log(const QString &line);

    // The shape of the list the clients see.
    static QString chatMark();
    static QString entryText(const Member &m);

    // Used by the connections. Only the host that registered an entry, or the host at its
    // address, may replace or remove it; storeMember and signOff refuse anyone else.
    // Unavailable: the database could not be reached, the request is not served.
    StoreResult mayChange(const QString &address, const QString &host);
    StoreResult storeMember(const QString &address, const QString &name, const QString &comment,
                            const QString &host);
    StoreResult signOff(const QString &address, const QString &host);
    void heardFrom(const QString &host);
    void setChatting(const QString &host, bool chatting);
    // Up to `limit` members after list place `seq`; nothing when the database is unreachable.
    std::optional<QList<Member>> membersAfter(qint64 seq, int limit);
    // Drops members that have been silent too long; returns how many (-1: database unreachable).
    int expireNow();

    // The announced address when it is a usable IP address, else empty.
    static QString usableAddress(const QString &announced);
    // The peer address of a socket as plain text (IPv4 without the mapped prefix).
    static QString peerText(const QTcpSocket *socket);

Q_SIGNALS:
    void memberStored(const QString &address);
    void memberRemoved(const QString &address);
    void chatStatusChanged(const QString &host, bool chatting);

private:
    void acceptDialogue();
    void acceptStatus(QTcpServer *server);
    bool admit(QTcpSocket *socket);
    int shareOfOneHost() const;
    void adopt(QObject *connection, const QString &host);
    void noteWriteError();

    ServerConfig m_config;
    MemberStore m_store;
    QTcpServer *m_dialogue = nullptr;
    QList<QTcpServer *> m_status;
    QTimer *m_expiry = nullptr;
    int m_connections = 0;
    QHash<QString, int> m_perHost;
    std::function<void(const QString &)> m_log;
    bool m_customLog = false;
};

} // namespace directory
