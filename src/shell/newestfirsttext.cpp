#include "shell/newestfirsttext.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

namespace {
const QString kCrLf = QStringLiteral("\r\n");

// The box breaks lines at CR LF, CR and LF alike; giving it one LF for each
// keeps its characters one for one with the text, CR LF counted once.
QString shownForm(QString text)
{
    return text.replace(kCrLf, QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

// A new entry as the box takes it: its newest line a paragraph of its own, as
// the next entry going in above splits it; the lines under it grouped a few
// to a paragraph, line separators inside. Many lines at once then cost the
// box few paragraphs, and letting the oldest go never re-lays out many lines.
constexpr int kLinesPerParagraph = 16;

QString shownEntry(const QString &piece)
{
    QString out;
    out.reserve(piece.size());
    int lines = -1; // the newest line ends its paragraph at once
    for (qsizetype i = 0; i < piece.size(); ++i) {
        const QChar c = piece.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) {
            out += c;
            continue;
        }
        if (c == QLatin1Char('\r') && i + 1 < piece.size() && piece.at(i + 1) == QLatin1Char('\n')) ++i;
        const bool paragraph = ++lines % kLinesPerParagraph == 0 || i + 1 == piece.size();
        out += paragraph ? QChar(QLatin1Char('\n')) : QChar(QChar::LineSeparator);
    }
    return out;
}

qsizetype boxLength(const QTextDocument *document)
{
    return document->characterCount() - 1;
}
} // namespace

NewestFirstText::NewestFirstText(QPlainTextEdit *box, qsizetype cap) : m_box(box), m_cap(cap) {}

const QString &NewestFirstText::text() const
{
    if (!m_joinedValid) {
        m_joined = m_pieces.join(QString());
        m_joinedValid = true;
    }
    return m_joined;
}

void NewestFirstText::setText(const QString &text)
{
    QString kept = text;
    textcap::trimOldest(kept, m_cap);
    m_size = kept.size();
    m_pieces.clear();
    if (!kept.isEmpty()) m_pieces.append(kept);
    m_joined = kept;
    m_joinedValid = true;
    showAll();
}

void NewestFirstText::prepend(const QString &entry)
{
    QTextDocument *document = m_box->document();
    // What went out at the bottom must not live on in the undo history.
    if (document->isUndoRedoEnabled()) document->setUndoRedoEnabled(false);
    const QString piece = entry + kCrLf;
    m_pieces.prepend(piece);
    m_size += piece.size();
    m_joinedValid = false;
    m_joined.clear();
    const QString shown = shownEntry(piece);
    QTextCursor top(document);
    top.insertText(shown);
    m_shownLength += shown.size();
    trim();
}

void NewestFirstText::trim()
{
    if (m_size <= m_cap) return;
    const textcap::Dropped dropped = textcap::trimOldestPieces(m_pieces, m_size, m_cap);
    QTextDocument *document = m_box->document();
    if (!dropped.whole || boxLength(document) != m_shownLength) {
        // The newest entry alone is over the cap, or the box took the text
        // otherwise than counted: show the kept text anew.
        showAll();
        return;
    }
    const qsizetype droppedShown = dropped.text.size() - dropped.text.count(kCrLf);
    QTextCursor tail(document);
    tail.setPosition(int(m_shownLength - droppedShown));
    tail.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    tail.removeSelectedText();
    m_shownLength -= droppedShown;
}

void NewestFirstText::showAll()
{
    m_box->setPlainText(shownForm(text()));
    m_shownLength = boxLength(m_box->document());
}
