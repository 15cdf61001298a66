#include "directory/noticesender.h"

#include "shell/socket/cp932.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace directory {
namespace {
constexpr int parallel = 16;
}

NoticeSender::NoticeSender(const QStringList &hosts, const QString &text, QObject *parent)
    : QObject(parent), m_queue(hosts), m_message(cp932::encode(QStringLiteral("SRM 100") + text))
{
}

void NoticeSender::start()
{
    QTimer::singleShot(0, this, &NoticeSender::launchMore);
}

void NoticeSender::launchMore()
{
    while (m_running < parallel && !m_queue.isEmpty())
        sendTo(m_queue.takeFirst());
    if (m_running == 0 && !m_finished) {
        m_finished = true;
        Q_EMIT finished();
    }
}

void NoticeSender::sendTo(const QString &host)
{
    ++m_running;
    auto *socket = new QTcpSocket(this);
    auto *limit = new QTimer(socket);
    auto finish = [this, socket, host](bool ok) {
        if (socket->property("done").toBool()) return;
        socket->setProperty("done", true);
        socket->abort();
        socket->deleteLater();
        done(host, ok);
    };
    limit->setSingleShot(true);
    connect(limit, &QTimer::timeout, this, [this, finish, host] {
        m_reasons.insert(host, QStringLiteral("no answer in time"));
        finish(false);
    });
    connect(socket, &QAbstractSocket::connected, this, [this, socket] {
        socket->write(m_message);
        socket->disconnectFromHost(); // after the bytes are out
    });
    connect(socket, &QAbstractSocket::disconnected, this,
            [finish, socket] { finish(socket->property("sent").toBool()); });
    connect(socket, &QIODevice::bytesWritten, this, [socket] {
        if (socket->bytesToWrite() == 0) socket->setProperty("sent", true);
    });
    connect(socket, &QAbstractSocket::errorOccurred, this,
            [this, finish, socket, host](QAbstractSocket::SocketError) {
                // A partner closing after reading the notice is still a delivery.
                const bool sent = socket->property("sent").toBool();
                if (!sent) m_reasons.insert(host, socket->errorString());
                finish(sent);
            });
    if (!m_bind.isNull()) socket->bind(m_bind, 0);
    limit->start(m_timeoutMs);
    socket->connectToHost(host, m_port);
}

void NoticeSender::done(const QString &host, bool ok)
{
    --m_running;
    if (ok)
        ++m_delivered;
    else
        m_failed << host;
    QTimer::singleShot(0, this, &NoticeSender::launchMore);
}

} // namespace directory
