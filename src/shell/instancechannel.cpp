#include "shell/instancechannel.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QTimer>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A directory only this user can enter: the socket's only guard against other users.
bool isPrivateDir(const QString &path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

QString privateRuntimeDir()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateDir(runtime)) return runtime;
    // No session runtime directory (a bare container, a cron job): one of our own under the temp folder.
    const QString own = QDir::tempPath() + QStringLiteral("/wez-runtime-") + QString::number(::getuid());
    ::mkdir(QFile::encodeName(own).constData(), 0700);
    return isPrivateDir(own) ? own : QString();
}

// The connecting process runs as this user (a socket file's mode is not honoured everywhere).
bool sameUser(QLocalSocket *socket)
{
#ifdef SO_PEERCRED
    ucred cred{};
    socklen_t size = sizeof cred;
    return ::getsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &cred, &size) == 0 &&
           cred.uid == ::getuid();
#else
    Q_UNUSED(socket);
    return true;
#endif
}

} // namespace

InstanceChannel::InstanceChannel(const QString &dataDir, QObject *parent)
    : QObject(parent), m_dataDir(dataDir)
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &InstanceChannel::onNewConnection);
}

InstanceChannel::~InstanceChannel()
{
    close();
}

QString InstanceChannel::socketPath(const QString &dataDir)
{
    const QString dir = privateRuntimeDir();
    if (dir.isEmpty()) return {};
    const QString canonical = QDir(dataDir).canonicalPath();
    const QByteArray key = (canonical.isEmpty() ? QDir(dataDir).absolutePath() : canonical).toUtf8();
    const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24);
    return dir + QStringLiteral("/wez-") + QString::fromLatin1(hash) + QStringLiteral(".sock");
}

bool InstanceChannel::listen()
{
    if (m_server.isListening()) return true;
    // Named once the directory exists, so its canonical path is the one a second copy finds.
    m_path = socketPath(m_dataDir);
    if (m_path.isEmpty()) return false;
    if (m_server.listen(m_path)) return true;
    QLocalServer::removeServer(m_path);
    return m_server.listen(m_path);
}

void InstanceChannel::close()
{
    for (QLocalSocket *s : QSet<QLocalSocket *>(m_clients))
        drop(s);
    m_server.close();
}

bool InstanceChannel::requestRaise(const QString &dataDir)
{
    const QString path = socketPath(dataDir);
    if (path.isEmpty()) return false;
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kSendWaitMs)) return false;
    socket.write(kRaiseLine);
    if (!socket.waitForBytesWritten(kSendWaitMs)) return false;
    socket.disconnectFromServer();
    return true;
}

void InstanceChannel::onNewConnection()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        if (m_clients.size() >= kMaxConnections || !sameUser(socket)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_clients.insert(socket);
        // Never more than the line in memory, whatever the sender pushes.
        socket->setReadBufferSize(kRaiseLine.size());
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { drop(socket); });
        QTimer::singleShot(kDeadlineMs, socket, [this, socket] { drop(socket); });
        if (socket->bytesAvailable() > 0) onReadyRead(socket);
    }
}

void InstanceChannel::onReadyRead(QLocalSocket *socket)
{
    if (!m_clients.contains(socket)) return;
    QByteArray got = socket->property("wezLine").toByteArray();
    got += socket->read(kRaiseLine.size() - got.size());
    if (!kRaiseLine.startsWith(got)) {
        drop(socket);
        return;
    }
    if (got.size() < kRaiseLine.size()) {
        socket->setProperty("wezLine", got);
        return;
    }
    drop(socket);
    Q_EMIT raiseRequested();
}

void InstanceChannel::drop(QLocalSocket *socket)
{
    if (!m_clients.remove(socket)) return;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}
