#include "server/addressentry.h"

#include <QStringList>

namespace server {
namespace {

bool isPoint(QChar c)
{
    return c == QLatin1Char('.') || c == QChar(0xFF0E);
}

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool allDigits(const QString &s)
{
    return std::all_of(s.begin(), s.end(), isAsciiDigit);
}

bool isLabelChar(QChar c)
{
    return isAsciiDigit(c) || (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || c == QLatin1Char('-');
}

bool isIpv4(const QStringList &parts)
{
    if (parts.size() != 4) return false;
    return std::all_of(parts.begin(), parts.end(), [](const QString &p) {
        return !p.isEmpty() && p.size() <= 3 && allDigits(p) && p.toInt() <= 255;
    });
}

} // namespace

std::optional<DottedBoxes> spreadDotted(const std::array<QString, 4> &boxes, int index, const QString &edited)
{
    if (index < 0 || index > 3) return std::nullopt;
    QStringList parts;
    QString part;
    for (const QChar c : edited.trimmed()) {
        if (isPoint(c)) {
            parts << part;
            part.clear();
        } else {
            part += c;
        }
    }
    parts << part;
    for (const QString &p : std::as_const(parts))
        if (p.size() > 3 || !allDigits(p)) return std::nullopt;

    DottedBoxes result{boxes, index, false};
    const int first = parts.size() == 4 ? 0 : index;
    const int count = std::min<int>(int(parts.size()), 4 - first);
    for (int i = 0; i < count; ++i) {
        // An empty part is a point typed or pasted before nothing: its box keeps its text.
        if (i == 0 || !parts[i].isEmpty()) result.boxes[first + i] = parts[i];
    }
    result.focus = first + count - 1;
    result.select = count > 1 && parts[count - 1].isEmpty();
    return result;
}

CheckedServerAddress checkServerAddress(const QString &typed)
{
    CheckedServerAddress r{typed.trimmed(), {}};
    const QString &a = r.address;
    if (a.isEmpty()) {
        r.refusal = kAddressEmpty;
        return r;
    }
    if (a.size() > 253) {
        r.refusal = kAddressTooLong;
        return r;
    }
    if (!std::all_of(a.begin(), a.end(), [](QChar c) { return isLabelChar(c) || c == QLatin1Char('.'); })) {
        r.refusal = kAddressBadCharacter;
        return r;
    }
    QString name = a;
    if (name.endsWith(QLatin1Char('.'))) name.chop(1); // a fully qualified name may end in a point
    const QStringList labels = name.split(QLatin1Char('.'));
    // Digits and points only: meant as an IPv4 address, so it must be a whole one.
    if (std::all_of(a.begin(), a.end(), [](QChar c) { return isAsciiDigit(c) || c == QLatin1Char('.'); })) {
        if (!isIpv4(a.split(QLatin1Char('.')))) r.refusal = kAddressBadIpv4;
        return r;
    }
    for (const QString &label : labels) {
        if (label.isEmpty() || label.size() > 63 || label.startsWith(QLatin1Char('-')) ||
            label.endsWith(QLatin1Char('-'))) {
            r.refusal = kAddressBadForm;
            return r;
        }
    }
    return r;
}

} // namespace server
