#pragma once
// The command line: wez [--data-dir DIR] [--bind ADDRESS] | --help | --version
#include <QHostAddress>
#include <QString>
#include <QStringList>

struct Options {
    QString dataDir;
    QHostAddress bindAddress; // null: any
    QString message;          // --help or --version: print this on standard output and exit 0
    QString error;            // set when the command line could not be understood

    static Options parse(const QStringList &arguments);
    // The text --version prints: the program's name and release.
    static QString versionText();
};
