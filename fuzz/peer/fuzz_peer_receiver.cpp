// Port 1200 input as a sequence of received chunks: each chunk is one length
// byte and that many bytes. Every queued message comes out in order, nothing
// of a complete chunk is lost or altered, and the queue stays within its bound.
#include "peer/peerreceiver.h"
#include "shell/socket/cp932.h"
#include "transfer/transferprotocol.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    peer::Receiver receiver;
    QByteArray fed;    // bytes of every chunk the receiver accepted
    QString delivered; // text of every message it handed out
    size_t at = 0;
    while (at < size) {
        const size_t length = std::min<size_t>(data[at], size - at - 1);
        const QByteArray chunk(reinterpret_cast<const char *>(data + at + 1), qsizetype(length));
        at += 1 + length;
        if (!receiver.feed(chunk)) std::abort(); // far below the bound: nothing may be dropped
        fed += chunk;
        // Dispatch every other chunk, so messages also wait in the queue.
        if (data[at - 1 - length] & 1) continue;
        while (const auto m = receiver.next()) {
            if (m->head.size() > 7 || (!m->payload.isEmpty() && m->head.size() != 7)) std::abort();
            if (m->kind != peer::Head::Unknown && peer::headKind(m->head) != m->kind) std::abort();
            if (m->kind == peer::Head::FileOffer) {
                if (const auto offer = transfer::parseOffer(m->payload)) {
                    if (offer->name.contains(QLatin1Char('/'))) std::abort();
                }
            }
            delivered += m->head + m->payload;
        }
    }
    while (const auto m = receiver.next())
        delivered += m->head + m->payload;
    if (!receiver.isEmpty()) std::abort();
    // A chunk that ends inside a double-byte character waits for its completion,
    // so only a whole input is comparable.
    if (!peer::endsInsideCharacter(fed) && delivered != cp932::decode(fed)) std::abort();
    return 0;
}
