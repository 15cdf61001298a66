#include "transfer/blockassembler.h"

namespace transfer {

QList<QByteArray> BlockAssembler::feed(const QByteArray &bytes)
{
    QList<QByteArray> blocks;
    take(bytes.constData(), bytes.size(), [&blocks](const char *data, qsizetype size) {
        blocks.append(QByteArray(data, size));
        return true;
    });
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
