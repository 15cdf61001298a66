#include "chat/chattext.h"

#include "shell/socket/cp932.h"

#include <QDate>
#include <QFile>
#include <QLocale>
#include <QTime>

#include <algorithm>

namespace chat {

namespace {
struct Feeling {
    const char *caption;
    const char *text;
};
const Feeling kFeelings[kFeelingCount] = {
    {"うれしい！", "うれしい！"},
    {"ムカムカ！", "ムカムカ！"},
    {"シクシク・・・", "シクシク・・・"},
    {"楽しい～！！", "楽しい～！！"},
    {"気持ちいい～", "気持ちいい～"},
    {"よっしゃ～！！", "よっしゃ～！！"},
    {"やったね！", "やったね！"},
    {"ごめんね・・・", "ごめんね・・・"},
    {"大好き！！", "大好き！！"},
    {"だ～～～っい嫌い！！", "だ～～～っい嫌い"},
    {"ＬｏｖｅＬｏｖｅ！", "ＬｏｖｅＬｏｖｅ！"},
    {"頭なでなで", "頭なでなで"},
    {"おめでと～！", "おめでと～！"},
    {"ムキーッ！！", "ムキーッ！！"},
};

const Feeling &feeling(int index)
{
    return kFeelings[std::clamp(index, 0, kFeelingCount - 1)];
}
} // namespace

QString feelingCaption(int index)
{
    return QString::fromUtf8(feeling(index).caption);
}

QString feelingText(int index)
{
    return QString::fromUtf8(feeling(index).text);
}

QString chatLine(const QString &name, const QString &text)
{
    return name + QStringLiteral("> ") + text;
}

QString feelingMessage(const QString &name, int index)
{
    return name + QStringLiteral("さんは、今「") + feelingText(index) + QStringLiteral("」って感じです。");
}

QString feelingNotice(int index)
{
    return QStringLiteral("自分の気持ち(") + feelingText(index) + QStringLiteral(")を伝えました");
}

QString systemDate()
{
    return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
}

QString systemTime()
{
    return QTime::currentTime().toString(QStringLiteral("H:mm:ss"));
}

QString chatLogEntry(const QString &date, const QString &time, const QString &display)
{
    return QStringLiteral("Data:") + date + QStringLiteral(" Time:") + time + kCrLf + display + kCrLf;
}

bool appendToFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
    const bool ok = file.write(bytes) == bytes.size();
    file.close();
    return ok && file.error() == QFileDevice::NoError;
}

std::optional<QString> pluginData(const QString &clipboard)
{
    if (!clipboard.startsWith(kPluginSend)) return std::nullopt;
    return clipboard.mid(kPluginSend.size());
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

} // namespace chat
