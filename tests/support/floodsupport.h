#pragma once
// Strangers flooding the network for the flood tests: plain blocking sockets run
// on a thread of their own, so the client under test keeps its event loop and
// the flood's buffers are not counted against the client's memory.
#include <QByteArray>
#include <QHostAddress>

#include <atomic>
#include <functional>
#include <thread>

namespace flood {

// Resident memory of this process in kB (VmRSS), 0 when unknown.
qint64 residentKb();
// The most this process has held resident in kB (VmHWM), 0 when unknown.
qint64 peakResidentKb();
// Starts the peak over from the present figure, where the system allows it.
void resetPeakResident();

// Random bytes from a fixed seed, so a failure repeats.
QByteArray noise(qsizetype size, quint32 seed);

// A connection from `from` to `to`:`port`; -1 when refused. Sends and receives
// give up after `timeoutMs`, so a stuck partner never hangs a test.
int openConnection(const QHostAddress &from, const QHostAddress &to, quint16 port, int timeoutMs = 20000);

struct FloodResult {
    int accepted = 0; // connections that were taken
    int refused = 0;  // connections turned away
    qint64 sent = 0;  // bytes the client took
};

// Runs `work` on its own thread; done() turns true when it returned.
class Background final {
public:
    explicit Background(std::function<void()> work);
    ~Background();
    bool done() const { return m_done.load(); }

private:
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

// Opens and closes `count` connections in a row.
void openAndClose(const QHostAddress &from, const QHostAddress &to, quint16 port, int count,
                  FloodResult &result);
// Sends `bytes` over one connection in pieces of at most 64 KiB, then closes it.
void sendAll(const QHostAddress &from, const QHostAddress &to, quint16 port, const QByteArray &bytes,
             FloodResult &result);

} // namespace flood
