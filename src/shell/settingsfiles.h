#pragma once
// The personal settings file (14 lines) and the address history, code page 932
// text with CR LF line ends.
//
//   personal := name CRLF comment CRLF (number CRLF){10} proxy CRLF server CRLF
//   number   := blanks [sign] digits [. digits] anything   (read as a 16-bit integer)
//   history  := (entry CRLF)*                               (empty lines skipped)
#include "shell/sharedstate.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

struct PersonalSettings {
    static constexpr int kLineCount = 14;
    QString name;
    QString comment;
    // Left and top of the entrance window, chat window, whiteboard, message post window, member list.
    std::array<WindowPosition, 5> positions{};
    QString proxyAddress = QStringLiteral("no");
    QString serverAddress;
};

struct PersonalReadResult {
    PersonalSettings values;
    int fieldsRead = 0; // values before a fault are kept; 14 means complete
    bool complete() const { return fieldsRead == PersonalSettings::kLineCount; }
};

namespace settingsfiles {

// Splits text into lines at CR LF (a lone CR or LF also ends a line).
QStringList splitLines(const QString &text);
// A leading-number parse rounded to 16 bits; nullopt when out of range. Text without a number is 0.
std::optional<int16_t> parseNumber16(const QString &text);
// A number as the files hold it: one blank before a value that is not negative.
QString formatNumber(int value);

PersonalReadResult readPersonal(const QByteArray &bytes);
QByteArray writePersonal(const PersonalSettings &settings);

QStringList readHistory(const QByteArray &bytes);
QByteArray writeHistory(const QStringList &entries);

// A file read whole, or why it was not.
struct FileRead {
    enum Status { Read, Missing, Unreadable, TooBig };
    Status status = Missing;
    QByteArray bytes;
};

// Reads a regular file whole, up to a bound; a bigger one is TooBig, never cut.
FileRead readFile(const QString &path, qint64 maxBytes = 4 * 1024 * 1024);
// Moves whatever stands at `path` (a file or a directory) to `aside`, replacing a
// file or an empty directory there; false when it stays where it was.
bool keepAside(const QString &path, const QString &aside);
// Replaces the file whole or leaves the old one untouched.
bool saveFile(const QString &path, const QByteArray &bytes);

} // namespace settingsfiles
