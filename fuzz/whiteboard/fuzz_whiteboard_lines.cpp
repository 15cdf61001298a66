// Whiteboard connection input: arbitrary reads through the line receiver, each
// line parsed and checked as a segment, and getToken walked over raw text.
#include "shell/socket/cp932.h"
#include "whiteboard/whiteboardline.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace whiteboard;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    LineReceiver receiver;
    cp932::Decoder decoder;
    // The first byte decides where the input is cut into reads.
    const qsizetype step = size ? qsizetype(data[0] % 64) + 1 : 1;
    for (qsizetype at = 0; at < bytes.size(); at += step) {
        const QStringList lines = receiver.feed(decoder.decode(bytes.mid(at, step)));
        for (const QString &line : lines) {
            if (line.size() > LineReceiver::kMaxLine || !line.endsWith(QLatin1Char('\n'))) std::abort();
            const ParsedLine p = parseLine(line);
            if (p.kind != ParsedLine::SegmentLine) continue;
            if (const auto s = makeSegment(p.x1, p.y1, p.x2, p.y2, p.color, p.width, nextMarker())) {
                if (s->color < 0 || s->color > 13 || s->width < 0 || s->width > 3 ||
                    !(std::fabs(s->x1) <= 32767.0f))
                    std::abort();
                // What we would send again reads back as the same segment.
                const ParsedLine again = parseLine(encodeSegmentLine(*s));
                if (again.kind != ParsedLine::SegmentLine || int(again.color) != s->color) std::abort();
            }
        }
        if (receiver.pending() > LineReceiver::kMaxLine) std::abort();
    }
    const QString text = cp932::decode(bytes);
    int i = 0;
    for (int k = 0; k < 8; ++k) {
        const int before = i;
        getToken(text, i);
        if (i <= before) std::abort();
    }
    return 0;
}
