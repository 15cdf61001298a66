#include "shell/settingsfiles.h"

#include "shell/socket/cp932.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cmath>
#include <filesystem>

namespace settingsfiles {

QStringList splitLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n') continue;
        lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n') ++i;
        start = i + 1;
    }
    if (start < n) lines.append(text.mid(start));
    return lines;
}

std::optional<int16_t> parseNumber16(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text.at(i) == u' ' || text.at(i) == u'\t'))
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-')) negative = text.at(i++) == u'-';
    double value = 0;
    bool digits = false;
    while (i < n && text.at(i).isDigit() && text.at(i).unicode() < 0x80) {
        value = value * 10 + (text.at(i++).unicode() - u'0');
        digits = true;
        if (value > 1e9) // far out of range already
            return std::nullopt;
    }
    if (i < n && text.at(i) == u'.') {
        double scale = 0.1;
        for (++i; i < n && text.at(i).unicode() >= u'0' && text.at(i).unicode() <= u'9'; ++i, scale /= 10)
            value += (text.at(i).unicode() - u'0') * scale, digits = true;
    }
    if (!digits) return int16_t(0);
    // Halves round to even, as the files' writer expects of an integer conversion.
    value = std::nearbyint(negative ? -value : value);
    if (value < -32768 || value > 32767) return std::nullopt;
    return int16_t(value);
}

QString formatNumber(int value)
{
    return value < 0 ? QString::number(value) : QLatin1Char(' ') + QString::number(value);
}

PersonalReadResult readPersonal(const QByteArray &bytes)
{
    PersonalReadResult result;
    const QStringList lines = splitLines(cp932::decode(bytes));
    PersonalSettings &v = result.values;
    for (int field = 0; field < PersonalSettings::kLineCount; ++field) {
        if (field >= lines.size()) return result;
        const QString &line = lines.at(field);
        if (field == 0) {
            v.name = line;
        } else if (field == 1) {
            v.comment = line;
        } else if (field <= 11) {
            const auto number = parseNumber16(line);
            if (!number) return result;
            WindowPosition &p = v.positions[(field - 2) / 2];
            (field % 2 == 0 ? p.left : p.top) = *number;
        } else if (field == 12) {
            v.proxyAddress = line;
        } else {
            v.serverAddress = line;
        }
        result.fieldsRead = field + 1;
    }
    return result;
}

QByteArray writePersonal(const PersonalSettings &s)
{
    QStringList lines{s.name, s.comment};
    for (const WindowPosition &p : s.positions)
        lines << formatNumber(p.left) << formatNumber(p.top);
    lines << s.proxyAddress << s.serverAddress;
    return writeHistory(lines);
}

QStringList readHistory(const QByteArray &bytes)
{
    QStringList entries;
    for (const QString &line : splitLines(cp932::decode(bytes)))
        if (!line.isEmpty()) entries.append(line);
    return entries;
}

QByteArray writeHistory(const QStringList &entries)
{
    QByteArray out;
    for (const QString &e : entries)
        out += cp932::encode(e) + "\r\n";
    return out;
}

FileRead readFile(const QString &path, qint64 maxBytes)
{
    const QFileInfo info(path);
    if (!info.exists()) return {FileRead::Missing, {}};
    // A directory, a pipe or a device in a file's place is no file of ours.
    QFile f(path);
    if (!info.isFile() || !f.open(QIODevice::ReadOnly)) return {FileRead::Unreadable, {}};
    QByteArray bytes = f.read(maxBytes + 1);
    if (bytes.size() > maxBytes) return {FileRead::TooBig, {}};
    if (f.error() != QFileDevice::NoError || bytes.size() != f.size()) return {FileRead::Unreadable, {}};
    return {FileRead::Read, bytes};
}

bool keepAside(const QString &path, const QString &aside)
{
    const std::filesystem::path from(QFile::encodeName(path).toStdString());
    const std::filesystem::path to(QFile::encodeName(aside).toStdString());
    // A file replaces a file in one step; a file and a directory only swap
    // places once the older one is cleared away.
    std::error_code ec;
    std::filesystem::rename(from, to, ec);
    if (ec == std::errc::is_a_directory || ec == std::errc::not_a_directory ||
        ec == std::errc::directory_not_empty || ec == std::errc::file_exists) {
        std::filesystem::remove(to, ec);
        std::filesystem::rename(from, to, ec);
    }
    return !ec;
}

bool saveFile(const QString &path, const QByteArray &bytes)
{
    // Unbuffered, so a short write (full disk, size limit) shows here: a buffered
    // QSaveFile can commit a truncated file and still report success.
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
    if (f.write(bytes) != bytes.size() || f.size() != bytes.size()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

} // namespace settingsfiles
