#include "server/serverlist.h"

#include "server/addressentry.h"
#include "shell/settingsfiles.h"
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

QString ServerList::itemFor(const QString &address, const QString &description)
{
    const QString item = address + QLatin1Char('/') + description;
    return item.contains(QLatin1Char(',')) ? QLatin1Char('"') + item + QLatin1Char('"') : item;
}

ServerListAddition ServerList::add(const QString &path, const QString &address, const QString &description)
{
    ServerListAddition r;
    const settingsfiles::FileRead read = settingsfiles::readFile(path, maxFileBytes);
    if (read.status == settingsfiles::FileRead::TooBig) {
        r.refusal = kListTooBig;
        return r;
    }
    // A file that is there but cannot be read is not replaced by one without its items.
    if (read.status == settingsfiles::FileRead::Unreadable) {
        r.refusal = kNotSaved;
        return r;
    }
    r.items = parse(read.bytes);

    const CheckedServerAddress checked = checkServerAddress(address);
    if (!checked.refusal.isEmpty()) {
        r.refusal = checked.refusal;
        return r;
    }
    const QString text = description.trimmed().isEmpty() ? checked.address : description.trimmed();
    if (text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\r')) ||
        text.contains(QLatin1Char('\n')) || !cp932::representable(text)) {
        r.refusal = kBadDescription;
        return r;
    }
    for (qsizetype i = 0; i < r.items.size(); ++i) {
        if (r.items[i].address.compare(checked.address, Qt::CaseInsensitive) == 0) {
            r.refusal = kDuplicate;
            r.index = i;
            return r;
        }
    }

    QByteArray bytes = read.bytes;
    if (!bytes.isEmpty() && !bytes.endsWith('\n') && !bytes.endsWith('\r')) bytes += "\r\n";
    bytes += cp932::encode(itemFor(checked.address, text)) + "\r\n";
    if (bytes.size() > maxFileBytes) {
        r.refusal = kListTooBig;
        return r;
    }
    if (!settingsfiles::saveFile(path, bytes)) {
        r.refusal = kNotSaved;
        return r;
    }
    r.items = parse(bytes);
    r.index = r.items.size() - 1;
    return r;
}

} // namespace server
