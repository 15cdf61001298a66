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

void NewestFirstText::setText(const QString &text)
{
    m_text = text;
    textcap::trimOldest(m_text, m_cap);
    showAll();
}

void NewestFirstText::prepend(const QString &entry)
{
    QTextDocument *document = m_box->document();
    // What went out at the bottom must not live on in the undo history.
    if (document->isUndoRedoEnabled()) document->setUndoRedoEnabled(false);
    const QString piece = entry + kCrLf;
    m_text.prepend(piece);
    const QString shown = shownForm(piece);
    QTextCursor top(document);
    top.insertText(shown);
    m_shownLength += shown.size();
    trim();
}

void NewestFirstText::trim()
{
    const qsizetype keep = textcap::fittingLength(m_text, m_cap);
    if (keep == m_text.size()) return;
    QTextDocument *document = m_box->document();
    if (keep == 0 || boxLength(document) != m_shownLength) {
        // The newest line alone is over the cap, or the box took the text
        // otherwise than counted: show the kept text anew.
        textcap::trimOldest(m_text, m_cap);
        showAll();
        return;
    }
    const QStringView dropped = QStringView(m_text).mid(keep);
    const qsizetype droppedShown = dropped.size() - dropped.count(kCrLf);
    m_text.truncate(keep);
    QTextCursor tail(document);
    tail.setPosition(int(m_shownLength - droppedShown));
    tail.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    tail.removeSelectedText();
    m_shownLength -= droppedShown;
}

void NewestFirstText::showAll()
{
    m_box->setPlainText(shownForm(m_text));
    m_shownLength = boxLength(m_box->document());
}
