// The address history reader: no empty entries, and a written history reads back the same.
#include "shell/settingsfiles.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList entries = settingsfiles::readHistory(bytes);
    for (const QString &e : entries)
        if (e.isEmpty()) std::abort();
    if (settingsfiles::readHistory(settingsfiles::writeHistory(entries)).size() > entries.size())
        std::abort();
    return 0;
}
