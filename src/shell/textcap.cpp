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

} // namespace textcap
