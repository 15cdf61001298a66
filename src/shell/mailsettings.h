#pragma once
// The mail settings file: six "key=value" lines in code page 932, CR LF.
//
//   file     := (line CRLF)*
//   line     := key value          key is the text up to and including the first "="
//   keys     := "[Adress]=" "[SMTP]=" "[POP3]=" "[Acount]=" "[Password]=" "[Timer]="
//
// The password is kept lightly scrambled: each character's code page 932 code
// minus 15. Characters whose scrambled code would read back as something else
// (the first half-width katakana, control characters, characters the code page
// lacks) are escaped with bytes no scrambled character produces.
#include "shell/sharedstate.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace mailsettings {

inline constexpr const char *kFileName = "wezmail.ini";

QByteArray scramble(const QString &password);
QString unscramble(const QByteArray &bytes);

// Keys in another case and lines without "=" are skipped; a repeated key keeps its last value.
MailSettings read(const QByteArray &bytes, MailSettings current = {});
QByteArray write(const MailSettings &settings);

// The interval as the mail check counts it: 0 (no automatic check) unless a number in 1..32767.
int intervalMinutes(const QString &checkInterval);

} // namespace mailsettings
