#pragma once
// Lines of the whiteboard connection (port 1202). Grammar, ASCII text:
//
//   line    = segment / clear / other
//   segment = "FL" x1 "," y1 "," x2 "," y2 "," color "," width CR LF
//   clear   = "CL" CR LF
//
// Coordinates are twips; color 0..13, width 0..3. Numbers are plain decimal
// text ("1500", "-30", "12.5", "1.234568E+07"). The receiver splits at LF; the
// CR stays on the line and ends the last field. Missing fields read as 0, any
// other line is dropped.
#include "whiteboard/segmentstore.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace whiteboard {

// Number to text as the plain conversion does it: integers without a point,
// fractions with ".", at most `digits` significant digits, an exponent
// ("1.234568E+07", "1E-05") for magnitudes it cannot show in that many digits.
QString formatNumber(double value, int digits = 7);

// The number at the start of `text`: blanks, a sign, digits, an optional "."
// fraction and an optional exponent. Anything else, or nothing, gives 0.
double leadingNumber(QStringView text);

// Reads the field after position `i` (1-based, left on the field's delimiter)
// up to the next "," or CR, and returns its number. Called repeatedly with the
// same `i` it walks the fields of a line; past the end it returns 0.
double getToken(QStringView strLen, int &i);

QString encodeSegmentLine(const Segment &segment);
QString encodeClearLine();

struct ParsedLine {
    enum Kind { Other, SegmentLine, ClearLine };
    Kind kind = Other;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0, color = 0, width = 0;
};
ParsedLine parseLine(QStringView line);

// A segment from untrusted numbers, or nothing when it cannot be drawn soundly:
// colour outside 0..13, width outside 0..3 (after rounding half to even), a
// coordinate that is not finite or lies beyond +-32767 twips.
std::optional<Segment> makeSegment(double x1, double y1, double x2, double y2, double color, double width,
                                   const QString &marker);

// Splits what arrives into lines (each with its LF). Holds at most one line's
// worth of text: a run longer than kMaxLine without LF is dropped up to its LF.
class LineReceiver final {
public:
    static constexpr qsizetype kMaxLine = 512;

    QStringList feed(QStringView chunk);
    qsizetype pending() const { return m_buffer.size(); }
    bool discarding() const { return m_discarding; }

private:
    QString m_buffer;
    bool m_discarding = false;
};

} // namespace whiteboard
