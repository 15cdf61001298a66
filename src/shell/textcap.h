#pragma once
// How much received text a window keeps. A partner decides how long a line is
// and how many arrive, so one line is shown cut, and a box that grows at the
// top (newest first) lets its oldest lines go once it holds about a million
// characters. What a box keeps is also all its log can get.
#include <QString>
#include <QStringList>
#include <QStringView>

namespace textcap {

// One window's text: chat display, received posts, advertisement page.
inline constexpr qsizetype kMaxKeptChars = 1024 * 1024;
// One chat line as shown; our own input box leaves room for the name in it.
inline constexpr qsizetype kMaxChatLineChars = 4096;
// One received post as shown, its "Messege from" line included.
inline constexpr qsizetype kMaxPostChars = 65536;
// What the post box lets one write: the post less room for its first line.
inline constexpr qsizetype kMaxPostBodyChars = kMaxPostChars - 1024;
// Ends a text that was cut.
inline const QString kCutMark = QStringLiteral("…");

// `text` when it has at most `max` characters; otherwise its start and the
// mark, `max` characters in all, never half a surrogate pair.
QString clip(const QString &text, qsizetype max);

// The length of the part of a newest-first `text` (lines ended or separated
// by CR LF) kept under `max` characters: it ends where a line ends, with that
// CR LF when the whole text ends with one. text.size() when all of it fits, 0
// when not even the newest line does.
qsizetype fittingLength(QStringView text, qsizetype max);

// Cuts a newest-first `text` to at most `max` characters: the oldest whole
// lines go; a newest line that alone is longer is cut with the mark.
void trimOldest(QString &text, qsizetype max);

// The same cut for a newest-first text held as pieces, newest first, whose
// concatenation is the text and whose `size` is the text's length: every
// piece but the last ends with CR LF. Only the oldest pieces are touched, so
// a cut costs what it drops. Returns what went, in the text's order; `whole`
// is false when the newest piece itself had to be cut.
struct Dropped {
    QString text;
    bool whole = true;
};
Dropped trimOldestPieces(QStringList &pieces, qsizetype &size, qsizetype max);

} // namespace textcap
