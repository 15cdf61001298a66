// Whiteboard files: any bytes through the .wbd reader; what it reads and can
// draw is written again and must read back the same.
#include "shell/socket/cp932.h"
#include "whiteboard/wbdfile.h"
#include "whiteboard/whiteboardline.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace whiteboard;
    const WbdContent content = parseWbd(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    SegmentStore store;
    for (const WbdRecord &r : content.records) {
        // Markers with commas, quotes, control characters or outer blanks cannot be written back as
        // one field unchanged; keep them out of the round trip.
        const bool plain = std::all_of(r.marker.begin(), r.marker.end(), [](QChar c) {
            return c.unicode() >= 0x20 && c.unicode() != 0x7f && c != QLatin1Char(',') &&
                   c != QLatin1Char('"');
        });
        if (!plain || r.marker != r.marker.trimmed() || r.marker.isEmpty() || !cp932::representable(r.marker))
            continue;
        if (const auto s = makeSegment(r.x1, r.y1, r.x2, r.y2, r.color, r.width, r.marker))
            store.recordSegment(*s);
    }
    const QByteArray written = writeWbd(store);
    const WbdContent again = parseWbd(written);
    if (again.truncated || again.records.size() != store.count()) std::abort();
    for (int k = 0; k < store.count(); ++k)
        if (int(again.records[k].color) != store.at(k).color || again.records[k].marker != store.at(k).marker)
            std::abort();
    return 0;
}
