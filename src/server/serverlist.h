#pragma once
// The list of directory servers the user may choose from ("wezserv.dat").
//   file  = *(item (line-end / ","))
//   item  = [WSP] (DQUOTE *non-quote DQUOTE *junk / *non-separator)   ; trailing blanks dropped
//   entry = address "/" description      ; only the first "/" separates
// An item without "/" names no server and is skipped.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace server {

struct ServerListItem {
    QString item;        // as read
    QString address;     // before the first "/"
    QString description; // after it
};

class ServerList final {
public:
    // Bytes beyond this are not read: the list is a few lines, and a stray big file must not stall us.
    static constexpr qsizetype maxFileBytes = 1 << 20;

    // The items of a comma-separated field file, quotes stripped.
    static QStringList readFields(const QString &text);
    static QList<ServerListItem> parse(const QByteArray &bytes);
    // A missing or unreadable file is an empty list.
    static QList<ServerListItem> readFile(const QString &path);
    // The description of `serverAddress`, empty when the list does not name it (the last match wins).
    static QString describe(const QList<ServerListItem> &items, const QString &serverAddress);
};

} // namespace server
