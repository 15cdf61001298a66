#pragma once
// A TCP endpoint with numbered states (0 closed ... 9 error), the methods and
// the events every conversation of the client is written against.
#include "shell/socket/cp932.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>

class QTcpServer;
class QTcpSocket;

class Endpoint final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Endpoint)
public:
    enum State {
        Closed = 0,
        Open = 1,
        Listening = 2,
        ConnectionPending = 3,
        ResolvingHost = 4,
        HostResolved = 5,
        Connecting = 6,
        Connected = 7,
        PeerClosing = 8,
        Error = 9,
    };

    // `name` becomes the objectName ("Winsock1" ...); `bindAddress` is the local
    // address of every listen and connect (null: any).
    Endpoint(const QString &name, const QHostAddress &bindAddress, QObject *parent = nullptr);
    ~Endpoint() override;

    int state() const { return m_state; }
    static QString stateText(int state);

    void setLocalPort(quint16 port) { m_localPort = port; }
    quint16 localPort() const { return m_localPort; }
    QString remoteHostIP() const;
    QHostAddress bindAddress() const { return m_bindAddress; }

    // Starts a connection and returns at once; state 7 and connected() follow, or state 9 and error().
    void connectToHost(const QString &host, quint16 port);
    // Listens on localPort(). False when the port cannot be taken (see lastErrorNumber()).
    bool listen();
    // Takes over a request announced by connectionRequest(); the endpoint should be closed first.
    void accept(qintptr requestId);
    // A string goes out as code page 932 bytes, a byte array unchanged; nothing is added.
    void sendData(const QString &text);
    void sendData(const QByteArray &bytes);
    // Everything received so far, through this connection's decoder.
    QString getData();
    QByteArray getBytes();
    qint64 bytesAvailable() const { return m_inbox.size(); }
    void close();
    // Hands a connected socket over to code that drives it itself (a worker
    // thread): returns a descriptor of its own for the connection, with what
    // had arrived but was not yet read in `received`, and leaves the endpoint
    // closed without touching the connection. -1 when not connected.
    int takeConnection(QByteArray &received);

    int lastErrorNumber() const { return m_lastErrorNumber; }
    QString lastErrorDescription() const { return m_lastErrorDescription; }

    // Winsock numbering, so messages read as users of the protocol expect.
    static int errorNumber(int qtSocketError);
    static QString errorDescription(int number);

Q_SIGNALS:
    void connectionRequest(qintptr requestId);
    void dataArrival(qint64 bytesTotal);
    // The same news told at once, inside the network's own notification, for
    // a caller with one message in flight: there every pass of the event loop
    // between a message and its answer is time lost. A handler that takes the
    // bytes leaves the later dataArrival silent. Bytes that came with an
    // accepted request or with the close are told by dataArrival only.
    void dataArrivalNow(qint64 bytesTotal);
    void connected();
    void closed();
    void sendComplete();
    void error(int number, const QString &description);
    void stateChanged(int state);

private:
    void setState(int state);
    void adopt(QTcpSocket *socket);
    void releaseSocket();
    void onNewConnection();
    void onReadyRead();
    void onSocketError(int qtError);
    void fail(int number);
    template <typename F> void post(F &&event);

    QHostAddress m_bindAddress;
    quint16 m_localPort = 0;
    int m_state = Closed;
    quint64 m_generation = 0;
    qintptr m_nextRequestId = 1;
    QTcpServer *m_server = nullptr;
    QTcpSocket *m_socket = nullptr;
    QHash<qintptr, QPointer<QTcpSocket>> m_pending;
    QByteArray m_inbox;
    cp932::Decoder m_decoder;
    int m_lastErrorNumber = 0;
    QString m_lastErrorDescription;
};
