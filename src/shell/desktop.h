#pragma once
// What the logic needs from the desktop. The windows implement it; tests answer it.
#include <QString>
#include <QUrl>

class Desktop {
public:
    virtual ~Desktop() = default;

    // The one message window; returns at once, a second message replaces the first.
    virtual void showMessage(const QString &text) = 0;
    // The yes/no window; waits for the answer: 1 yes, -1 no (closing the window is no).
    virtual int askYesNo(const QString &question) = 0;
    // Plays a sound of the program asynchronously; silent without an audio device.
    virtual void playSound(const QString &fileName) = 0;
    // Opens a local file or an address with the desktop's opener.
    virtual void openUrl(const QUrl &url) = 0;

    virtual QString clipboardText() = 0;
    virtual void setClipboardText(const QString &text) = 0;
    virtual void clearClipboard() = 0;

    // File dialogs; an empty result means cancelled.
    virtual QString getSaveFileName(const QString &caption, const QString &preset, const QString &filter) = 0;
    virtual QString getOpenFileName(const QString &caption, const QString &filter) = 0;
};
