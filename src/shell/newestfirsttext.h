#pragma once
// The text of a read-only box that grows at the top, newest entry first: the
// chat display, the received posts, the advertisement page. It keeps at most
// `cap` characters, letting the oldest whole lines go, and holds the text with
// CR LF line ends as it goes into the logs; the box shows it with plain line
// breaks. A new entry costs its own length, not the length of what is kept:
// the text is held as pieces, newest first, and joined only when asked for.
#include "shell/textcap.h"

#include <QString>
#include <QStringList>

class QPlainTextEdit;

class NewestFirstText final {
    Q_DISABLE_COPY_MOVE(NewestFirstText)
public:
    explicit NewestFirstText(QPlainTextEdit *box, qsizetype cap = textcap::kMaxKeptChars);

    // Replaces the text.
    void setText(const QString &text);
    // `entry`, CR LF, then the text kept so far.
    void prepend(const QString &entry);
    const QString &text() const;
    qsizetype size() const { return m_size; }

private:
    void trim();
    void showAll();

    QPlainTextEdit *m_box;
    qsizetype m_cap;
    QStringList m_pieces; // newest first; all but the last end with CR LF
    qsizetype m_size = 0;
    mutable QString m_joined;
    mutable bool m_joinedValid = true;
    qsizetype m_shownLength = 0; // characters of the box, as this text shows them
};
