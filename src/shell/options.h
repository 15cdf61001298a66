#pragma once
// The command line: wez [--data-dir DIR] [--bind ADDRESS]
#include <QHostAddress>
#include <QString>
#include <QStringList>

struct Options {
    QString dataDir;
    QHostAddress bindAddress; // null: any
    QString error;            // set when the command line could not be understood

    static Options parse(const QStringList &arguments);
};
