#include "shell/mailsettings.h"

#include "shell/settingsfiles.h"
#include "shell/socket/cp932.h"

namespace mailsettings {
namespace {

constexpr int kShift = 15;
constexpr unsigned char kEscapeUnicode = 0xFE; // next four hex digits are a UTF-16 unit

bool isLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// A scrambled single byte that a reader takes for what it was.
bool readsBack(int scrambled)
{
    return scrambled != '\r' && scrambled != '\n' && !isLeadByte(quint8(scrambled));
}

void appendUnicodeEscape(QByteArray &out, char16_t unit)
{
    out += char(kEscapeUnicode);
    out += QByteArray::number(unit, 16).rightJustified(4, '0');
}

} // namespace

QByteArray scramble(const QString &password)
{
    QByteArray out;
    for (qsizetype i = 0; i < password.size(); ++i) {
        const QChar c = password.at(i);
        // Only characters the code page gives back unchanged are stored as codes.
        QByteArray bytes = cp932::encode(QString(c));
        if (cp932::decode(bytes) != QString(c)) bytes.clear();
        if (bytes.size() == 2) {
            // The lead byte never changes: trail bytes are at least 0x40.
            out += bytes.at(0);
            out += char(quint8(bytes.at(1)) - kShift);
        } else if (bytes.size() == 1 && quint8(bytes.at(0)) >= kShift &&
                   readsBack(quint8(bytes.at(0)) - kShift)) {
            out += char(quint8(bytes.at(0)) - kShift);
        } else {
            appendUnicodeEscape(out, c.unicode());
        }
    }
    return out;
}

QString unscramble(const QByteArray &bytes)
{
    QString out;
    QByteArray plain;
    auto flush = [&] {
        out += cp932::decode(plain);
        plain.clear();
    };
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const quint8 b = quint8(bytes.at(i));
        if (b == kEscapeUnicode && i + 4 < bytes.size()) {
            bool ok = false;
            const uint unit = bytes.mid(i + 1, 4).toUInt(&ok, 16);
            if (ok) {
                flush();
                out += QChar(char16_t(unit));
                i += 4;
                continue;
            }
        }
        if (isLeadByte(b) && i + 1 < bytes.size()) {
            plain += char(b);
            plain += char(quint8(bytes.at(++i)) + kShift);
        } else {
            plain += char(quint8(b + kShift));
        }
    }
    flush();
    return out;
}

MailSettings read(const QByteArray &bytes, MailSettings s)
{
    qsizetype start = 0;
    while (start <= bytes.size()) {
        qsizetype end = start;
        while (end < bytes.size() && bytes.at(end) != '\r' && bytes.at(end) != '\n')
            ++end;
        const QByteArray line = bytes.mid(start, end - start);
        if (end < bytes.size() && bytes.at(end) == '\r' && end + 1 < bytes.size() &&
            bytes.at(end + 1) == '\n')
            ++end;
        start = end + 1;

        // "=" is never a trail byte, so the split is safe on the raw bytes.
        const qsizetype eq = line.indexOf('=');
        if (eq < 0) continue;
        const QByteArray key = line.left(eq + 1);
        const QByteArray raw = line.mid(eq + 1);
        if (key == "[Password]=")
            s.mailPassword = unscramble(raw);
        else if (key == "[Adress]=")
            s.mailAddress = cp932::decode(raw);
        else if (key == "[SMTP]=")
            s.smtpServer = cp932::decode(raw);
        else if (key == "[POP3]=")
            s.pop3Server = cp932::decode(raw);
        else if (key == "[Acount]=")
            s.mailAccount = cp932::decode(raw);
        else if (key == "[Timer]=")
            s.checkInterval = cp932::decode(raw);
    }
    return s;
}

QByteArray write(const MailSettings &s)
{
    QByteArray out;
    out += "[Adress]=" + cp932::encode(s.mailAddress) + "\r\n";
    out += "[SMTP]=" + cp932::encode(s.smtpServer) + "\r\n";
    out += "[POP3]=" + cp932::encode(s.pop3Server) + "\r\n";
    out += "[Acount]=" + cp932::encode(s.mailAccount) + "\r\n";
    out += "[Password]=" + scramble(s.mailPassword) + "\r\n";
    out += "[Timer]=" + cp932::encode(s.checkInterval) + "\r\n";
    return out;
}

int intervalMinutes(const QString &checkInterval)
{
    bool ok = false;
    const int n = checkInterval.trimmed().toInt(&ok);
    return ok && n > 0 && n <= 32767 ? n : 0;
}

} // namespace mailsettings
