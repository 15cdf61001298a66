#include "shell/textcap.h"

#include <algorithm>

namespace textcap {

namespace {
const QString kCrLf = QStringLiteral("\r\n");

// `at` moved back off the second half of a surrogate pair.
qsizetype characterStart(QStringView text, qsizetype at)
{
    return at > 0 && at < text.size() && text.at(at).isLowSurrogate() && text.at(at - 1).isHighSurrogate()
               ? at - 1
               : at;
}
} // namespace

QString clip(const QString &text, qsizetype max)
{
    if (text.size() <= max) return text;
    if (max < kCutMark.size()) return kCutMark.left(std::max<qsizetype>(max, 0));
    return text.left(characterStart(text, max - kCutMark.size())) + kCutMark;
}

qsizetype fittingLength(QStringView text, qsizetype max)
{
    if (text.size() <= max) return text.size();
    if (max < kCrLf.size()) return 0;
    // Ended lines keep their CR LF; separated ones lose the separator.
    if (text.endsWith(kCrLf)) {
        const qsizetype end = text.lastIndexOf(kCrLf, max - kCrLf.size());
        return end < 0 ? 0 : end + kCrLf.size();
    }
    return std::max<qsizetype>(text.lastIndexOf(kCrLf, max), 0);
}

void trimOldest(QString &text, qsizetype max)
{
    const qsizetype keep = fittingLength(text, max);
    if (keep == text.size()) return;
    const bool ended = text.endsWith(kCrLf);
    const qsizetype room = max - (ended ? kCrLf.size() : 0);
    if (keep > 0 || text.startsWith(kCrLf) || room <= 0) {
        text.truncate(keep);
        return;
    }
    // Only part of the newest line fits: it stays, cut, in the text's form.
    text = clip(text.left(room + 1), room) + (ended ? kCrLf : QString());
}

Dropped trimOldestPieces(QStringList &pieces, qsizetype &size, qsizetype max)
{
    Dropped out;
    // An empty piece at the end would hide whether the text ends with CR LF.
    while (pieces.size() > 1 && pieces.last().isEmpty())
        pieces.removeLast();
    if (size <= max || pieces.isEmpty()) return out;
    const bool ended = pieces.last().endsWith(kCrLf);
    const QString newest = pieces.first();
    // The last CR LF that fits decides, as fittingLength() finds it in the whole text.
    while (!pieces.isEmpty()) {
        QString &last = pieces.last();
        const qsizetype before = size - last.size();
        const qsizetype from =
            std::min(max - before - (ended ? kCrLf.size() : 0), last.size() - kCrLf.size());
        const qsizetype at = from < 0 || max < kCrLf.size() ? -1 : last.lastIndexOf(kCrLf, from);
        const qsizetype length = at < 0 ? -1 : at + (ended ? kCrLf.size() : 0);
        if (length >= 0 && before + length > 0) {
            out.text.prepend(QStringView(last).mid(length));
            last.truncate(length);
            if (last.isEmpty()) pieces.removeLast();
            size = before + length;
            return out;
        }
        out.text.prepend(last);
        pieces.removeLast();
        size = before;
    }
    // Not even the newest line fits: it stays, cut, unless it is empty.
    size = 0;
    const qsizetype room = max - (ended ? kCrLf.size() : 0);
    if (newest.startsWith(kCrLf) || room <= 0) return out;
    pieces.append(clip(newest.left(room + 1), room) + (ended ? kCrLf : QString()));
    size = pieces.first().size();
    out.whole = false;
    return out;
}

} // namespace textcap
