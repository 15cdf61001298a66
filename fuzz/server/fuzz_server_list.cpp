// A server list file ("wezserv.dat") of any content.
#include "server/serverlist.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<server::ServerListItem> items = server::ServerList::parse(bytes);
    for (const server::ServerListItem &i : items) {
        if (i.address.contains(QLatin1Char('/')) || i.item != i.address + QLatin1Char('/') + i.description)
            std::abort();
    }
    if (!items.isEmpty()) (void)server::ServerList::describe(items, items.first().address);
    return 0;
}
