#pragma once
// Text of mail headers and bodies: charsets and RFC 2047 encoded words.
//
// encoded-word = "=?" charset ["*" language] "?" ("B" / "Q") "?" encoded-text "?="
// Adjacent encoded words of one charset are joined byte-wise before decoding,
// because some senders split a double-byte character across two words.
// Text outside encoded words that carries 8-bit bytes was sent without a
// declared charset; it is read as UTF-8 when valid, else as code page 932.
#include <QByteArray>
#include <QString>

namespace mailtext {

// Decodes `bytes` in the named charset (case-insensitive). Japanese charsets go
// through code page 932, so the vendor characters (circled digits, Roman
// numerals, IBM kanji) survive; an empty or unknown name guesses.
QString decodeCharset(const QByteArray &bytes, const QByteArray &charset);

// Text without a declared charset: ISO-2022-JP when it has its escapes, UTF-8
// when valid, code page 932 otherwise.
QString decodeUndeclared(const QByteArray &bytes);

// ISO-2022-JP (with the JIS X 0201 kana set and the NEC rows of code page 932)
// rewritten as code page 932 bytes.
QByteArray iso2022jpToCp932(const QByteArray &bytes);

// A raw header value (possibly folded) decoded to one line: unfolded, encoded
// words decoded, control characters turned into blanks.
QString decodeHeader(const QByteArray &raw);

// Every CR LF, lone CR or lone LF becomes CR LF.
QString crlf(const QString &text);

} // namespace mailtext
