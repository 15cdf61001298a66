// Any bytes as a saved mail message: the reader must return three lines or
// nothing, never crash or hang.
#include "mail/mailmime.h"
#include "mail/mailtext.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray raw(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const auto fields = mailmime::readMessage(raw)) {
        if (mailmime::mailLines(*fields).size() != 3) __builtin_trap();
    }
    // The header and charset paths on their own, without MIME framing.
    mailtext::decodeHeader(raw.left(4096));
    mailtext::decodeCharset(raw.left(4096), "iso-2022-jp");
    return 0;
}
