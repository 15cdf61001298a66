// The receiver's reassembly under arbitrary cuts: the first bytes choose the
// offered last block and the read sizes, the rest is the stream. Every block
// but the last is whole, and the blocks put together are the stream's start.
#include "transfer/blockassembler.h"
#include "transfer/transferprotocol.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2) return 0;
    const qint64 lastBlock = qint64(data[0] % 8) - 1;
    const int maxCut = 1 + data[1] * 16;
    const QByteArray stream(reinterpret_cast<const char *>(data + 2), int(size - 2));

    transfer::BlockAssembler assembler(lastBlock);
    QByteArray out;
    qint64 blocks = 0;
    qsizetype at = 0;
    unsigned seed = data[1];
    while (at < stream.size()) {
        seed = seed * 1103515245u + 12345u;
        const qsizetype n = std::min<qsizetype>(stream.size() - at, 1 + qsizetype(seed % unsigned(maxCut)));
        for (const QByteArray &b : assembler.feed(stream.mid(at, n))) {
            if (b.size() != transfer::kBlockSize) std::abort();
            out += b;
            ++blocks;
        }
        at += n;
    }
    if (assembler.holdsPartOfLastBlock()) {
        out += assembler.finishLastBlock();
        ++blocks;
    }
    if (blocks > lastBlock + 1 || out != stream.left(out.size())) std::abort();
    if (assembler.complete() && out.size() + assembler.excessBytes() != stream.size()) std::abort();
    return 0;
}
