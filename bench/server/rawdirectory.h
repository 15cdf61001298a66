#pragma once
// The reference directory: answers each message of the dialogue with the
// message the real server would send, from a thread per connection over
// blocking sockets, with no database and no event loop. Every list holds
// `listSize` copies of one entry, so a list costs only its round trips.
#include "shell/socket/cp932.h"

#include <QByteArray>
#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace bench {

class RawDirectory {
public:
    RawDirectory(quint32 address, const QString &entry) : m_entry("SRV 530" + cp932::encode(entry))
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const int one = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(1203);
        a.sin_addr.s_addr = htonl(address);
        m_ok = ::bind(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 && ::listen(m_fd, 1024) == 0;
        if (m_ok) m_acceptor = std::thread([this] { acceptLoop(); });
    }
    ~RawDirectory()
    {
        m_stopping = true;
        ::shutdown(m_fd, SHUT_RDWR);
        if (m_acceptor.joinable()) m_acceptor.join();
        ::close(m_fd);
        // Connections end with their clients, which are done by now.
        while (m_open > 0)
            std::this_thread::yield();
    }
    RawDirectory(const RawDirectory &) = delete;
    RawDirectory &operator=(const RawDirectory &) = delete;

    bool ok() const { return m_ok; }
    void setListSize(int n) { m_listSize = n; }

private:
    void acceptLoop()
    {
        while (!m_stopping) {
            const int c = ::accept(m_fd, nullptr, nullptr);
            if (c < 0) return;
            ++m_open;
            std::thread([this, c] {
                serve(c);
                ::close(c);
                --m_open;
            }).detach();
        }
    }
    void serve(int fd)
    {
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const auto say = [fd](const QByteArray &m) {
            return ::send(fd, m.constData(), size_t(m.size()), MSG_NOSIGNAL) == m.size();
        };
        int left = 0;
        char buffer[4096];
        if (!say("SRV 099")) return;
        for (;;) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n < 7) return;
            const QByteArray head(buffer, 7);
            QByteArray answer;
            if (head == "SRV 100")
                answer = "SRV 500";
            else if (head == "SRV 110")
                answer = "SRV 510";
            else if (head == "SRV 120")
                answer = "SRV 520";
            else if (head == "SRV 130" || head == "SRV 135" || head == "SRV 140") {
                if (head != "SRV 140") left = m_listSize;
                answer = left-- > 0 ? m_entry : QByteArray("SRV 540");
            } else
                return;
            if (!say(answer)) return;
        }
    }

    QByteArray m_entry;
    int m_fd = -1;
    bool m_ok = false;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_open{0};
    std::atomic<int> m_listSize{0};
    std::thread m_acceptor;
};

} // namespace bench
