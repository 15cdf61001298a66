#include "whiteboard/whiteboardline.h"

#include "whiteboard/whiteboardtables.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

namespace whiteboard {

QString formatNumber(double value, int digits)
{
    // Nothing unwritable gets this far (segments are checked on the way in); "0" keeps the line sane.
    if (!std::isfinite(value) || value == 0) return QStringLiteral("0");
    digits = std::clamp(digits, 1, 17);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", digits - 1, value);
    std::string s(buf);
    const bool negative = s.front() == '-';
    if (negative) s.erase(0, 1);
    const auto e = s.find('e');
    const int exponent = std::atoi(s.c_str() + e + 1);
    std::string mantissa;
    for (std::size_t k = 0; k < e; ++k)
        if (s[k] != '.') mantissa += s[k];
    while (mantissa.size() > 1 && mantissa.back() == '0')
        mantissa.pop_back();

    std::string out;
    if (exponent >= digits || exponent < -4) {
        out = mantissa.substr(0, 1);
        if (mantissa.size() > 1) out += '.' + mantissa.substr(1);
        const int magnitude = std::abs(exponent);
        out += exponent < 0 ? "E-" : "E+";
        if (magnitude < 10) out += '0';
        out += std::to_string(magnitude);
    } else if (exponent >= 0) {
        const std::size_t whole = std::size_t(exponent) + 1;
        if (mantissa.size() <= whole) {
            out = mantissa + std::string(whole - mantissa.size(), '0');
        } else {
            out = mantissa.substr(0, whole) + '.' + mantissa.substr(whole);
        }
    } else {
        out = "0." + std::string(std::size_t(-exponent - 1), '0') + mantissa;
    }
    if (negative) out.insert(out.begin(), '-');
    return QString::fromLatin1(out.data(), qsizetype(out.size()));
}

namespace {
bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}
} // namespace

double leadingNumber(QStringView text)
{
    qsizetype p = 0;
    const qsizetype n = text.size();
    while (p < n && (text[p] == QLatin1Char(' ') || text[p] == QLatin1Char('\t')))
        ++p;
    std::string number;
    if (p < n && (text[p] == QLatin1Char('+') || text[p] == QLatin1Char('-'))) {
        if (text[p] == QLatin1Char('-')) number += '-';
        ++p;
    }
    bool anyDigit = false;
    while (p < n && isDigit(text[p]))
        number += char(text[p++].unicode()), anyDigit = true;
    if (!anyDigit) number += '0'; // ".5" reads as 0.5
    if (p < n && text[p] == QLatin1Char('.')) {
        number += '.';
        ++p;
        while (p < n && isDigit(text[p]))
            number += char(text[p++].unicode()), anyDigit = true;
    }
    if (!anyDigit) return 0;
    if (number.back() == '.') number.pop_back();
    if (p < n && (text[p] == QLatin1Char('e') || text[p] == QLatin1Char('E'))) {
        qsizetype q = p + 1;
        std::string exponent = "e";
        if (q < n && (text[q] == QLatin1Char('+') || text[q] == QLatin1Char('-')))
            exponent += char(text[q++].unicode());
        if (q < n && isDigit(text[q])) {
            while (q < n && isDigit(text[q]))
                exponent += char(text[q++].unicode());
            number += exponent;
        }
    }
    double value = 0;
    const char *first = number.data();
    const char *last = first + number.size();
    const auto result = std::from_chars(first, last, value);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large reads as infinite (and is refused later); too small as 0.
        const auto epos = number.find('e');
        const bool huge = epos != std::string::npos && number.size() > epos + 1 && number[epos + 1] != '-';
        if (!huge) return 0;
        return number.front() == '-' ? -HUGE_VAL : HUGE_VAL;
    }
    return value;
}

