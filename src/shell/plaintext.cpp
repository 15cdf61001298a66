#include "shell/plaintext.h"

#include "shell/socket/cp932.h"

#include <QFile>
#include <QLocale>

namespace plaintext {

QString systemDate(const QDateTime &when)
{
    return QLocale::system().toString(when.date(), QLocale::ShortFormat);
}

QString systemTime(const QDateTime &when)
{
    return when.time().toString(QStringLiteral("H:mm:ss"));
}

bool appendToFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
    const bool ok = file.write(bytes) == bytes.size();
    file.close();
    return ok && file.error() == QFileDevice::NoError;
}

QString lossQuestion(const QString &text)
{
    const QList<qsizetype> lost = cp932::unrepresentable(text);
    if (lost.isEmpty()) return {};
    QString shown;
    for (qsizetype i : lost) {
        // Surrogate pairs are one character to the reader.
        const qsizetype len = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString c = text.mid(i, len);
        if (!shown.contains(c)) shown += c;
        if (shown.size() > 40) break;
    }
    return QStringLiteral("次の文字は相手に届かず「?」になります： ") + shown + kCrLf +
           QStringLiteral("このまま送信しますか？");
}

} // namespace plaintext
