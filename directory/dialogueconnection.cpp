#include "directory/dialogueconnection.h"

#include "directory/directoryserver.h"
#include "directory/requestparser.h"
#include "shell/socket/cp932.h"

#include <QTcpSocket>
#include <QTimer>

namespace directory {
namespace {
// Entries read from the database at a time: one query per this many answers, and
// this much held per listing connection.
constexpr int pageSize = 100;
} // namespace

DialogueConnection::DialogueConnection(QTcpSocket *socket, DirectoryServer &server, int idleTimeoutMs,
                                       int exchangeLimitMs)
    : QObject(&server), m_socket(socket), m_server(server), m_idle(new QTimer(this)),
      m_deadline(new QTimer(this))
{
    m_socket->setParent(this);
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket->setReadBufferSize(maxRequestBytes + 1);
    m_host = DirectoryServer::peerText(m_socket);
    m_idle->setSingleShot(true);
    m_idle->setInterval(idleTimeoutMs);
    connect(m_idle, &QTimer::timeout, this, [this] { drop(QStringLiteral("silent too long")); });
    // Every message restarts the silence limit, so a trickle of them would hold the
    // connection for ever; this one counts from the start and is never restarted.
    m_deadline->setSingleShot(true);
    m_deadline->setInterval(exchangeLimitMs);
    connect(m_deadline, &QTimer::timeout, this, [this] { drop(QStringLiteral("exchange took too long")); });
    connect(m_socket, &QIODevice::readyRead, this, &DialogueConnection::onReadyRead);
    connect(m_socket, &QAbstractSocket::disconnected, this, &QObject::deleteLater);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (m_socket->state() != QAbstractSocket::ConnectedState) deleteLater();
    });
    m_idle->start();
    m_deadline->start();
    send(QStringLiteral("SRV 099"));
}

DialogueConnection::~DialogueConnection() = default;

void DialogueConnection::onReadyRead()
{
    if (m_dropped) return;
    // Never hold more than one message's worth: the client may not send another before we answer.
    m_buffer += m_socket->read(maxRequestBytes + 1 - m_buffer.size());
    const Request request = parseRequest(m_buffer);
    if (request.status == Request::Incomplete) return;
    if (request.status == Request::Invalid)
        return drop(m_buffer.size() > maxRequestBytes ? QStringLiteral("message too long")
                                                      : QStringLiteral("not a message"));
    m_buffer.clear();
    m_idle->start();
    handle(request);
}

void DialogueConnection::handle(const Request &request)
{
    const auto unexpected = [&] {
        drop(QStringLiteral("unexpected %1").arg(QString::fromLatin1(request.head)));
    };
    switch (m_step) {
    case Step::Ready:
        switch (request.code) {
        case RequestCode::Begin:
            m_step = Step::WantAddress;
            return send(QStringLiteral("SRV 500"));
        case RequestCode::ListOnly:
            m_server.heardFrom(m_host);
            m_step = Step::Listing;
            m_cursor = 0;
            m_listed = 0;
            m_page.clear();
            return sendNextEntry();
        case RequestCode::OwnAddress:
            m_server.log(QStringLiteral("%1 asked for its address").arg(m_host));
            return send(QStringLiteral("SRV 710") + m_host);
        case RequestCode::SignOff: {
            QString address = DirectoryServer::usableAddress(request.payload);
            if (address.isEmpty()) address = m_host;
            if (dropUnless(m_server.signOff(address, m_host), address, "sign off")) return;
            // The client closes on the end of a list, so this lets its sign-off finish at once.
            return send(QStringLiteral("SRV 540"));
        }
        default:
            return unexpected();
        }
    case Step::WantAddress:
        if (request.code != RequestCode::Address) return unexpected();
        // An idle caption or a typo is not an address others could call; the connection's is.
        m_address = DirectoryServer::usableAddress(request.payload);
        if (m_address.isEmpty()) m_address = m_host;
        // Refused here already, so a stranger learns nothing from the steps that would follow.
        if (dropUnless(m_server.mayChange(m_address, m_host), m_address, "register over")) return;
        m_step = Step::WantName;
        return send(QStringLiteral("SRV 510"));
    case Step::WantName:
        if (request.code != RequestCode::Name) return unexpected();
        // A comma would split the entry at every client; keep the name in one field.
        m_name = request.payload;
        m_name.replace(QLatin1Char(','), QChar(0xFF0C));
        m_step = Step::WantComment;
        return send(QStringLiteral("SRV 520"));
    case Step::WantComment:
        if (request.code != RequestCode::Comment) return unexpected();
        // Checked again: the entry may have changed hands while this dialogue ran.
        if (dropUnless(m_server.storeMember(m_address, m_name, request.payload, m_host), m_address,
                       "register over"))
            return;
        m_step = Step::Listing;
        m_cursor = 0;
        m_listed = 0;
        m_page.clear();
        return sendNextEntry();
    case Step::Listing:
        if (request.code != RequestCode::Next) return unexpected();
        return sendNextEntry();
    }
}

void DialogueConnection::sendNextEntry()
{
    // A cursor on the list place rather than a copy: members coming and going meanwhile
    // are simply seen or not, and a thousand slow listers hold a page each, not the list.
    if (m_pageAt >= m_page.size()) {
        auto page = m_server.membersAfter(m_cursor, pageSize);
        if (!page) return drop(QStringLiteral("the database is unreachable"));
        m_page = std::move(*page);
        m_pageAt = 0;
    }
    if (m_page.isEmpty()) {
        m_step = Step::Ready;
        m_server.log(QStringLiteral("%1 listed %2 members").arg(m_host).arg(m_listed));
        return send(QStringLiteral("SRV 540"));
    }
    const Member &m = m_page[m_pageAt++];
    m_cursor = m.seq;
    ++m_listed;
    send(QStringLiteral("SRV 530") + DirectoryServer::entryText(m));
}

bool DialogueConnection::dropUnless(StoreResult r, const QString &address, const char *what)
{
    if (r == StoreResult::Done) return false;
    // Either way the client sees the same silent close as for any other failure.
    drop(r == StoreResult::Refused
             ? QStringLiteral("tried to %1 %2, which is not theirs").arg(QLatin1String(what), address)
             : QStringLiteral("could not %1 %2: the database is unreachable")
                   .arg(QLatin1String(what), address));
    return true;
}

void DialogueConnection::send(const QString &message)
{
    if (m_socket->state() == QAbstractSocket::ConnectedState) m_socket->write(cp932::encode(message));
}

void DialogueConnection::drop(const QString &why)
{
    if (m_dropped) return;
    m_dropped = true;
    m_server.log(QStringLiteral("%1 dropped: %2").arg(m_host, why));
    m_buffer.clear();
    m_idle->stop();
    m_deadline->stop();
    m_socket->abort();
    deleteLater();
}

} // namespace directory
