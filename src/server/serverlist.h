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

struct ServerListAddition;

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
    // The item for a new server as the file holds it, quoted when it has a comma.
    static QString itemFor(const QString &address, const QString &description);
    // Appends a server the user typed to the list file at `path`, after the
    // items there, in the same code page and line ends; the file is replaced
    // whole or left as it was. The address is checked first; an empty
    // description is the address itself. A server already listed (names
    // compared without case) is not added again.
    static ServerListAddition add(const QString &path, const QString &address, const QString &description);

    static inline const QString kDuplicate = QStringLiteral("このサーバはすでに一覧にあります");
    static inline const QString kBadDescription =
        QStringLiteral("説明に使えない文字が含まれています（「\"」、改行、Shift-JISにない文字）");
    static inline const QString kListTooBig = QStringLiteral("サーバの一覧が大きすぎるため、追加できません");
    static inline const QString kNotSaved =
        QStringLiteral("サーバの一覧（wezserv.dat）を保存できませんでした");
};

struct ServerListAddition {
    QString refusal;             // why nothing was added; empty once it was
    QList<ServerListItem> items; // the list as the file holds it now
    qsizetype index = -1;        // the new item's, or the one already naming that server
};

} // namespace server
