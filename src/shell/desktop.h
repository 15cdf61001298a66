#pragma once
// What the logic needs from the desktop. The windows implement it; tests answer it.
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>

class QImage;

class Desktop {
public:
    virtual ~Desktop() = default;

    // The one message window; returns at once, a second message replaces the first.
    virtual void showMessage(const QString &text) = 0;
    // The yes/no window; waits for the answer: 1 yes, -1 no (closing the window is no).
    virtual int askYesNo(const QString &question) = 0;
    // The yes/no window without waiting: `answered` runs later, once, with 1 or -1,
    // unless `context` is gone by then. Whoever asks returns to the event loop
    // at once, so nothing it handles can run again inside the question.
    virtual void askYesNoLater(const QString &question, QObject *context, std::function<void(int)> answered)
    {
        QTimer::singleShot(0, context, [this, question, answered] { answered(askYesNo(question)); });
    }
    // Takes a question of askYesNoLater off the screen; it is answered -1.
    virtual void withdrawQuestion() {}
    // Plays a sound of the program asynchronously; silent without an audio device.
    virtual void playSound(const QString &fileName) = 0;
    // Opens a local file or an address with the desktop's opener.
    virtual void openUrl(const QUrl &url) = 0;

    virtual QString clipboardText() = 0;
    virtual void setClipboardText(const QString &text) = 0;
    virtual void clearClipboard() = 0;
    // A picture on the clipboard, in place of what was there.
    virtual void setClipboardImage(const QImage &) {}

    // File dialogs; an empty result means cancelled.
    virtual QString getSaveFileName(const QString &caption, const QString &preset, const QString &filter) = 0;
    virtual QString getOpenFileName(const QString &caption, const QString &filter) = 0;
    // A name to save under when the caller completes the suffix itself and
    // replaces an existing file without asking.
    virtual QString getSaveTarget(const QString &filter)
    {
        return getSaveFileName(QString(), QString(), filter);
    }

    // Whether the user is at window `n` of this copy (its form number; 0: any of its windows).
    virtual bool isWindowActive(int) { return false; }
    // A desktop notification (through the tray icon) and an attention hint on window `n`.
    virtual void notify(int, const QString &, const QString &) {}
    // The tray icon's tooltip.
    virtual void setTrayToolTip(const QString &) {}

    // The clock, for the dates written into posts and logs.
    virtual QDateTime now() { return QDateTime::currentDateTime(); }
};
