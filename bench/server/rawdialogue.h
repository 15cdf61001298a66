#pragma once
// The directory dialogue spoken over a blocking socket, with no event loop and
// no widgets: the reference the directory benchmarks measure against, and the
// way they fill a directory.
#include "shell/socket/cp932.h"

#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace bench {

// One blocking connection to the directory: each read is one server message,
// as the dialogue alternates strictly.
class Blocking {
public:
    Blocking(quint32 from, quint32 to)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const int one = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(from);
        sockaddr_in remote{};
        remote.sin_family = AF_INET;
        remote.sin_port = htons(1203);
        remote.sin_addr.s_addr = htonl(to);
        m_ok = ::bind(m_fd, reinterpret_cast<sockaddr *>(&local), sizeof local) == 0 &&
               ::connect(m_fd, reinterpret_cast<sockaddr *>(&remote), sizeof remote) == 0;
    }
    ~Blocking() { ::close(m_fd); }
    Blocking(const Blocking &) = delete;
    Blocking &operator=(const Blocking &) = delete;
    bool ok() const { return m_ok; }
    bool send(const QString &message)
    {
        const QByteArray bytes = cp932::encode(message);
        return m_ok && ::send(m_fd, bytes.constData(), size_t(bytes.size()), 0) == bytes.size();
    }
    // The code of the next message, empty when the connection ended.
    QByteArray next()
    {
        char buffer[4096];
        const ssize_t n = m_ok ? ::recv(m_fd, buffer, sizeof buffer, 0) : -1;
        return n > 0 ? QByteArray(buffer, int(std::min<ssize_t>(n, 7))) : QByteArray();
    }
    bool expect(const char *code) { return next() == code; }

private:
    int m_fd = -1;
    bool m_ok = false;
};

// Reads the list that follows `request` to its end; the number of entries, or -1.
// Without `whole`, stops after the first entry.
inline int readList(Blocking &b, const QString &request, bool whole = true)
{
    if (!b.send(request)) return -1;
    int count = 0;
    for (;;) {
        const QByteArray code = b.next();
        if (code == "SRV 540") return count;
        if (code != "SRV 530") return -1;
        ++count;
        if (!whole) return count;
        if (!b.send(QStringLiteral("SRV 140"))) return -1;
    }
}

// Registers as the client's dialogue does; with `list`, reads the whole list.
// The number of members listed, or -1.
inline int registerRaw(quint32 from, quint32 server, const QString &address, const QString &name,
                       const QString &comment, bool list)
{
    Blocking b(from, server);
    if (!b.ok() || !b.expect("SRV 099") || !b.send(QStringLiteral("SRV 100")) || !b.expect("SRV 500") ||
        !b.send(QStringLiteral("SRV 110") + address) || !b.expect("SRV 510") ||
        !b.send(QStringLiteral("SRV 120○") + name) || !b.expect("SRV 520"))
        return -1;
    return readList(b, QStringLiteral("SRV 130") + comment, list);
}

// The list alone, from `from`; the number of entries, or -1.
inline int listRaw(quint32 from, quint32 server)
{
    Blocking b(from, server);
    return b.ok() && b.expect("SRV 099") ? readList(b, QStringLiteral("SRV 135")) : -1;
}

} // namespace bench
