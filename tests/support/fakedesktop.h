#pragma once
// The desktop as the tests see it: every message, question, sound, opened
// address and clipboard change is recorded; questions take their answers from
// a queue (no answer left means "no"), file dialogs from the next names set.
#include "shell/desktop.h"

#include <QList>
#include <QStringList>

#include <functional>

class FakeDesktop final : public Desktop {
public:
    QStringList messages;
    QStringList questions;
    QList<int> answers; // 1 yes, -1 no, front first
    QStringList sounds;
    QList<QUrl> opened;
    QString clipboard;
    // File dialogs: what the next one returns (empty: cancelled), and what they were shown.
    QString nextOpen;
    QString nextSave;
    QStringList savePresets;
    QStringList filters;
    int opens = 0;
    // Windows the user is at (form numbers; 0 stands for any window), and what was notified.
    QList<int> activeWindows;
    struct Notice {
        int window;
        QString title;
        QString text;
    };
    QList<Notice> notices;
    QString trayToolTip;
    // A picture put on the clipboard.
    std::function<void(const QImage &)> imageCopied;

    void showMessage(const QString &text) override { messages << text; }
    int askYesNo(const QString &question) override
    {
        questions << question;
        return answers.isEmpty() ? -1 : answers.takeFirst();
    }
    void playSound(const QString &fileName) override { sounds << fileName; }
    void openUrl(const QUrl &url) override { opened << url; }
    QString clipboardText() override { return clipboard; }
    void setClipboardText(const QString &text) override { clipboard = text; }
    void clearClipboard() override { clipboard.clear(); }
    void setClipboardImage(const QImage &image) override
    {
        clipboard.clear();
        if (imageCopied) imageCopied(image);
    }
    bool isWindowActive(int n) override { return activeWindows.contains(n); }
    void notify(int n, const QString &title, const QString &text) override
    {
        notices.append({n, title, text});
    }
    void setTrayToolTip(const QString &text) override { trayToolTip = text; }
    QString getSaveFileName(const QString &, const QString &preset, const QString &filter) override
    {
        savePresets << preset;
        filters << filter;
        return nextSave;
    }
    QString getOpenFileName(const QString &, const QString &filter) override
    {
        ++opens;
        filters << filter;
        return nextOpen;
    }
};
