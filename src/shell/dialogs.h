#pragma once
// The small shared windows: the message window (Form10), the yes/no window
// (Form11) and the exit progress window (Form2).
#include <QDialog>
#include <QWidget>

class QKeyEvent;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// Form10: one window; a new message replaces the text of the one on screen.
class MessageWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MessageWindow)
public:
    explicit MessageWindow(QWidget *parent = nullptr);
    void setText(const QString &text);
    QString text() const;

Q_SIGNALS:
    void closing();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QPlainTextEdit *m_text;
    QPushButton *m_ok;
};

// Form11: answers 1 ("はい") or -1 ("いいえ", or the close box).
class YesNoWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(YesNoWindow)
public:
    explicit YesNoWindow(QWidget *parent = nullptr);
    void setText(const QString &text);
    QString text() const;

Q_SIGNALS:
    void answered(int answer);

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void answer(int value);
    QPlainTextEdit *m_text;
    QPushButton *m_yes;
    bool m_answered = false;
};

// Places a window not yet shown over the window that asked: centred on it,
// whole on its screen, and kept above it by the window manager (the asker is
// its transient parent, not its owner, so the window outlives an asker that
// closes meanwhile). Without an asker: the middle of the screen.
void placeOver(QWidget *window, QWidget *asker);
// Shows a message or question window, placed over the asker the first time;
// a window already on screen keeps its place.
void showOver(QWidget *window, QWidget *asker);

// Form2: shown while the program shuts down.
class ProgressWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProgressWindow)
public:
    explicit ProgressWindow(QWidget *parent = nullptr);
};
