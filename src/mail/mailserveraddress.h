#pragma once
// Where a mail server field points: "host" (plain, standard port, STARTTLS
// when offered), "host:port", "[v6]:port" or a URL (smtp://, smtps://,
// pop3://, pop3s://). Ports 465 and 995 without a scheme mean TLS from the
// first byte, as they do everywhere.
#include <QByteArray>
#include <QString>

enum class MailProtocol { Smtp, Pop3 };

struct MailServerAddress {
    bool valid = false;
    QString error;  // why not valid
    QByteArray url; // scheme://host:port, ready for libcurl
    bool implicitTls = false;
};

MailServerAddress parseMailServer(const QString &field, MailProtocol protocol);
