#include "chat/chattext.h"

#include "shell/plaintext.h"

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

QString chatLogEntry(const QString &date, const QString &time, const QString &display)
{
    return QStringLiteral("Data:") + date + QStringLiteral(" Time:") + time + plaintext::kCrLf + display +
           plaintext::kCrLf;
}

std::optional<QString> pluginData(const QString &clipboard)
{
    if (!clipboard.startsWith(kPluginSend)) return std::nullopt;
    return clipboard.mid(kPluginSend.size());
}

} // namespace chat
