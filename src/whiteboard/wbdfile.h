#pragma once
// Whiteboard files (".wbd"). Grammar, code page 932 text, no header or trailer:
//
//   file = *( x1 "," y1 "," x2 "," y2 "," color "," width "," marker CR LF )
//
// one line per stored segment in store order; numbers in plain decimal text;
// marker "nxt" in every line we write. Reading is field by field, as delimited
// input reads: a field ends at "," or at a line end, blanks before it are
// skipped, double quotes around it are dropped, a non-number reads as 0.
#include "whiteboard/segmentstore.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace whiteboard {

// Files past this size are not read: a full board is about 300 KB.
inline constexpr qint64 kMaxWbdBytes = 8 * 1024 * 1024;

struct WbdRecord {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0, color = 0, width = 0;
    QString marker;
};

struct WbdContent {
    QList<WbdRecord> records;
    // The input ran out in the middle of a record (a last line with fewer than seven fields).
    bool truncated = false;
};

// Bytes of the file that holds slots 0 .. count-1 of `store`.
QByteArray writeWbd(const SegmentStore &store);
WbdContent parseWbd(const QByteArray &bytes);
// The name a chosen file is saved under: ".wbd" is appended unless the name ends in exactly ".wbd".
QString wbdFileName(const QString &chosen);

} // namespace whiteboard
