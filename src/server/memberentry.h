#pragma once
// One line of the directory's member list:
//   entry = address "," name "," comment
// Only the first two commas separate, so a comment may hold commas.
#include <QString>
#include <QStringView>

namespace server {

struct MemberEntry {
    QString address; // empty when the entry has no comma: nobody to call
    QString name;
    QString comment;

    bool hasAddress() const { return !address.isEmpty(); }
    // The visible line of the member list.
    QString display() const { return name + QStringLiteral(" / ") + comment; }

    static MemberEntry split(QStringView entry);
};

} // namespace server
