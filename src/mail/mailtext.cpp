#include "mail/mailtext.h"

#include "shell/socket/cp932.h"

#include <QList>
#include <QStringDecoder>

namespace mailtext {
namespace {

constexpr qsizetype kMaxHeaderBytes = 64 * 1024;

bool isAscii(const QByteArray &bytes)
{
    for (char c : bytes)
        if (uchar(c) >= 0x80) return false;
    return true;
}

bool hasJisEscape(const QByteArray &bytes)
{
    return bytes.contains("\x1b$B") || bytes.contains("\x1b$@") || bytes.contains("\x1b(I");
}

// UTF-8 text, or a null string when the bytes are not valid UTF-8.
QString strictUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) return {};
    if (text.isNull()) text = QStringLiteral("");
    return text;
}

bool isSjisName(const QByteArray &name)
{
    static const QList<QByteArray> names = {"shift_jis", "shift-jis",  "sjis",        "x-sjis",
                                            "ms_kanji",  "csshiftjis", "windows-31j", "cp932",
                                            "ms932",     "x-ms-cp932", "ibm-943",     "windows-932"};
    return names.contains(name);
}

bool isJisName(const QByteArray &name)
{
    return name.startsWith("iso-2022-jp") || name == "csiso2022jp" || name == "cp50220" ||
           name == "cp50221" || name == "cp50222" || name == "jis";
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

QByteArray decodeQ(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '_') {
            out += ' ';
        } else if (c == '=' && i + 2 < text.size() && hexValue(text.at(i + 1)) >= 0 &&
                   hexValue(text.at(i + 2)) >= 0) {
            out += char(hexValue(text.at(i + 1)) * 16 + hexValue(text.at(i + 2)));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

struct Segment {
    bool encoded = false;
    QByteArray charset; // lower case, encoded words only
    QByteArray bytes;
};

// Parses an encoded word starting at `pos` ("=?"); on success sets `end` past "?=".
bool parseEncodedWord(const QByteArray &s, qsizetype pos, qsizetype &end, Segment &word)
{
    const qsizetype q1 = s.indexOf('?', pos + 2);
    if (q1 < 0 || q1 + 2 >= s.size() || s.at(q1 + 2) != '?') return false;
    const char enc = s.at(q1 + 1);
    if (enc != 'B' && enc != 'b' && enc != 'Q' && enc != 'q') return false;
    const qsizetype close = s.indexOf("?=", q1 + 3);
    if (close < 0) return false;
    QByteArray charset = s.mid(pos + 2, q1 - pos - 2);
    const QByteArray text = s.mid(q1 + 3, close - q1 - 3);
    if (charset.isEmpty() || charset.size() > 64) return false;
    for (char c : charset + text)
        if (uchar(c) <= 0x20 || uchar(c) >= 0x7f) return false;
    if (const qsizetype star = charset.indexOf('*'); star >= 0)
        charset.truncate(star); // RFC 2231 language tag
    word.encoded = true;
    word.charset = charset.toLower();
    word.bytes = (enc == 'B' || enc == 'b') ? QByteArray::fromBase64(text) : decodeQ(text);
    end = close + 2;
    return true;
}

bool isBlank(const QByteArray &bytes)
{
    for (char c : bytes)
        if (c != ' ' && c != '\t') return false;
    return true;
}

} // namespace

QByteArray iso2022jpToCp932(const QByteArray &bytes)
{
    enum class Mode { Ascii, Kanji, Kana, Other };
    Mode mode = Mode::Ascii;
    Mode beforeShiftOut = Mode::Ascii;
    QByteArray out;
    out.reserve(bytes.size());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const uchar c = uchar(bytes.at(i));
        if (c == 0x1b) {
            const QByteArray seq = bytes.mid(i + 1, 3);
            if (seq.startsWith("(B") || seq.startsWith("(J") || seq.startsWith("(H")) {
                mode = Mode::Ascii;
                i += 3;
            } else if (seq.startsWith("$@") || seq.startsWith("$B")) {
                mode = Mode::Kanji;
                i += 3;
            } else if (seq.startsWith("(I")) {
                mode = Mode::Kana;
                i += 3;
            } else if (seq.startsWith("$(") || seq.startsWith("$)")) {
                mode = Mode::Other; // JIS X 0212 and friends: code page 932 has none of them
                i += 4;
            } else if (seq.startsWith("$A") || seq.startsWith("&@")) {
                mode = seq.startsWith("&@") ? mode : Mode::Other;
                i += 3;
            } else {
                out += '?';
                ++i;
            }
            continue;
        }
        if (c == 0x0e) { // shift out: half-width kana
            beforeShiftOut = mode;
            mode = Mode::Kana;
            ++i;
            continue;
        }
        if (c == 0x0f) {
            mode = beforeShiftOut == Mode::Kana ? Mode::Ascii : beforeShiftOut;
            ++i;
            continue;
        }
        if (c < 0x21 || c >= 0x7f || mode == Mode::Ascii) {
            // Line ends, blanks and stray 8-bit bytes pass through unchanged.
            out += char(c);
            ++i;
            continue;
        }
        if (mode == Mode::Kana) {
            out += c <= 0x5f ? char(c | 0x80) : '?';
            ++i;
            continue;
        }
        if (i + 1 >= n || uchar(bytes.at(i + 1)) < 0x21 || uchar(bytes.at(i + 1)) >= 0x7f) {
            out += '?';
            ++i;
            continue;
        }
        const uchar j1 = c;
        const uchar j2 = uchar(bytes.at(i + 1));
        i += 2;
        if (mode == Mode::Other) {
            out += '?';
            continue;
        }
        int s1 = ((j1 - 0x21) >> 1) + 0x81;
        if (s1 > 0x9f) s1 += 0x40;
        int s2;
        if (j1 & 1) {
            s2 = j2 + 0x1f;
            if (s2 >= 0x7f) ++s2;
        } else {
            s2 = j2 + 0x7e;
        }
        out += char(s1);
        out += char(s2);
    }
    return out;
}

