#pragma once
// The desktop as the windows provide it: message and yes/no windows, sounds,
// the clipboard, file dialogs and the system's opener. Tests can preset the
// next file name and replace the opener.
#include "shell/desktop.h"
#include "shell/dialogs.h"

#include <QFileDialog>
#include <QObject>
#include <QPointer>
#include <QStandardPaths>
#include <QStringList>

#include <functional>
#include <memory>

class QSystemTrayIcon;
class QWidget;
class SoundPlayer;

class UiDesktop final : public QObject, public Desktop {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UiDesktop)
public:
    explicit UiDesktop(QObject *parent = nullptr);
    ~UiDesktop() override;

    void showMessage(const QString &text) override;
    int askYesNo(const QString &question) override;
    void askYesNoLater(const QString &question, QObject *context, std::function<void(int)> answered) override;
    void withdrawQuestion() override;
    void playSound(const QString &fileName) override;
    void openUrl(const QUrl &url) override;
    QString clipboardText() override;
    void setClipboardText(const QString &text) override;
    void clearClipboard() override;
    void setClipboardImage(const QImage &image) override;
    QString getSaveFileName(const QString &caption, const QString &preset, const QString &filter) override;
    QString getOpenFileName(const QString &caption, const QString &filter) override;
    QString getSaveTarget(const QString &filter) override;
    bool isWindowActive(int n) override;
    void notify(int n, const QString &title, const QString &text) override;
    void setTrayToolTip(const QString &text) override;

    // The tray icon that carries notifications and the tooltip; null without a tray.
    void setTray(QSystemTrayIcon *tray);
    // The window of a form number (1 the entrance window), for activity and attention hints.
    void setWindowLookup(std::function<QWidget *(int)> lookup) { m_windowOf = std::move(lookup); }
    QString trayToolTip() const { return m_toolTip; }

    // The window over which messages, questions and file dialogs open: the
    // active window of the program, else the home window when it is on screen.
    void setHomeWindow(QWidget *window) { m_home = window; }
    QWidget *askingWindow() const;
    // Where the next file dialog starts: the folder of the last file chosen,
    // else `preferred` (documents or downloads) when it exists, else home.
    QString startFolder(QStandardPaths::StandardLocation preferred) const;

    MessageWindow *messageWindow() const { return m_message; }
    YesNoWindow *yesNoWindow() const { return m_yesNo; }
    // Closes every window this desktop opened.
    void closeAll();

    // Test hooks.
    void setUrlOpener(std::function<void(const QUrl &)> opener) { m_opener = std::move(opener); }
    void setNextFileName(const QString &name)
    {
        m_nextFileName = name;
        m_hasNextFileName = true;
    }
    QStringList playedSounds() const { return m_played; }
    QStringList shownMessages() const { return m_shown; }
    // Notifications as "title: text", the last 200.
    QStringList notifications() const { return m_notified; }

Q_SIGNALS:
    void yesNoShown();
    // A file dialog is on screen, its answer still to come.
    void fileDialogShown(QFileDialog *dialog);

private:
    QString takeNextFileName(bool &preset);
    // Puts the question on screen, in the one yes/no window.
    YesNoWindow *showQuestion(const QString &question);
    struct FileQuestion {
        QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
        QString caption;
        QString preset; // a name to offer, or a whole path
        QString filter;
        bool confirmOverwrite = true;
        QStandardPaths::StandardLocation preferred = QStandardPaths::DocumentsLocation;
    };
    QString askFile(const FileQuestion &question);

    QPointer<QWidget> m_home;
    QString m_lastFolder; // this run only: the settings files keep their own contents
    QPointer<MessageWindow> m_message;
    QPointer<QWidget> m_messageOwner, m_questionOwner; // the windows they opened over
    QPointer<YesNoWindow> m_yesNo;
    // The window of the question asked without waiting, while it is open.
    QPointer<YesNoWindow> m_laterQuestion;
    int m_lastAnswer = 0;
    std::function<void(const QUrl &)> m_opener;
    QString m_nextFileName;
    bool m_hasNextFileName = false;
    QStringList m_played;
    QStringList m_shown;
    QStringList m_notified;
    QPointer<QSystemTrayIcon> m_tray;
    std::function<QWidget *(int)> m_windowOf;
    QString m_toolTip;
    std::unique_ptr<SoundPlayer> m_sounds; // made by the first sound
    bool m_soundsTried = false;
};
