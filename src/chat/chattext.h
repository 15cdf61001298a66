#pragma once
// The texts of a chat: display lines, the feelings, the chat log entry, the
// plug-in link on the clipboard.
#include <QString>

#include <optional>

namespace chat {

inline constexpr int kFeelingCount = 14;

// Menu caption and sent text of feeling `index` (0-13); they differ at 9.
QString feelingCaption(int index);
QString feelingText(int index);

// "name> text"
QString chatLine(const QString &name, const QString &text);
// What the partner is sent for a feeling.
QString feelingMessage(const QString &name, int index);
// What the own display shows for a feeling.
QString feelingNotice(int index);

// One closing's entry of "wezchat.log".
QString chatLogEntry(const QString &date, const QString &time, const QString &display);

inline const QString kPluginSend = QStringLiteral("wez_plugin_send_link");
inline const QString kPluginReceive = QStringLiteral("wez_plugin_rcve_link");
// The data after "wez_plugin_send_link" when the clipboard holds a plug-in text.
std::optional<QString> pluginData(const QString &clipboard);

} // namespace chat
