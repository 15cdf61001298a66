// An offer payload from the partner: parsed, and its name reduced to a plain
// file name that must never name anything outside the chosen folder.
#include "shell/socket/cp932.h"
#include "transfer/transferprotocol.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString payload = cp932::decode(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    if (auto offer = transfer::parseOffer(payload)) {
        if (offer->lastBlock < -1) std::abort();
    }
    const QString plain = transfer::plainFileName(payload);
    if (plain.isEmpty() || plain.size() > 200 || plain.contains(QLatin1Char('/')) ||
        plain.contains(QLatin1Char('\\')) || plain.startsWith(QLatin1Char('.')))
        std::abort();
    for (const QChar c : plain) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) std::abort();
    }
    transfer::AnswerScanner answers;
    answers.feed(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    while (answers.next() != transfer::AnswerScanner::Answer::None) {
    }
    return 0;
}
