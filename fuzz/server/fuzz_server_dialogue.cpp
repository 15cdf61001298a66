// A server's messages, as the client's dialogue sees them. The first byte sets
// the shared flags; the rest is messages separated by NUL bytes.
#include "server/serverdialogue.h"
#include "shell/socket/cp932.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) return 0;
    server::DialogueFlags flags;
    flags.signingOff = data[0] & 1;
    flags.ipRequestActive = (data[0] >> 1) & 1;
    flags.profileRegistered = (data[0] >> 2) & 1;
    const server::DialogueFields fields{QStringLiteral("10.0.0.1"), QStringLiteral("n"), QStringLiteral("c")};
    cp932::Decoder decoder;
    const QByteArray rest(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    for (const QByteArray &piece : rest.split('\0')) {
        const QString message = decoder.decode(piece);
        const server::ServerReaction r = server::ServerDialogue::react(message, flags, fields);
        using Event = server::ServerReaction::Event;
        if (r.event == Event::UnknownMessage && (r.send || r.close || !r.text.contains(QLatin1Char('/'))))
            std::abort();
        if (r.event == Event::MemberEntry && (!r.send || *r.send != QStringLiteral("SRV 140"))) std::abort();
        if (r.close && r.send) std::abort();
        // The flags stay flags.
        if (flags.ipRequestActive > 1 || flags.profileRegistered > 1 || flags.quietClose > 1) std::abort();
    }
    return 0;
}
