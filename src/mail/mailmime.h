#pragma once
// Mail messages read and written with GMime: the three lines the mail check
// reads from a message, and the message a post by mail sends.
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

namespace mailmime {

// Largest message read or written; a bigger one is not a mail post.
constexpr qsizetype kMaxMessageBytes = 16 * 1024 * 1024;

struct MailFields {
    QString subject; // decoded, one line
    QString from;    // decoded, one line
    QString body;    // decoded plain text, CR LF line ends, no trailing line end
};

// Parses one raw message (RFC 5322, MIME). Nothing when the bytes are empty,
// too big or not a message.
std::optional<MailFields> readMessage(const QByteArray &raw);

// The three lines of one message as the mail check reads them: "Subject: "
// + subject (its text begins at character 10), "From: " + sender and
// "Body: " + body (each value after a 6-character prefix).
QStringList mailLines(const MailFields &fields);

// A text/plain message in UTF-8 (subject as RFC 2047 words where it is not
// plain ASCII), with CR LF line ends throughout as SMTP expects.
QByteArray composeMessage(const QString &from, const QString &to, const QString &subject, const QString &body,
                          const QDateTime &date);

} // namespace mailmime
