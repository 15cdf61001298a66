#pragma once
// Text as the program writes it to people and files: line ends, the date and
// time as the system shows them, appending to a log, and the check for
// characters that code page 932 cannot carry.
#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace plaintext {

inline const QString kCrLf = QStringLiteral("\r\n");

// Date and time as the system writes them.
QString systemDate(const QDateTime &when);
QString systemTime(const QDateTime &when);

// Appends bytes to a file, creating it; false when it could not be written whole.
bool appendToFile(const QString &path, const QByteArray &bytes);

// The question asked before sending text with characters code page 932 lacks,
// or empty when every character survives.
QString lossQuestion(const QString &text);

} // namespace plaintext
