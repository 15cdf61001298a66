// The personal settings reader, and its writer reading back what it wrote.
#include "shell/settingsfiles.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const PersonalReadResult r = settingsfiles::readPersonal(bytes);
    if (r.complete()) {
        const PersonalReadResult again = settingsfiles::readPersonal(settingsfiles::writePersonal(r.values));
        if (!again.complete() || again.values.positions[4].top != r.values.positions[4].top) std::abort();
    }
    return 0;
}
