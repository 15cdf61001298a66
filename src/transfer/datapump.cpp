#include "transfer/datapump.h"

#include "transfer/blockassembler.h"

#include <QMetaObject>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace transfer {

namespace {

using Clock = std::chrono::steady_clock;

// A read takes at most this much; a partner that sends faster only waits in the network.
constexpr int kReadChunk = 64 * 1024;
// Without a wake-up pipe a wait looks at the stop flag this often.
constexpr int kStopCheckMs = 100;

int winsockNumber(int error)
{
    switch (error) {
    case ECONNREFUSED:
        return 10061;
    case ECONNRESET:
    case EPIPE:
        return 10054;
    case ETIMEDOUT:
        return 10060;
    case ENETDOWN:
    case ENETUNREACH:
        return 10050;
    case ENOBUFS:
    case ENOMEM:
        return 10055;
    default:
        return 10053;
    }
}

void makeNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

} // namespace

// One run on the pump's thread. A step returns nothing to carry on, or how the run ends.
class DataPump::Run final {
public:
    struct End {
        Outcome outcome = Outcome::Done;
        int error = 0;
        bool stopped = false;
    };
    using Step = std::optional<End>;

    Run(DataPump &pump, quint64 run, int socket, const Limits &limits)
        : m_pump(pump), m_run(run), m_socket(socket), m_limits(limits)
    {
        makeNonBlocking(m_socket);
    }

    End send(int file, qint64 size);
    End receive(int file, qint64 lastBlock, const QByteArray &received);

private:
    enum class Ready { Socket, Woken, Timeout };

    Step wait(short events, Clock::time_point deadline, Ready &ready);
    Step sendAll(const char *data, qsizetype size);
    Step awaitAnswer(AnswerScanner &answers, int &answer);
    End awaitClose();
    Step writeBlock(int file, const char *data, qsizetype size);
    static End socketEnd(int error);

    Clock::time_point deadline(int ms) const { return Clock::now() + std::chrono::milliseconds(ms); }
    bool stopping() const { return m_pump.m_stopping.load(std::memory_order_acquire); }

    DataPump &m_pump;
    const quint64 m_run;
    int m_socket;
    Limits m_limits;
};

DataPump::Run::End DataPump::Run::socketEnd(int error)
{
    if (error == ECONNRESET || error == EPIPE) return {Outcome::PeerClosed};
    return {Outcome::SocketError, winsockNumber(error)};
}

// Waits for `events` on the socket, a wake-up or the deadline.
DataPump::Run::Step DataPump::Run::wait(short events, Clock::time_point until, Ready &ready)
{
    const int wakeFd = m_pump.m_wakePipe[0];
    for (;;) {
        if (stopping()) return End{Outcome::Done, 0, true};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0) {
            ready = Ready::Timeout;
            return {};
        }
        pollfd fds[2] = {{m_socket, events, 0}, {wakeFd, POLLIN, 0}};
        const int timeout = wakeFd >= 0 ? int(left) : int(std::min<qint64>(left, kStopCheckMs));
        const int n = ::poll(fds, wakeFd >= 0 ? 2 : 1, timeout);
        if (n < 0 && errno != EINTR) return socketEnd(errno);
        if (n <= 0) continue;
        if (fds[1].revents) {
            char drain[64];
            while (::read(wakeFd, drain, sizeof drain) > 0) {
            }
            if (stopping()) return End{Outcome::Done, 0, true};
            ready = Ready::Woken;
            return {};
        }
        // An error or hang-up shows in the read or write that follows.
        ready = Ready::Socket;
        return {};
    }
}

