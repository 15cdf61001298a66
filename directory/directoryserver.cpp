#include "directory/directoryserver.h"

#include "directory/dialogueconnection.h"
#include "directory/statusconnection.h"

#include <QDateTime>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace directory {
namespace {

// Chat marks are kept for people we do not list yet too; this bounds them.
constexpr qsizetype maxChatMarks = 100000;

// What one client needs at once: a dialogue and a chat notice.
constexpr int busyShare = 2;

qint64 now()
{
    return QDateTime::currentSecsSinceEpoch();
}

void toStderr(const QString &line)
{
    const QByteArray bytes = (QDateTime::currentDateTime().toString(Qt::ISODate) +
                              QStringLiteral(" wez-directory: ") + line + QLatin1Char('\n'))
                                 .toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

DirectoryServer::DirectoryServer(const ServerConfig &config, QObject *parent)
    : QObject(parent), m_config(config), m_log(toStderr)
{
}

DirectoryServer::~DirectoryServer()
{
    stop();
}

void DirectoryServer::setLogSink(std::function<void(const QString &)> sink)
{
    m_log = std::move(sink);
}

void DirectoryServer::log(const QString &line)
{
    if (m_log) m_log(line);
}

bool DirectoryServer::start(QString *error)
{
    stop();
    QString why;
    if (!m_store.open(m_config.database, &why)) {
        if (error)
            *error = QStringLiteral("cannot open the member database %1: %2").arg(m_config.database, why);
        return false;
    }
    const int expired = expireNow();
    if (expired > 0) log(QStringLiteral("%1 members expired while we were down").arg(expired));
    // A lower limit than the last run had, or a database from before there was one.
    const qsizetype trimmed = m_store.trim(m_config.maxMembersPerHost).value_or(QStringList()).size();
    noteWriteError();
    if (trimmed > 0) log(QStringLiteral("%1 members over the limit per address dropped").arg(trimmed));

    const auto listenOn = [&](quint16 port) -> QTcpServer * {
        auto *server = new QTcpServer(this);
        server->setMaxPendingConnections(128);
        // Qt's default backlog of 50 drops the handshakes of a crowd that
        // connects at once; those clients then wait out SYN retries.
        server->setListenBacklogSize(1024);
        if (!server->listen(m_config.bind, port)) {
            if (error)
                *error = QStringLiteral("cannot listen on %1 port %2: %3")
                             .arg(m_config.bind.toString())
                             .arg(port)
                             .arg(server->errorString());
            delete server;
            return nullptr;
        }
        return server;
    };
    m_dialogue = listenOn(m_config.dialoguePort);
    if (!m_dialogue) {
        stop();
        return false;
    }
    connect(m_dialogue, &QTcpServer::newConnection, this, &DirectoryServer::acceptDialogue);
    for (quint16 port : std::as_const(m_config.statusPorts)) {
        QTcpServer *s = listenOn(port);
        if (!s) {
            stop();
            return false;
        }
        connect(s, &QTcpServer::newConnection, this, [this, s] { acceptStatus(s); });
        m_status << s;
    }

    m_expiry = new QTimer(this);
    m_expiry->setInterval(int(std::clamp<qint64>(m_config.expireAfterSecs * 1000 / 10, 1000, 60000)));
    connect(m_expiry, &QTimer::timeout, this, [this] {
        const int n = expireNow();
        if (n > 0) log(QStringLiteral("%1 members expired").arg(n));
    });
    m_expiry->start();

    QStringList ports{QString::number(m_dialogue->serverPort())};
    for (const QTcpServer *s : std::as_const(m_status))
        ports << QString::number(s->serverPort());
    log(QStringLiteral("listening on %1 ports %2, %3 members, database %4")
            .arg(m_config.bind.toString(), ports.join(QLatin1Char(' ')))
            .arg(m_store.count().value_or(0))
            .arg(m_store.display()));
    return true;
}

void DirectoryServer::stop()
{
    delete m_expiry;
    m_expiry = nullptr;
    delete m_dialogue;
    m_dialogue = nullptr;
    qDeleteAll(m_status);
    m_status.clear();
    m_store.close();
    // Open connections go with us; their destructors close the sockets.
    const auto connections = findChildren<QObject *>(Qt::FindDirectChildrenOnly);
    for (QObject *c : connections) {
        if (qobject_cast<DialogueConnection *>(c) || qobject_cast<StatusConnection *>(c)) delete c;
    }
}

bool DirectoryServer::admit(QTcpSocket *socket)
{
    const QString host = peerText(socket);
    QString why;
    if (m_connections >= m_config.maxConnections)
        why = QStringLiteral("%1 connections open").arg(m_connections);
    else if (m_perHost.value(host) >= shareOfOneHost())
        why = QStringLiteral("%1 connections open from there").arg(m_perHost.value(host));
    if (why.isEmpty()) return true;
    log(QStringLiteral("%1 turned away: %2").arg(host, why));
    socket->abort();
    socket->deleteLater();
    return false;
}

int DirectoryServer::shareOfOneHost() const
{
    // Once half the room is taken, nobody gets more than one client's worth, so a few
    // addresses holding their full share cannot fill the rest.
    if (m_connections * 2 >= m_config.maxConnections) return std::min(m_config.maxPerHost, busyShare);
    return m_config.maxPerHost;
}

void DirectoryServer::adopt(QObject *connection, const QString &host)
{
    ++m_connections;
    ++m_perHost[host];
    connect(connection, &QObject::destroyed, this, [this, host] {
        --m_connections;
        if (--m_perHost[host] <= 0) m_perHost.remove(host);
    });
}

void DirectoryServer::acceptDialogue()
{
    while (QTcpSocket *socket = m_dialogue->nextPendingConnection()) {
        if (!admit(socket)) continue;
        const QString host = peerText(socket);
        adopt(new DialogueConnection(socket, *this, m_config.idleTimeoutMs, m_config.exchangeLimitMs), host);
    }
}

void DirectoryServer::acceptStatus(QTcpServer *server)
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        if (!admit(socket)) continue;
        const QString host = peerText(socket);
        adopt(new StatusConnection(socket, *this, m_config.idleTimeoutMs), host);
    }
}

