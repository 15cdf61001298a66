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
    const QString shown = shownForm(piece);
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
