#include "floodsupport.h"

#include <QFile>
#include <QRandomGenerator>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace flood {

namespace {
qint64 statusKb(const QByteArray &key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(key)) return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}
} // namespace

qint64 residentKb()
{
    return statusKb("VmRSS:");
}

qint64 peakResidentKb()
{
    return statusKb("VmHWM:");
}

void resetPeakResident()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly)) f.write("5");
}

QByteArray noise(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator rng(seed);
    rng.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / qsizetype(sizeof(quint32)));
    return bytes;
}

namespace {
sockaddr_in socketAddress(const QHostAddress &address, quint16 port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(address.toIPv4Address());
    return a;
}
} // namespace

int openConnection(const QHostAddress &from, const QHostAddress &to, quint16 port, int timeoutMs)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    const sockaddr_in local = socketAddress(from, 0);
    const sockaddr_in remote = socketAddress(to, port);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0 ||
        ::connect(fd, reinterpret_cast<const sockaddr *>(&remote), sizeof remote) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

Background::Background(std::function<void()> work)
    : m_thread([this, work = std::move(work)] {
          work();
          m_done.store(true);
      })
{
}

Background::~Background()
{
    m_thread.join();
}

void openAndClose(const QHostAddress &from, const QHostAddress &to, quint16 port, int count,
                  FloodResult &result)
{
    for (int i = 0; i < count; ++i) {
        const int fd = openConnection(from, to, port);
        if (fd < 0) {
            ++result.refused;
            continue;
        }
        ++result.accepted;
        ::close(fd);
    }
}

void sendAll(const QHostAddress &from, const QHostAddress &to, quint16 port, const QByteArray &bytes,
             FloodResult &result)
{
    const int fd = openConnection(from, to, port);
    if (fd < 0) {
        ++result.refused;
        return;
    }
    ++result.accepted;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + at,
                                 size_t(qMin<qsizetype>(65536, bytes.size() - at)), MSG_NOSIGNAL);
        if (n <= 0) break; // closed or reset by the client, or the time limit
        at += n;
    }
    result.sent = at;
    ::close(fd);
}

} // namespace flood
