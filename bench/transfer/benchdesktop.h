#pragma once
// The desktop of a benchmark's client: says yes to a call, names the files the
// benchmark chose, and tells anything else it is told on stderr.
#include "shell/desktop.h"

#include <QString>
#include <QUrl>

#include <cstdio>

class BenchDesktop final : public Desktop {
public:
    QString nextOpen, nextSave;
    void showMessage(const QString &text) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    int askYesNo(const QString &) override { return 1; }
    void playSound(const QString &) override {}
    void openUrl(const QUrl &) override {}
    QString clipboardText() override { return {}; }
    void setClipboardText(const QString &) override {}
    void clearClipboard() override {}
    QString getSaveFileName(const QString &, const QString &, const QString &) override { return nextSave; }
    QString getOpenFileName(const QString &, const QString &) override { return nextOpen; }
};
