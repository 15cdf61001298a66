#include "transfer/blockassembler.h"

#include "transfer/transferprotocol.h"

namespace transfer {

QList<QByteArray> BlockAssembler::feed(const QByteArray &bytes)
{
    QList<QByteArray> blocks;
    qsizetype at = 0;
    while (at < bytes.size()) {
        if (complete()) {
            m_excess += bytes.size() - at;
            break;
        }
        const qsizetype take = std::min<qsizetype>(kBlockSize - m_pending.size(), bytes.size() - at);
        m_pending.append(bytes.constData() + at, take);
        at += take;
        if (m_pending.size() == kBlockSize) {
            blocks.append(m_pending);
            m_pending.clear();
            ++m_done;
        }
    }
    return blocks;
}

QByteArray BlockAssembler::finishLastBlock()
{
    if (!expectingLast()) return {};
    QByteArray block;
    block.swap(m_pending);
    m_done = m_lastBlock + 1;
    return block;
}

} // namespace transfer
