#include "server/serverlist.h"

#include "shell/socket/cp932.h"

#include <QFile>

namespace server {
namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}
bool isLineEnd(QChar c)
{
    return c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

} // namespace

QStringList ServerList::readFields(const QString &text)
{
    QStringList fields;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        while (i < n && isBlank(text.at(i)))
            ++i;
        QString field;
        if (i < n && text.at(i) == QLatin1Char('"')) {
            const qsizetype close = text.indexOf(QLatin1Char('"'), i + 1);
            const qsizetype end = close < 0 ? n : close;
            field = text.mid(i + 1, end - i - 1);
            i = close < 0 ? n : close + 1;
            // Whatever follows the closing quote up to the separator is not part of the item.
            while (i < n && text.at(i) != QLatin1Char(',') && !isLineEnd(text.at(i)))
                ++i;
        } else {
            const qsizetype start = i;
            while (i < n && text.at(i) != QLatin1Char(',') && !isLineEnd(text.at(i)))
                ++i;
            qsizetype end = i;
            while (end > start && isBlank(text.at(end - 1)))
                --end;
            field = text.mid(start, end - start);
        }
        fields << field;
        if (i < n) {
            // One separator: a comma, or a line end of CR LF, LF or CR.
            if (text.at(i) == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n')) ++i;
            ++i;
        }
    }
    return fields;
}

QList<ServerListItem> ServerList::parse(const QByteArray &bytes)
{
    QList<ServerListItem> items;
    const QStringList fields = readFields(cp932::decode(bytes.left(maxFileBytes)));
    for (const QString &f : fields) {
        const qsizetype slash = f.indexOf(QLatin1Char('/'));
        if (slash < 0) continue;
        items.append({f, f.left(slash), f.mid(slash + 1)});
    }
    return items;
}

QList<ServerListItem> ServerList::readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return parse(f.read(maxFileBytes));
}

QString ServerList::describe(const QList<ServerListItem> &items, const QString &serverAddress)
{
    QString description;
    for (const ServerListItem &i : items) {
        if (i.address == serverAddress) description = i.description;
    }
    return description;
}

} // namespace server
