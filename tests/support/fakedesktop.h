#pragma once
// The desktop as the tests see it: every message, question, sound, opened
// address and clipboard change is recorded; questions take their answers from
// a queue (no answer left means "no"), file dialogs from the next names set.
#include "shell/desktop.h"

#include <QList>
#include <QStringList>

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
    int opens = 0;

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
    QString getSaveFileName(const QString &, const QString &preset, const QString &) override
    {
        savePresets << preset;
        return nextSave;
    }
    QString getOpenFileName(const QString &, const QString &) override
    {
        ++opens;
        return nextOpen;
    }
};
