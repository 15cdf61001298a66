#pragma once
// Cuts the byte stream of a data connection back into the sender's blocks.
// TCP may split a block over several reads or (with a sender that does not
// wait) run blocks together; every block still comes out exactly once and in
// order. All blocks but the last are 1024 bytes; the last holds 1 to 1024
// bytes and its size is not on the wire, so a short last block is only
// complete when the caller, after a quiet moment, says so.
#include <QByteArray>
#include <QList>

namespace transfer {

class BlockAssembler final {
public:
    // `lastBlock` is the offered last block index; -1 is an empty file.
    explicit BlockAssembler(qint64 lastBlock = -1) : m_lastBlock(lastBlock) {}

    // Takes received bytes and returns the blocks they complete, in order.
    // Bytes beyond the offered file are dropped (see excessBytes()).
    QList<QByteArray> feed(const QByteArray &bytes);

    // The expected block is the last one and part of it is held.
    bool holdsPartOfLastBlock() const { return expectingLast() && !m_pending.isEmpty(); }
    // Ends the file with the bytes held as the last block (empty if none are held).
    QByteArray finishLastBlock();

    qint64 blocksDone() const { return m_done; }
    qint64 blockCount() const { return m_lastBlock + 1; }
    bool complete() const { return m_done > m_lastBlock; }
    int pendingSize() const { return int(m_pending.size()); }
    qint64 excessBytes() const { return m_excess; }

private:
    bool expectingLast() const { return m_done == m_lastBlock; }

    qint64 m_lastBlock;
    qint64 m_done = 0;
    qint64 m_excess = 0;
    QByteArray m_pending;
};

} // namespace transfer
