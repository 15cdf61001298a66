#include "transfer/datapump.h"

#include "transfer/blockassembler.h"

#include <QMetaObject>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <optional>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace transfer {

namespace {

using Clock = std::chrono::steady_clock;

// A read takes at most this much; a partner that sends faster only waits in the network.
constexpr int kReadChunk = 64 * 1024;
// The socket blocks, as the tightest loop does, but no call for longer than
// this: a wait looks at the stop flag and at answers that came another way
// this often. stop() also shuts the socket down, which ends a blocked call at once.
constexpr int kSliceMs = 50;

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

void makeBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

qint64 msLeft(Clock::time_point until)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
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
        makeBlocking(m_socket);
    }

    End send(int file, qint64 size);
    End receive(int file, qint64 lastBlock, const QByteArray &received);

private:
    // Some bytes into `buffer` (`got` > 0); `got` 0 when a slice passed, -1 when `until` did.
    Step receiveSome(char *buffer, size_t size, Clock::time_point until, ssize_t &got);
    void setTimeout(int option, qint64 ms, qint64 &current);
    Step sendAll(const char *data, qsizetype size);
    Step awaitAnswer(AnswerScanner &answers, int &answer);
    End awaitClose();
    Step writeBlock(int file, const char *data, qsizetype size);
    static End socketEnd(int error);

    Clock::time_point deadline(int ms) const { return Clock::now() + std::chrono::milliseconds(ms); }
    bool stopping() const { return m_pump.m_stopping.load(std::memory_order_acquire); }
    static End stopped() { return {Outcome::Done, 0, true}; }

    DataPump &m_pump;
    const quint64 m_run;
    int m_socket;
    Limits m_limits;
    qint64 m_receiveTimeout = -1;
    qint64 m_sendTimeout = -1;
};

DataPump::Run::End DataPump::Run::socketEnd(int error)
{
    if (error == ECONNRESET || error == EPIPE) return {Outcome::PeerClosed};
    return {Outcome::SocketError, winsockNumber(error)};
}

void DataPump::Run::setTimeout(int option, qint64 ms, qint64 &current)
{
    if (ms == current) return;
    current = ms;
    const timeval limit{time_t(ms / 1000), suseconds_t(ms % 1000 * 1000)};
    ::setsockopt(m_socket, SOL_SOCKET, option, &limit, sizeof limit);
}

DataPump::Run::Step DataPump::Run::receiveSome(char *buffer, size_t size, Clock::time_point until,
                                               ssize_t &got)
{
    got = 0;
    if (stopping()) return stopped();
    const qint64 left = msLeft(until);
    if (left <= 0) {
        got = -1;
        return {};
    }
    setTimeout(SO_RCVTIMEO, std::min<qint64>(left, kSliceMs), m_receiveTimeout);
    const ssize_t n = ::recv(m_socket, buffer, size, 0);
    if (n > 0) {
        got = n;
        return {};
    }
    if (stopping()) return stopped();
    if (n == 0) return End{Outcome::PeerClosed};
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return {};
    return socketEnd(errno);
}

DataPump::Run::Step DataPump::Run::sendAll(const char *data, qsizetype size)
{
    const auto until = deadline(m_limits.waitMs);
    while (size > 0) {
        if (stopping()) return stopped();
        const qint64 left = msLeft(until);
        if (left <= 0) return End{Outcome::TimedOut};
        setTimeout(SO_SNDTIMEO, std::min<qint64>(left, kSliceMs), m_sendTimeout);
        const ssize_t n = ::send(m_socket, data, size_t(size), MSG_NOSIGNAL);
        if (n > 0) {
            data += n, size -= n;
            continue;
        }
        if (stopping()) return stopped();
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
        return socketEnd(n < 0 ? errno : EPIPE);
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
        ssize_t got = 0;
        if (Step end = receiveSome(buffer, sizeof buffer, until, got)) return end;
        if (got < 0) return End{Outcome::TimedOut};
        if (got > 0) answers.feed(QByteArray::fromRawData(buffer, int(got)));
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
        ssize_t got = 0;
        if (Step end = receiveSome(scratch, sizeof scratch, until, got)) return end->stopped ? *end : End{};
        if (got < 0) return {};
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
    // The last block's size is not on the wire: it is whole once nothing more follows.
    auto until = [&] {
        return deadline(assembler.holdsPartOfLastBlock() ? m_limits.settleMs : m_limits.waitMs);
    };
    for (auto limit = until(); !assembler.complete();) {
        ssize_t got = 0;
        if (Step end = receiveSome(buffer.data(), buffer.size(), limit, got)) {
            if (end->outcome == Outcome::PeerClosed && assembler.holdsPartOfLastBlock()) return finishLast();
            return *end;
        }
        if (got < 0) return assembler.holdsPartOfLastBlock() ? finishLast() : End{Outcome::TimedOut};
        if (got == 0) continue;
        m_pump.m_bytesReceived.fetch_add(got, std::memory_order_relaxed);
        if (got != kBlockSize) m_pump.m_lastOddRead.store(got, std::memory_order_relaxed);
        if (Step end = take(buffer.data(), got)) return *end;
        limit = until();
    }
    return {};
}

// ------------------------------------------------------------------ the pump

DataPump::DataPump(QObject *parent) : QObject(parent) {}

DataPump::~DataPump()
{
    stop();
}

template <typename Body> bool DataPump::launch(int socket, const Limits &limits, Body &&body)
{
    if (running() || socket < 0) {
        if (socket >= 0) ::close(socket);
        return false;
    }
    ++m_run;
    m_socket = socket;
    m_stopping.store(false);
    m_injectedAnswer.store(0);
    m_blocksDone.store(0);
    m_bytesReceived.store(0);
    m_lastOddRead.store(-1);
    const quint64 run = m_run;
    m_thread = std::thread([this, run, socket, limits, body = std::forward<Body>(body)]() mutable {
        Run worker(*this, run, socket, limits);
        const Run::End end = body(worker);
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
            closeSocket();
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

void DataPump::closeSocket()
{
    if (m_socket >= 0) ::close(m_socket);
    m_socket = -1;
}

void DataPump::answer(bool ok)
{
    if (!running()) return;
    m_injectedAnswer.store(ok ? 1 : -1);
}

void DataPump::stop()
{
    // Whatever the run still queued is dropped.
    ++m_run;
    if (m_thread.joinable()) {
        m_stopping.store(true, std::memory_order_release);
        // The descriptor stays ours until the thread is joined, so this cannot touch another file.
        ::shutdown(m_socket, SHUT_RDWR);
        m_thread.join();
    }
    closeSocket();
}

} // namespace transfer