QString decodeUndeclared(const QByteArray &bytes)
{
    if (hasJisEscape(bytes)) return cp932::decode(iso2022jpToCp932(bytes));
    if (isAscii(bytes)) return QString::fromLatin1(bytes);
    const QString utf8 = strictUtf8(bytes);
    if (!utf8.isNull()) return utf8;
    return cp932::decode(bytes);
}

QString decodeCharset(const QByteArray &bytes, const QByteArray &charset)
{
    QByteArray name = charset.trimmed().toLower();
    if (name.size() >= 2 && name.startsWith('"') && name.endsWith('"'))
        name = name.mid(1, name.size() - 2).trimmed();
    if (name.isEmpty() || name.size() > 64 || name == "us-ascii" || name == "ascii" ||
        name == "unknown-8bit" || name == "x-unknown")
        return decodeUndeclared(bytes);
    if (name == "utf-8" || name == "utf8") {
        const QString utf8 = strictUtf8(bytes);
        return utf8.isNull() ? decodeUndeclared(bytes) : utf8;
    }
    if (isSjisName(name)) return cp932::decode(bytes);
    if (isJisName(name)) return cp932::decode(iso2022jpToCp932(bytes));
    if (name == "iso-8859-1" || name == "latin1" || name == "l1") return QString::fromLatin1(bytes);
    QStringDecoder decoder(name.constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid()) return decodeUndeclared(bytes);
    return decoder.decode(bytes);
}

QString decodeHeader(const QByteArray &rawValue)
{
    QByteArray raw = rawValue.left(kMaxHeaderBytes);
    raw.replace('\r', QByteArray()).replace('\n', QByteArray());
    raw = raw.trimmed();

    QList<Segment> segments;
    qsizetype plainStart = 0;
    for (qsizetype i = raw.indexOf("=?"); i >= 0;) {
        Segment word;
        qsizetype end = 0;
        if (!parseEncodedWord(raw, i, end, word)) {
            i = raw.indexOf("=?", i + 1);
            continue;
        }
        if (i > plainStart) segments.append({false, {}, raw.mid(plainStart, i - plainStart)});
        segments.append(word);
        plainStart = end;
        i = raw.indexOf("=?", end);
    }
    if (plainStart < raw.size()) segments.append({false, {}, raw.mid(plainStart)});

    // Blanks between two encoded words are not part of the text.
    QList<Segment> joined;
    for (qsizetype k = 0; k < segments.size(); ++k) {
        const Segment &seg = segments.at(k);
        if (!seg.encoded && isBlank(seg.bytes) && k > 0 && k + 1 < segments.size() &&
            segments.at(k - 1).encoded && segments.at(k + 1).encoded)
            continue;
        if (seg.encoded && !joined.isEmpty() && joined.last().encoded &&
            joined.last().charset == seg.charset) {
            joined.last().bytes += seg.bytes;
            continue;
        }
        joined.append(seg);
    }

    QString text;
    for (const Segment &seg : joined)
        text += seg.encoded ? decodeCharset(seg.bytes, seg.charset) : decodeUndeclared(seg.bytes);
    for (QChar &c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) c = QLatin1Char(' ');
    return text;
}

QString crlf(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r')) {
            out += QLatin1String("\r\n");
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n')) ++i;
        } else if (c == QLatin1Char('\n')) {
            out += QLatin1String("\r\n");
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace mailtext
