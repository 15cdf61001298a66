// A member list entry from the directory, split into its fields.
#include "server/memberentry.h"
#include "shell/socket/cp932.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString entry = cp932::decode(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    const server::MemberEntry e = server::MemberEntry::split(entry);
    if (e.hasAddress() && !entry.startsWith(e.address + QLatin1Char(','))) std::abort();
    if (e.address.contains(QLatin1Char(',')) || e.name.contains(QLatin1Char(','))) std::abort();
    if (!e.display().endsWith(e.comment)) std::abort();
    return 0;
}
