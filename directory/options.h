#pragma once
// The command line:
//   wez-directory [--bind ADDRESS] [--database FILE|URL] [--idle-timeout SECONDS] [--exchange-limit SECONDS]
//                 [--expire-after SECONDS] [--max-connections N] [--max-per-host N]
//                 [--max-members-per-host N]
//   wez-directory --help | --version
//   wez-directory --notice TEXT [--notice-to HOST]... [--notice-port PORT] [--bind ADDRESS] [--database
//   FILE|URL]
#include "directory/directoryserver.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace directory {

struct Options {
    ServerConfig config;           // database empty: none given, the caller picks the default file
    bool bindGiven = false;        // the notice sender binds only when told to
    std::optional<QString> notice; // send this to every member (or --notice-to), then exit
    QStringList noticeTo;
    quint16 noticePort = 1205;
    QString help;  // set for --help and --version: print it and exit
    QString error; // set when the command line could not be understood

    static Options parse(const QStringList &arguments);
};

} // namespace directory
