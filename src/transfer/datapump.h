#pragma once
// The block loop of a data connection, on a thread of its own: with one block
// in flight, every pass of an event loop between a block and its answer is
// time lost, so the loop answers or sends the next block the moment the
// network has it, in plain system calls. The owner (on its own thread) hands
// over a connected socket and an open file, watches the counters at its own
// pace and hears how the loop ended through a queued signal. Every wait is
// bounded and ends for stop(), so stopping (or destroying) the pump ends the
// thread promptly and joins it; no signal of a run comes after its stop().
#include "transfer/transferprotocol.h"

#include <QByteArray>
#include <QObject>

#include <atomic>
#include <thread>

namespace transfer {

class DataPump final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DataPump)
public:
    enum class Outcome {
        Done,        // every block answered (sending) or written and answered (receiving)
        PeerClosed,  // the partner closed or reset the connection first
        TimedOut,    // no answer to a block, no block, or no room to send, within the limit
        SocketError, // see the error number (Winsock numbering)
        FileError,   // the file could not be read (sending) or written (receiving)
    };
    Q_ENUM(Outcome)

    struct Limits {
        // For an answer, for the next block, and for room to send.
        int waitMs = kAnswerLimitMs;
        // A short last block is whole once nothing follows it for this long.
        int settleMs = 150;
    };

    explicit DataPump(QObject *parent = nullptr);
    ~DataPump() override;

    // The pump takes `socket` (a connected descriptor; closed when the run
    // ends, and made blocking) but only borrows `file`, which must stay open until finished() or
    // stop(). False when a run is still going.
    //
    // Sending: `size` bytes of `file`, from its current position, in blocks;
    // "con 810" sends a block again. Once all are answered, allAnswered() is
    // told and the pump waits (within the limit) for the partner to close.
    bool startSending(int socket, int file, qint64 size, Limits limits);
    // Receiving: blocks 0..`lastBlock` into `file`, each answered "con 800";
    // `received` are bytes that came before the hand-over.
    bool startReceiving(int socket, int file, qint64 lastBlock, const QByteArray &received, Limits limits);

    // "con 800" (true) or "con 810" that came some other way, for the block in
    // flight; the run sees it within a fraction of a second.
    void answer(bool ok);
    // Ends a run without a signal and joins its thread.
    void stop();

    bool running() const { return m_thread.joinable(); }
    // Blocks answered (sending) or written (receiving) in the current or last run.
    qint64 blocksDone() const { return m_blocksDone.load(std::memory_order_relaxed); }
    // Bytes read from the connection while receiving.
    qint64 bytesReceived() const { return m_bytesReceived.load(std::memory_order_relaxed); }
    // Size of the latest read that did not bring one block, or -1.
    qint64 lastOddRead() const { return m_lastOddRead.load(std::memory_order_relaxed); }

Q_SIGNALS:
    void allAnswered();
    // The run is over, its thread joined and its socket closed.
    void finished(transfer::DataPump::Outcome outcome, int errorNumber);

private:
    class Run;
    template <typename Body> bool launch(int socket, const Limits &limits, Body &&body);
    void post(quint64 run, Outcome outcome, int errorNumber);
    void postAllAnswered(quint64 run);
    void closeSocket();

    std::thread m_thread;
    // The running connection; closed here once the thread is joined.
    int m_socket = -1;
    std::atomic<bool> m_stopping{false};
    // 0 none, 1 "con 800", -1 "con 810".
    std::atomic<int> m_injectedAnswer{0};
    std::atomic<qint64> m_blocksDone{0};
    std::atomic<qint64> m_bytesReceived{0};
    std::atomic<qint64> m_lastOddRead{-1};
    // Counts runs, so a signal queued by a run that was since stopped is dropped.
    quint64 m_run = 0;
};

} // namespace transfer
