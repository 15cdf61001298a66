#pragma once
// Form3, "Wez Chat Board": the conversation with one partner, newest line
// first, the input line, the whiteboard and end buttons and the menus.
#include <QElapsedTimer>
#include <QHash>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

#include "chat/fontsizedialog.h"

class ChatSession;
class ClientCore;
class NewestFirstText;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;

class ChatBoardWindow final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChatBoardWindow)
public:
    // What one may type: "name> " and the text still fit in the line a partner shows.
    static constexpr int kMaxInputChars = 4000;

    // `transferWindow` gives Form8 while it is loaded, to keep it at the window's corner.
    ChatBoardWindow(ClientCore &core, ChatSession &session, std::function<QWidget *()> transferWindow,
                    QWidget *parent = nullptr);
    ~ChatBoardWindow() override;

    // The transcript as shown: lines, each ended by CR LF, newest first.
    // Lines still waiting for the next frame are shown first.
    QString displayText();
    // Puts the lines that came since the last frame on the display now.
    void showPendingLines();
    // Paints what changed now, without waiting for the next frame.
    void paintNow();
    int displayFontSize() const;
    void setDisplayFontSize(int size);
    // Runs the closing steps (unless they already ran) and deletes the window.
    void unload();

    ChatSession &session() const { return m_session; }
    QAction *menuItem(const QString &name) const { return m_actions.value(name); }
    QAction *feelingAction(int index) const;
    FontSizeDialog *fontSizeDialog() const { return m_fontDialog; }

    // For the file transfer: Command2, Command3, menuWhiteBoard, menuFtne and
    // menuClose together; once the closing steps ran they stay disabled.
    void setTransferCommandsEnabled(bool enabled);
    bool alwaysOnTop() const; // menuAllTop is checked
    void setTopMost(bool on);
    void setStatusText(const QString &text);

Q_SIGNALS:
    // The window is about to go (its destructor runs): whatever works on it stops now.
    void unloading();

protected:
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void sendLine();
    void sendFeeling(int index);
    void openWhiteboard();
    void queueLine(const QString &line);
    void endChat();
    void hangUp();
    void onHangingUp();
    void onFinished();
    void openFontDialog();
    void copySelection();
    void paste();
    void toggleTopMost();
    void forceQuit();
    void placeTransferWindow();
    bool confirmLoss(const QString &text);

    ClientCore &m_core;
    ChatSession &m_session;
    std::function<QWidget *()> m_transferWindow;
    QPlainTextEdit *m_text1;
    std::unique_ptr<NewestFirstText> m_display;
    QLineEdit *m_text2;
    QPushButton *m_buttons[3];
    QLabel *m_label1;
    QTimer *m_timer2;
    // Lines come faster than a screen shows them: the display takes them
    // once a frame, oldest first here.
    QStringList m_pendingLines;
    QTimer *m_frame;
    QElapsedTimer m_sinceShown;
    // The window paints at most once a frame: a chat brings lines and input
    // changes much faster than a screen shows them.
    QTimer *m_paintFrame;
    QElapsedTimer m_sincePainted;
    QMenu *m_menuFile = nullptr;
    QHash<QString, QAction *> m_actions;
    QList<QAction *> m_feelings;
    QPointer<FontSizeDialog> m_fontDialog;
    // True while this window runs the closing steps: the chat may finish meanwhile.
    bool m_inHangUp = false;
    bool m_finishAfterHangUp = false;
    bool m_deleting = false;
};
