#pragma once
// Cuts the byte stream of a data connection back into the sender's blocks.
// TCP may split a block over several reads or (with a sender that does not
// wait) run blocks together; every block still comes out exactly once and in
// order. All blocks but the last are 1024 bytes; the last holds 1 to 1024
// bytes and its size is not on the wire, so a short last block is only
// complete when the caller, after a quiet moment, says so.
#include "transfer/transferprotocol.h"

#include <QByteArray>
#include <QList>

#include <algorithm>

namespace transfer {

class BlockAssembler final {
public:
    // `lastBlock` is the offered last block index; -1 is an empty file.
    explicit BlockAssembler(qint64 lastBlock = -1) : m_lastBlock(lastBlock) {}

    // Takes received bytes and returns the blocks they complete, in order.
    // Bytes beyond the offered file are dropped (see excessBytes()).
    QList<QByteArray> feed(const QByteArray &bytes);
    // The same without a copy of each block: `onBlock(data, size)` sees each
    // completed block in order, and may stop the rest by returning false.
    template <typename OnBlock> bool take(const char *data, qsizetype size, OnBlock &&onBlock);

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

template <typename OnBlock> bool BlockAssembler::take(const char *data, qsizetype size, OnBlock &&onBlock)
{
    while (size > 0) {
        if (complete()) {
            m_excess += size;
            return true;
        }
        if (m_pending.isEmpty() && size >= kBlockSize) {
            // A whole block in one piece goes on from where it lies.
            ++m_done;
            if (!onBlock(data, qsizetype(kBlockSize))) return false;
            data += kBlockSize, size -= kBlockSize;
            continue;
        }
        const qsizetype n = std::min<qsizetype>(kBlockSize - m_pending.size(), size);
        m_pending.append(data, n);
        data += n, size -= n;
        if (m_pending.size() == kBlockSize) {
            ++m_done;
            const bool go = onBlock(m_pending.constData(), m_pending.size());
            m_pending.resize(0); // keeps its room for the next block
            if (!go) return false;
        }
    }
    return true;
}

} // namespace transfer
