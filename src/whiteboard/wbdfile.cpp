#include "whiteboard/wbdfile.h"

#include "shell/socket/cp932.h"
#include "whiteboard/whiteboardline.h"

namespace whiteboard {

QByteArray writeWbd(const SegmentStore &store)
{
    QString text;
    const QChar comma = QLatin1Char(',');
    for (int i = 0; i < store.count(); ++i) {
        const Segment &s = store.at(i);
        text += formatNumber(s.x1) + comma + formatNumber(s.y1) + comma + formatNumber(s.x2) + comma +
                formatNumber(s.y2) + comma + QString::number(s.color) + comma + QString::number(s.width) +
                comma + s.marker + QLatin1String("\r\n");
    }
    return cp932::encode(text);
}

namespace {

bool isLineEnd(QChar c)
{
    return c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// One field from `pos`, which ends past the field's delimiter.
QString readField(const QString &text, qsizetype &pos)
{
    const qsizetype n = text.size();
    while (pos < n && isBlank(text[pos]))
        ++pos;
    QString value;
    if (pos < n && text[pos] == QLatin1Char('"')) {
        const qsizetype close = text.indexOf(QLatin1Char('"'), pos + 1);
        const qsizetype end = close < 0 ? n : close;
        value = text.mid(pos + 1, end - pos - 1);
        pos = close < 0 ? n : close + 1;
        while (pos < n && text[pos] != QLatin1Char(',') && !isLineEnd(text[pos]))
            ++pos;
    } else {
        const qsizetype start = pos;
        while (pos < n && text[pos] != QLatin1Char(',') && !isLineEnd(text[pos]))
            ++pos;
        qsizetype end = pos;
        while (end > start && isBlank(text[end - 1]))
            --end;
        value = text.mid(start, end - start);
    }
    if (pos < n) {
        if (text[pos] == QLatin1Char('\r')) {
            ++pos;
            if (pos < n && text[pos] == QLatin1Char('\n')) ++pos;
        } else {
            ++pos; // "," or LF
        }
    }
    return value;
}

bool onlyWhitespaceFrom(const QString &text, qsizetype pos)
{
    for (; pos < text.size(); ++pos)
        if (!isBlank(text[pos]) && !isLineEnd(text[pos])) return false;
    return true;
}

} // namespace

WbdContent parseWbd(const QByteArray &bytes)
{
    WbdContent content;
    const QString text = cp932::decode(bytes);
    qsizetype pos = 0;
    // Blank lines at the very end are not a record.
    while (!onlyWhitespaceFrom(text, pos)) {
        QString fields[7];
        for (QString &field : fields) {
            if (pos >= text.size()) {
                content.truncated = true;
                return content;
            }
            field = readField(text, pos);
        }
        WbdRecord r;
        r.x1 = leadingNumber(fields[0]);
        r.y1 = leadingNumber(fields[1]);
        r.x2 = leadingNumber(fields[2]);
        r.y2 = leadingNumber(fields[3]);
        r.color = leadingNumber(fields[4]);
        r.width = leadingNumber(fields[5]);
        r.marker = fields[6];
        content.records.append(r);
    }
    return content;
}

QString wbdFileName(const QString &chosen)
{
    if (chosen.endsWith(QLatin1String(".wbd"), Qt::CaseSensitive)) return chosen;
    return chosen + QLatin1String(".wbd");
}

} // namespace whiteboard
