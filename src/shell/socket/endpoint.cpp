#include "shell/socket/endpoint.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <unistd.h>

namespace {
// A closed connection still flushes what was sent; after this it is cut.
constexpr int kLingerMs = 5000;
// What a connection may hold unread. A handler that holds off reading (the
// whiteboard during a file transfer) makes the rest wait in the network, so a
// sender that does not stop slows down instead of filling our memory.
constexpr qint64 kInboxLimit = 1024 * 1024;
constexpr qint64 kSocketBuffer = 64 * 1024;
} // namespace

Endpoint::Endpoint(const QString &name, const QHostAddress &bindAddress, QObject *parent)
    : QObject(parent), m_bindAddress(bindAddress)
{
    setObjectName(name);
}

Endpoint::~Endpoint()
{
    close();
}

QString Endpoint::stateText(int state)
{
    static const char *const texts[] = {
        "閉じています",
        "開いています",
        "接続要求待ちです",
        "接続がペンディング状態です",
        "ホストの解決処理中です",
        "ホストの解決が完了しました",
        "接続処理中です",
        "接続が完了しました",
        "接続を閉じようとしています",
        "エラーです",
    };
    if (state < 0 || state > 9) return {};
    return QString::fromUtf8(texts[state]);
}

QString Endpoint::remoteHostIP() const
{
    if (!m_socket) return {};
    QHostAddress address = m_socket->peerAddress();
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : address.toString();
}

// Events reach the handlers through the event queue, so a handler that waits
// (a question on screen) still sees the next events of this endpoint. Events of
// a connection that has since been closed are dropped.
template <typename F> void Endpoint::post(F &&event)
{
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation, event = std::forward<F>(event)]() {
            if (generation == m_generation) event();
        },
        Qt::QueuedConnection);
}

void Endpoint::setState(int state)
{
    if (m_state == state) return;
    m_state = state;
    Q_EMIT stateChanged(state);
}

void Endpoint::connectToHost(const QString &host, quint16 port)
{
    close();
    ++m_generation;
    auto *socket = new QTcpSocket(this);
    if (!m_bindAddress.isNull() || m_localPort != 0) {
        const QHostAddress local = m_bindAddress.isNull() ? QHostAddress(QHostAddress::Any) : m_bindAddress;
        if (!socket->bind(local, m_localPort)) {
            delete socket;
            fail(errorNumber(QAbstractSocket::AddressInUseError));
            return;
        }
    }
    adopt(socket);
    setState(ResolvingHost);
    socket->connectToHost(host, port);
}

void Endpoint::adopt(QTcpSocket *socket)
{
    m_socket = socket;
    m_socket->setReadBufferSize(kSocketBuffer);
    m_inbox.clear();
    m_decoder.reset();
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(socket, &QAbstractSocket::stateChanged, this, [this](QAbstractSocket::SocketState s) {
        if (m_state == Error || m_state == PeerClosing) return;
        switch (s) {
        case QAbstractSocket::HostLookupState:
            setState(ResolvingHost);
            break;
        case QAbstractSocket::ConnectingState:
            setState(Connecting);
            break;
        case QAbstractSocket::ConnectedState:
            m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            setState(Connected);
            post([this] { Q_EMIT connected(); });
            break;
        default:
            break;
        }
    });
    connect(socket, &QIODevice::readyRead, this, [this] {
        onReadyRead();
        if (!m_inbox.isEmpty()) Q_EMIT dataArrivalNow(m_inbox.size());
    });
    connect(socket, &QAbstractSocket::disconnected, this, [this] {
        onReadyRead();
        if (m_state == Connected) {
            setState(PeerClosing);
            post([this] { Q_EMIT closed(); });
        }
    });
    connect(socket, &QAbstractSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError e) { onSocketError(int(e)); });
    connect(socket, &QIODevice::bytesWritten, this, [this](qint64) {
        if (m_socket && m_socket->bytesToWrite() == 0) post([this] { Q_EMIT sendComplete(); });
    });
}

void Endpoint::onReadyRead()
{
    if (!m_socket) return;
    const qint64 room = kInboxLimit - m_inbox.size();
    if (room <= 0) return;
    const QByteArray bytes = m_socket->read(room);
    if (bytes.isEmpty()) return;
    m_inbox += bytes;
    post([this] {
        if (!m_inbox.isEmpty()) Q_EMIT dataArrival(m_inbox.size());
    });
}

void Endpoint::onSocketError(int qtError)
{
    // A partner that goes away is a close, not an error, once connected.
    if (qtError == QAbstractSocket::RemoteHostClosedError && m_state == Connected) return;
    if (m_state == PeerClosing) return;
    fail(errorNumber(qtError));
}

void Endpoint::fail(int number)
{
    m_lastErrorNumber = number;
    m_lastErrorDescription = errorDescription(number);
    setState(Error);
    post([this, number] { Q_EMIT error(number, errorDescription(number)); });
}

bool Endpoint::listen()
{
    close();
    ++m_generation;
    m_server = new QTcpServer(this);
    const QHostAddress local = m_bindAddress.isNull() ? QHostAddress(QHostAddress::Any) : m_bindAddress;
    if (!m_server->listen(local, m_localPort)) {
        const int number = errorNumber(int(m_server->serverError()));
        delete m_server;
        m_server = nullptr;
        m_lastErrorNumber = number;
        m_lastErrorDescription = errorDescription(number);
        return false;
    }
    connect(m_server, &QTcpServer::newConnection, this, &Endpoint::onNewConnection);
    setState(Listening);
    return true;
}