double getToken(QStringView strLen, int &i)
{
    const qsizetype n = strLen.size();
    const qsizetype start = std::max<qsizetype>(qsizetype(i), 0);
    qsizetype pos = start;
    // i counts from 1 and stands on the last character consumed; the field starts after it.
    while (true) {
        ++pos;
        if (pos > n) break;
        const QChar c = strLen[pos - 1];
        if (c == QLatin1Char(',') || c == QLatin1Char('\r')) break;
    }
    i = int(std::min<qsizetype>(pos, qsizetype(std::numeric_limits<int>::max())));
    const qsizetype fieldEnd = std::min(pos - 1, n);
    if (fieldEnd <= start) return 0;
    return leadingNumber(strLen.sliced(start, fieldEnd - start));
}

QString encodeSegmentLine(const Segment &s)
{
    const QChar comma = QLatin1Char(',');
    return QLatin1String("FL") + formatNumber(s.x1) + comma + formatNumber(s.y1) + comma +
           formatNumber(s.x2) + comma + formatNumber(s.y2) + comma + QString::number(s.color) + comma +
           QString::number(s.width) + QLatin1String("\r\n");
}

QString encodeClearLine()
{
    return QStringLiteral("CL\r\n");
}

ParsedLine parseLine(QStringView line)
{
    ParsedLine parsed;
    if (line.startsWith(QLatin1String("FL"))) {
        parsed.kind = ParsedLine::SegmentLine;
        int i = 2;
        parsed.x1 = getToken(line, i);
        parsed.y1 = getToken(line, i);
        parsed.x2 = getToken(line, i);
        parsed.y2 = getToken(line, i);
        parsed.color = getToken(line, i);
        parsed.width = getToken(line, i);
    } else if (line.startsWith(QLatin1String("CL"))) {
        parsed.kind = ParsedLine::ClearLine;
    }
    return parsed;
}

namespace {
// Rounds half to even into 0..max, or -1 when the value is outside.
int tableIndex(double value, int max)
{
    if (!std::isfinite(value)) return -1;
    const double rounded = std::nearbyint(value);
    if (rounded < 0 || rounded > max) return -1;
    return int(rounded);
}

bool usableCoordinate(float v)
{
    return std::isfinite(v) && std::fabs(v) <= kMaxCoordinate;
}
} // namespace

std::optional<Segment> makeSegment(double x1, double y1, double x2, double y2, double color, double width,
                                   const QString &marker)
{
    const int colorIndex = tableIndex(color, kMaxColorIndex);
    const int widthIndex = tableIndex(width, kMaxWidthIndex);
    if (colorIndex < 0 || widthIndex < 0) return std::nullopt;
    Segment s;
    s.x1 = float(x1);
    s.y1 = float(y1);
    s.x2 = float(x2);
    s.y2 = float(y2);
    if (!usableCoordinate(s.x1) || !usableCoordinate(s.y1) || !usableCoordinate(s.x2) ||
        !usableCoordinate(s.y2))
        return std::nullopt;
    s.color = qint16(colorIndex);
    s.width = qint16(widthIndex);
    s.marker = marker;
    return s;
}

QStringList LineReceiver::feed(QStringView chunk)
{
    QStringList lines;
    qsizetype pos = 0;
    while (pos < chunk.size()) {
        const qsizetype lf = chunk.indexOf(QLatin1Char('\n'), pos);
        if (lf < 0) {
            const QStringView rest = chunk.sliced(pos);
            if (!m_discarding) {
                if (m_buffer.size() + rest.size() > kMaxLine) {
                    m_buffer.clear();
                    m_discarding = true;
                } else {
                    m_buffer += rest;
                }
            }
            break;
        }
        const QStringView piece = chunk.sliced(pos, lf - pos + 1);
        if (m_discarding)
            m_discarding = false; // the over-long run ends here and is gone
        else if (m_buffer.size() + piece.size() <= kMaxLine)
            lines.append(m_buffer + piece.toString());
        m_buffer.clear();
        pos = lf + 1;
    }
    return lines;
}

} // namespace whiteboard