DataPump::Run::Step DataPump::Run::sendAll(const char *data, qsizetype size)
{
    const auto until = deadline(m_limits.waitMs);
    while (size > 0) {
        const ssize_t n = ::send(m_socket, data, size_t(size), MSG_NOSIGNAL);
        if (n > 0) {
            data += n, size -= n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return socketEnd(errno);
        Ready ready;
        if (Step end = wait(POLLOUT, until, ready)) return end;
        if (ready == Ready::Timeout) return End{Outcome::TimedOut};
    }
    return {};
}

DataPump::Run::Step DataPump::Run::awaitAnswer(AnswerScanner &answers, int &answer)
{
    const auto until = deadline(m_limits.waitMs);
    char buffer[4096];
    for (;;) {
        switch (answers.next()) {
        case AnswerScanner::Answer::Ack:
            answer = 1;
            return {};
        case AnswerScanner::Answer::Again:
            answer = -1;
            return {};
        case AnswerScanner::Answer::None:
            break;
        }
        if (const int injected = m_pump.m_injectedAnswer.exchange(0)) {
            answer = injected;
            return {};
        }
        Ready ready;
        if (Step end = wait(POLLIN, until, ready)) return end;
        if (ready == Ready::Timeout) return End{Outcome::TimedOut};
        if (ready != Ready::Socket) continue;
        const ssize_t n = ::recv(m_socket, buffer, sizeof buffer, 0);
        if (n == 0) return End{Outcome::PeerClosed};
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            return socketEnd(errno);
        }
        answers.feed(QByteArray::fromRawData(buffer, int(n)));
    }
}

DataPump::Run::End DataPump::Run::send(int file, qint64 size)
{
    const qint64 last = lastBlockIndex(size);
    char block[kBlockSize];
    AnswerScanner answers;
    bool again = false;
    for (qint64 index = 0; index <= last;) {
        const int length = blockSize(size, index);
        if (!again) {
            for (int got = 0; got < length;) {
                const ssize_t n = ::read(file, block + got, size_t(length - got));
                if (n < 0 && errno == EINTR) continue;
                // The file shrank or cannot be read any more.
                if (n <= 0) return {Outcome::FileError, n < 0 ? errno : 0};
                got += int(n);
            }
        }
        // An answer that came some other way before this block is not its answer.
        m_pump.m_injectedAnswer.store(0);
        if (Step end = sendAll(block, length)) return *end;
        int answer = 0;
        if (Step end = awaitAnswer(answers, answer)) return *end;
        again = answer < 0;
        if (!again) m_pump.m_blocksDone.store(++index, std::memory_order_relaxed);
    }
    return awaitClose();
}

