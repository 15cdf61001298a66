#pragma once
// The running copy's door for a second copy on the same data directory: a
// local socket in the user's private runtime directory, named after the data
// directory's canonical path. The second copy says one fixed line and leaves;
// the first brings its window to the front. Only the same user may connect,
// and anything but that line is dropped: reads are bounded, each connection
// has a deadline and only a few may be open at once.
#include <QByteArray>
#include <QLocalServer>
#include <QObject>
#include <QSet>
#include <QString>

class QLocalSocket;

class InstanceChannel final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InstanceChannel)
public:
    static constexpr int kMaxConnections = 8;
    static constexpr int kDeadlineMs = 2000;
    // How long the second copy waits for the first to take its line.
    static constexpr int kSendWaitMs = 2000;
    inline static const QByteArray kRaiseLine = QByteArrayLiteral("wez raise 1\n");

    explicit InstanceChannel(const QString &dataDir, QObject *parent = nullptr);
    ~InstanceChannel() override;

    // Where the socket of `dataDir` lives; empty when there is no private place for it.
    static QString socketPath(const QString &dataDir);
    // The first copy opens the door. Only the holder of the data directory's
    // lock may call this: a socket left by a copy that died is replaced.
    bool listen();
    void close();
    bool isListening() const { return m_server.isListening(); }
    int openConnections() const { return int(m_clients.size()); }
    // The second copy asks the running one to come to the front; false when nobody took it.
    static bool requestRaise(const QString &dataDir);

Q_SIGNALS:
    void raiseRequested();

private:
    void onNewConnection();
    void onReadyRead(QLocalSocket *socket);
    void drop(QLocalSocket *socket);

    QString m_dataDir;
    QString m_path;
    QLocalServer m_server;
    QSet<QLocalSocket *> m_clients;
};
