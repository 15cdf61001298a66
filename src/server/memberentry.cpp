#include "server/memberentry.h"

namespace server {

MemberEntry MemberEntry::split(QStringView entry)
{
    MemberEntry e;
    const qsizetype first = entry.indexOf(QLatin1Char(','));
    // Without a comma the whole entry reads as the name, as the list has always shown it.
    const QStringView rest = first < 0 ? entry : entry.mid(first + 1);
    if (first >= 0) e.address = entry.left(first).toString();
    const qsizetype second = rest.indexOf(QLatin1Char(','));
    if (second < 0) {
        e.name = rest.toString();
    } else {
        e.name = rest.left(second).toString();
        e.comment = rest.mid(second + 1).toString();
    }
    return e;
}

} // namespace server
