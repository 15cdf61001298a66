#pragma once
// The texts of a chat: display lines, the feelings, the chat log entry, the
// plug-in link on the clipboard, and the check for characters the wire drops.
#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace chat {

inline constexpr int kFeelingCount = 14;
inline const QString kCrLf = QStringLiteral("\r\n");

// Menu caption and sent text of feeling `index` (0-13); they differ at 9.
QString feelingCaption(int index);
QString feelingText(int index);

// "name> text"
QString chatLine(const QString &name, const QString &text);
// What the partner is sent for a feeling.
QString feelingMessage(const QString &name, int index);
// What the own display shows for a feeling.
QString feelingNotice(int index);

// Date and time as the system writes them.
QString systemDate();
QString systemTime();

// One closing's entry of "wezchat.log".
QString chatLogEntry(const QString &date, const QString &time, const QString &display);
// Appends bytes to a file, creating it; false when it could not be written whole.
bool appendToFile(const QString &path, const QByteArray &bytes);

inline const QString kPluginSend = QStringLiteral("wez_plugin_send_link");
inline const QString kPluginReceive = QStringLiteral("wez_plugin_rcve_link");
// The data after "wez_plugin_send_link" when the clipboard holds a plug-in text.
std::optional<QString> pluginData(const QString &clipboard);

// The question asked before sending text with characters code page 932 lacks,
// or empty when every character survives.
QString lossQuestion(const QString &text);

} // namespace chat