// The receiver hangs up once it has the file; that, or the limit, ends this side.
DataPump::Run::End DataPump::Run::awaitClose()
{
    m_pump.postAllAnswered(m_run);
    const auto until = deadline(m_limits.waitMs);
    char scratch[4096];
    for (;;) {
        Ready ready;
        if (Step end = wait(POLLIN, until, ready)) return end->stopped ? *end : End{};
        if (ready == Ready::Timeout) return {};
        if (ready != Ready::Socket) continue;
        const ssize_t n = ::recv(m_socket, scratch, sizeof scratch, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return {};
    }
}

DataPump::Run::Step DataPump::Run::writeBlock(int file, const char *data, qsizetype left)
{
    while (left > 0) {
        const ssize_t n = ::write(file, data, size_t(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return End{Outcome::FileError, n < 0 ? errno : ENOSPC};
        data += n, left -= n;
    }
    m_pump.m_blocksDone.fetch_add(1, std::memory_order_relaxed);
    static const QByteArray ack = kBlockAck;
    return sendAll(ack.constData(), ack.size());
}

DataPump::Run::End DataPump::Run::receive(int file, qint64 lastBlock, const QByteArray &received)
{
    BlockAssembler assembler(lastBlock);
    auto take = [&](const char *data, qsizetype size) -> Step {
        Step end;
        assembler.take(data, size, [&](const char *block, qsizetype length) {
            end = writeBlock(file, block, length);
            return !end;
        });
        return end;
    };
    auto finishLast = [&]() -> End {
        const QByteArray last = assembler.finishLastBlock();
        if (Step end = writeBlock(file, last.constData(), last.size()))
            // The partner that already left cannot take the answer; the file is whole all the same.
            return end->outcome == Outcome::FileError ? *end : End{};
        return {};
    };
    if (Step end = take(received.constData(), received.size())) return *end;
    std::vector<char> buffer(kReadChunk);
    while (!assembler.complete()) {
        const bool holdsLast = assembler.holdsPartOfLastBlock();
        Ready ready;
        if (Step end = wait(POLLIN, deadline(holdsLast ? m_limits.settleMs : m_limits.waitMs), ready))
            return *end;
        if (ready == Ready::Timeout) {
            // The last block's size is not on the wire: it is whole once nothing more follows.
            if (holdsLast) return finishLast();
            return {Outcome::TimedOut};
        }
        if (ready != Ready::Socket) continue;
        const ssize_t n = ::recv(m_socket, buffer.data(), buffer.size(), 0);
        if (n == 0) return holdsLast ? finishLast() : End{Outcome::PeerClosed};
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            return socketEnd(errno);
        }
        m_pump.m_bytesReceived.fetch_add(n, std::memory_order_relaxed);
        if (n != kBlockSize) m_pump.m_lastOddRead.store(n, std::memory_order_relaxed);
        if (Step end = take(buffer.data(), n)) return *end;
    }
    return {};
}

// ------------------------------------------------------------------ the pump

DataPump::DataPump(QObject *parent) : QObject(parent)
{
    if (::pipe(m_wakePipe) == 0) {
        for (const int fd : m_wakePipe) {
            makeNonBlocking(fd);
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    } else {
        m_wakePipe[0] = m_wakePipe[1] = -1;
    }
}

DataPump::~DataPump()
{
    stop();
    for (const int fd : m_wakePipe)
        if (fd >= 0) ::close(fd);
}

template <typename Body> bool DataPump::launch(int socket, const Limits &limits, Body &&body)
{
    if (running()) {
        if (socket >= 0) ::close(socket);
        return false;
    }
    ++m_run;
    m_stopping.store(false);
    m_injectedAnswer.store(0);
    m_blocksDone.store(0);
    m_bytesReceived.store(0);
    m_lastOddRead.store(-1);
    if (m_wakePipe[0] >= 0) {
        char drain[64];
        while (::read(m_wakePipe[0], drain, sizeof drain) > 0) {
        }
    }
    const quint64 run = m_run;
    m_thread = std::thread([this, run, socket, limits, body = std::forward<Body>(body)]() mutable {
        Run worker(*this, run, socket, limits);
        const Run::End end = body(worker);
        ::close(socket);
        if (!end.stopped) post(run, end.outcome, end.error);
    });
    return true;
}

bool DataPump::startSending(int socket, int file, qint64 size, Limits limits)
{
    return launch(socket, limits, [file, size](Run &run) { return run.send(file, size); });
}

bool DataPump::startReceiving(int socket, int file, qint64 lastBlock, const QByteArray &received,
                              Limits limits)
{
    return launch(socket, limits,
                  [file, lastBlock, received](Run &run) { return run.receive(file, lastBlock, received); });
}

void DataPump::post(quint64 run, Outcome outcome, int errorNumber)
{
    QMetaObject::invokeMethod(
        this,
        [this, run, outcome, errorNumber] {
            if (run != m_run) return;
            if (m_thread.joinable()) m_thread.join();
            Q_EMIT finished(outcome, errorNumber);
        },
        Qt::QueuedConnection);
}

void DataPump::postAllAnswered(quint64 run)
{
    QMetaObject::invokeMethod(
        this,
        [this, run] {
            if (run == m_run) Q_EMIT allAnswered();
        },
        Qt::QueuedConnection);
}

void DataPump::wake()
{
    if (m_wakePipe[1] < 0) return;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wakePipe[1], &byte, 1);
}

void DataPump::answer(bool ok)
{
    if (!running()) return;
    m_injectedAnswer.store(ok ? 1 : -1);
    wake();
}

void DataPump::stop()
{
    // Whatever the run still queued is dropped.
    ++m_run;
    if (!m_thread.joinable()) return;
    m_stopping.store(true, std::memory_order_release);
    wake();
    m_thread.join();
}

} // namespace transfer