void Endpoint::onNewConnection()
{
    while (m_server && m_server->hasPendingConnections()) {
        QTcpSocket *socket = m_server->nextPendingConnection();
        socket->setParent(this);
        const qintptr id = m_nextRequestId++;
        m_pending.insert(id, socket);
        const quint64 generation = m_generation;
        QMetaObject::invokeMethod(
            this,
            [this, id, generation] {
                if (generation == m_generation) Q_EMIT connectionRequest(id);
                // A request nobody accepted, or one that outlived its listener, is turned away.
                if (QPointer<QTcpSocket> left = m_pending.take(id)) left->abort(), left->deleteLater();
            },
            Qt::QueuedConnection);
    }
}

void Endpoint::accept(qintptr requestId)
{
    QPointer<QTcpSocket> socket = m_pending.take(requestId);
    if (!socket) return;
    close();
    ++m_generation;
    adopt(socket);
    if (socket->state() == QAbstractSocket::ConnectedState) {
        setState(Connected);
        // Bytes that came with the request are delivered as the first data event.
        if (socket->bytesAvailable() > 0) onReadyRead();
    } else {
        // The caller already gave up: the endpoint reads as a connection its partner closed.
        setState(PeerClosing);
        post([this] { Q_EMIT closed(); });
    }
}

void Endpoint::sendData(const QString &text)
{
    sendData(cp932::encode(text));
}

void Endpoint::sendData(const QByteArray &bytes)
{
    if (!m_socket || m_state != Connected || bytes.isEmpty()) return;
    m_socket->write(bytes);
    // Hand each message to the network now, so two sends stay two segments
    // instead of leaving together on the next event loop pass.
    m_socket->flush();
}

QString Endpoint::getData()
{
    return m_decoder.decode(getBytes());
}

QByteArray Endpoint::getBytes()
{
    QByteArray out;
    out.swap(m_inbox);
    // What waited for room comes in now.
    if (m_socket && m_socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &Endpoint::onReadyRead, Qt::QueuedConnection);
    return out;
}

void Endpoint::releaseSocket()
{
    if (!m_socket) return;
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    socket->disconnect(this);
    if (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() > 0) {
        // Let what was sent reach the partner, then let go.
        connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(kLingerMs, socket, [socket] { socket->abort(), socket->deleteLater(); });
        socket->disconnectFromHost();
    } else {
        socket->abort();
        socket->deleteLater();
    }
}

void Endpoint::close()
{
    ++m_generation;
    if (m_server) {
        m_server->close();
        m_server->deleteLater();
        m_server = nullptr;
    }
    releaseSocket();
    m_inbox.clear();
    setState(Closed);
}

int Endpoint::takeConnection(QByteArray &received)
{
    if (!m_socket || m_state != Connected) return -1;
    // A second descriptor keeps the connection open when the socket object lets go of its own.
    const int descriptor = ::dup(int(m_socket->socketDescriptor()));
    if (descriptor < 0) return -1;
    received = m_inbox + m_socket->readAll();
    m_inbox.clear();
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    close();
    return descriptor;
}

int Endpoint::errorNumber(int qtSocketError)
{
    switch (QAbstractSocket::SocketError(qtSocketError)) {
    case QAbstractSocket::ConnectionRefusedError:
        return 10061;
    case QAbstractSocket::RemoteHostClosedError:
        return 10054;
    case QAbstractSocket::HostNotFoundError:
        return 11001;
    case QAbstractSocket::SocketAccessError:
        return 10013;
    case QAbstractSocket::SocketResourceError:
        return 10055;
    case QAbstractSocket::SocketTimeoutError:
        return 10060;
    case QAbstractSocket::NetworkError:
        return 10050;
    case QAbstractSocket::AddressInUseError:
        return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError:
        return 10049;
    case QAbstractSocket::UnsupportedSocketOperationError:
        return 10045;
    default:
        return 10053;
    }
}

QString Endpoint::errorDescription(int number)
{
    switch (number) {
    case 10013:
        return QStringLiteral("アクセスが許可されていません");
    case 10045:
        return QStringLiteral("この操作はサポートされていません");
    case 10048:
        return QStringLiteral("アドレスは既に使用されています");
    case 10049:
        return QStringLiteral("このコンピュータでは使えないアドレスです");
    case 10050:
        return QStringLiteral("ネットワークが使えません");
    case 10053:
        return QStringLiteral("タイムアウトまたはその他の障害により接続が中断されました");
    case 10054:
        return QStringLiteral("接続が相手側からリセットされました");
    case 10055:
        return QStringLiteral("バッファ領域が不足しています");
    case 10060:
        return QStringLiteral("接続がタイムアウトしました。相手から応答がありません");
    case 10061:
        return QStringLiteral("接続が相手側から拒否されました");
    case 11001:
        return QStringLiteral("ホストが見つかりません");
    default:
        return QStringLiteral("不明なソケットエラーです");
    }
}