QString DirectoryServer::chatMark()
{
    return QString::fromUtf8("（チャット中）");
}

QString DirectoryServer::entryText(const Member &m)
{
    return m.address + QLatin1Char(',') + m.name + QLatin1Char(',') + (m.chatting ? chatMark() : QString()) +
           m.comment;
}

StoreResult DirectoryServer::mayChange(const QString &address, const QString &host)
{
    const StoreResult r = m_store.mayChange(address, host);
    noteWriteError();
    return r;
}

StoreResult DirectoryServer::storeMember(const QString &address, const QString &name, const QString &comment,
                                         const QString &host)
{
    const MemberStore::Change c =
        m_store.put(address, name, comment, host, now(), m_config.maxMembersPerHost);
    noteWriteError();
    if (c.result != StoreResult::Done) return c.result;
    log(QStringLiteral("%1 %2 %3 as %4")
            .arg(host, c.existed ? QStringLiteral("re-registered") : QStringLiteral("registered"), address,
                 name));
    for (const QString &a : c.dropped) {
        log(QStringLiteral("%1 dropped %2 to stay within its limit").arg(host, a));
        Q_EMIT memberRemoved(a);
    }
    Q_EMIT memberStored(address);
    return c.result;
}

StoreResult DirectoryServer::signOff(const QString &address, const QString &host)
{
    const MemberStore::Change c = m_store.remove(address, host);
    noteWriteError();
    if (c.result != StoreResult::Done) return c.result;
    log(QStringLiteral("%1 signed off %2%3")
            .arg(host, address, c.existed ? QString() : QStringLiteral(" (not listed)")));
    if (c.existed) Q_EMIT memberRemoved(address);
    return c.result;
}

void DirectoryServer::heardFrom(const QString &host)
{
    m_store.touch(host, now());
    noteWriteError();
}

void DirectoryServer::setChatting(const QString &host, bool chatting)
{
    const bool stored =
        m_store.setChatting(host, chatting, now(), now() - m_config.expireAfterSecs, maxChatMarks);
    if (stored) heardFrom(host);
    noteWriteError();
    log(QStringLiteral("%1 %2%3").arg(host,
                                      chatting ? QStringLiteral("is chatting") : QStringLiteral("is free"),
                                      stored ? QString() : QStringLiteral(" (not stored)")));
    if (stored) Q_EMIT chatStatusChanged(host, chatting);
}

std::optional<QList<Member>> DirectoryServer::membersAfter(qint64 seq, int limit)
{
    auto page = m_store.page(seq, limit);
    noteWriteError();
    return page;
}

int DirectoryServer::expireNow()
{
    const std::optional<int> n = m_store.expire(now() - m_config.expireAfterSecs);
    noteWriteError();
    return n.value_or(-1);
}

void DirectoryServer::noteWriteError()
{
    const QString e = m_store.takeError();
    if (!e.isEmpty()) log(QStringLiteral("database: %1").arg(e));
}

QString DirectoryServer::usableAddress(const QString &announced)
{
    const QString text = announced.trimmed();
    QHostAddress a;
    if (text.isEmpty() || !a.setAddress(text)) return {};
    bool mapped = false;
    const quint32 v4 = a.toIPv4Address(&mapped);
    if (mapped) a = QHostAddress(v4);
    if (a.isNull() || a == QHostAddress(QHostAddress::AnyIPv4) || a == QHostAddress(QHostAddress::AnyIPv6) ||
        a == QHostAddress(QHostAddress::Broadcast) || a.isMulticast())
        return {};
    return a.toString();
}

QString DirectoryServer::peerText(const QTcpSocket *socket)
{
    QHostAddress a = socket->peerAddress();
    bool mapped = false;
    const quint32 v4 = a.toIPv4Address(&mapped);
    if (mapped) a = QHostAddress(v4);
    return a.toString();
}

} // namespace directory
