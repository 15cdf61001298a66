// What a client sends to the directory, straight into the request parser.
#include "directory/requestparser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const directory::Request r = directory::parseRequest(bytes);
    if (r.status == directory::Request::Complete) {
        // A complete request has a whole head and never came from more than the bound.
        if (r.head.size() != 7 || bytes.size() > directory::maxRequestBytes || !bytes.startsWith(r.head))
            std::abort();
    }
    if (r.status != directory::Request::Complete && !r.payload.isEmpty()) std::abort();
    return 0;
}
