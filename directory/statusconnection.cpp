#include "directory/statusconnection.h"

#include "directory/directoryserver.h"
#include "directory/requestparser.h"

#include <QTcpSocket>
#include <QTimer>

namespace directory {
namespace {
// A notice is seven bytes; a little slack, then anything longer is not one.
constexpr qsizetype maxNoticeBytes = 64;
} // namespace

StatusConnection::StatusConnection(QTcpSocket *socket, DirectoryServer &server, int idleTimeoutMs)
    : QObject(&server), m_socket(socket), m_server(server), m_idle(new QTimer(this))
{
    m_socket->setParent(this);
    m_socket->setReadBufferSize(maxNoticeBytes + 1);
    m_host = DirectoryServer::peerText(m_socket);
    m_idle->setSingleShot(true);
    m_idle->setInterval(idleTimeoutMs);
    connect(m_idle, &QTimer::timeout, this, [this] { finish(true); });
    connect(m_socket, &QIODevice::readyRead, this, &StatusConnection::onReadyRead);
    connect(m_socket, &QAbstractSocket::disconnected, this, [this] { finish(true); });
    connect(m_socket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (m_socket->state() != QAbstractSocket::ConnectedState) finish(true);
    });
    m_idle->start();
}

StatusConnection::~StatusConnection() = default;

void StatusConnection::onReadyRead()
{
    if (m_done) return;
    m_buffer += m_socket->read(maxNoticeBytes + 1 - m_buffer.size());
    if (m_buffer.size() >= 7) finish(false);
}

void StatusConnection::finish(bool atClose)
{
    if (m_done) return;
    m_done = true;
    if (atClose && m_socket->bytesAvailable() > 0)
        m_buffer += m_socket->read(maxNoticeBytes + 1 - m_buffer.size());
    const Request r = m_buffer.size() <= maxNoticeBytes ? parseRequest(m_buffer) : Request{};
    if (r.status == Request::Complete && r.code == RequestCode::ChatStarted)
        m_server.setChatting(m_host, true);
    else if (r.status == Request::Complete && r.code == RequestCode::ChatEnded)
        m_server.setChatting(m_host, false);
    else if (!m_buffer.isEmpty())
        m_server.log(QStringLiteral("%1 sent a status notice we do not know").arg(m_host));
    m_idle->stop();
    // A gentle close: the client closes after its send and should not see a reset.
    m_socket->disconnectFromHost();
    deleteLater();
}

} // namespace directory
