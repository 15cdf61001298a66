#include "shell/socket/cp932.h"

#include <QStringEncoder>

namespace cp932 {
namespace {

constexpr const char *kCodec = "windows-31j";

// What Windows sends for characters Unicode keeps apart but code page 932 does not.
char16_t lookAlike(char16_t c)
{
    switch (c) {
    case 0x301C:
        return 0xFF5E; // wave dash
    case 0x2016:
        return 0x2225; // double vertical line
    case 0x2212:
        return 0xFF0D; // minus sign
    case 0x00A2:
        return 0xFFE0; // cent
    case 0x00A3:
        return 0xFFE1; // pound
    case 0x00AC:
        return 0xFFE2; // not sign
    case 0x00A5:
        return u'\\'; // yen sign, typed on many keyboards
    default:
        return c;
    }
}

// Encodes one code point; empty when the code page has no such character.
QByteArray encodeOne(const QString &one)
{
    // Opening a converter is costly; one per thread is reused.
    thread_local QStringEncoder encoder(kCodec, QStringConverter::Flag::Stateless);
    encoder.resetState();
    QByteArray out = encoder.encode(one);
    // ICU substitutes 0xFC 0xFC for what it cannot map; no real character has that code.
    if (encoder.hasError()) {
        // The error sticks to the converter across resets: start afresh.
        encoder = QStringEncoder(kCodec, QStringConverter::Flag::Stateless);
        return {};
    }
    if (out.isEmpty() || out == QByteArrayLiteral("\xFC\xFC")) return {};
    return out;
}

template <typename Sink> void walk(const QString &text, Sink &&sink)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = text.at(i);
        if (c.unicode() < 0x80) {
            sink(i, QByteArray(1, char(c.unicode())));
            ++i;
            continue;
        }
        qsizetype len = 1;
        if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) len = 2;
        QString one = text.mid(i, len);
        if (len == 1) one[0] = QChar(lookAlike(c.unicode()));
        sink(i, len == 2 ? QByteArray() : encodeOne(one));
        i += len;
    }
}

// The converter swaps three control bytes (0x1A, 0x1C, 0x7F) among themselves;
// Windows keeps them as they are. None of them is ever a trail byte, so
// swapping them back before decoding is safe.
QByteArray unswapControls(const QByteArray &bytes)
{
    if (!bytes.contains('\x1A') && !bytes.contains('\x1C') && !bytes.contains('\x7F')) return bytes;
    QByteArray out = bytes;
    for (char &b : out) {
        if (b == '\x1A')
            b = '\x7F';
        else if (b == '\x1C')
            b = '\x1A';
        else if (b == '\x7F')
            b = '\x1C';
    }
    return out;
}

} // namespace

QByteArray encode(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() * 2);
    bool ascii = true;
    for (QChar c : text)
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii) return text.toLatin1();
    walk(text, [&](qsizetype, const QByteArray &bytes) { out += bytes.isEmpty() ? QByteArray("?") : bytes; });
    return out;
}

QString decode(const QByteArray &bytes)
{
    thread_local QStringDecoder decoder(kCodec, QStringConverter::Flag::Stateless);
    decoder.resetState();
    return decoder.decode(unswapControls(bytes));
}

QList<qsizetype> unrepresentable(const QString &text)
{
    QList<qsizetype> lost;
    walk(text, [&](qsizetype at, const QByteArray &bytes) {
        if (bytes.isEmpty()) lost.append(at);
    });
    return lost;
}

bool representable(const QString &text)
{
    return unrepresentable(text).isEmpty();
}

Decoder::Decoder() : m_decoder(kCodec) {}

QString Decoder::decode(const QByteArray &bytes)
{
    return m_decoder.decode(unswapControls(bytes));
}

void Decoder::reset()
{
    m_decoder.resetState();
}

} // namespace cp932
