#include "mail/mailserveraddress.h"

namespace {

bool hostCharOk(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') ||
           c == QLatin1Char('.') || c == QLatin1Char('_');
}

bool v6CharOk(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('F')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char(':') || c == QLatin1Char('.');
}

MailServerAddress invalid(const QString &why)
{
    MailServerAddress a;
    a.error = why;
    return a;
}

} // namespace

MailServerAddress parseMailServer(const QString &field, MailProtocol protocol)
{
    const bool smtp = protocol == MailProtocol::Smtp;
    const QString plainScheme = smtp ? QStringLiteral("smtp") : QStringLiteral("pop3");
    const QString tlsScheme = plainScheme + QLatin1Char('s');
    QString rest = field.trimmed();
    if (rest.isEmpty()) return invalid(QStringLiteral("サーバが記入されていません"));
    if (rest.size() > 300) return invalid(QStringLiteral("サーバ名が長すぎます"));

    bool tls = false;
    bool schemeGiven = false;
    if (const qsizetype sep = rest.indexOf(QLatin1String("://")); sep >= 0) {
        const QString scheme = rest.left(sep).toLower();
        if (scheme == tlsScheme)
            tls = true;
        else if (scheme != plainScheme)
            return invalid(QStringLiteral("「%1」は使えません（%2:// か %3:// を使ってください）")
                               .arg(rest.left(sep), plainScheme, tlsScheme));
        schemeGiven = true;
        rest = rest.mid(sep + 3);
        if (const qsizetype slash = rest.indexOf(QLatin1Char('/')); slash >= 0)
            rest.truncate(slash); // a path means nothing here
    }

    QString host;
    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return invalid(QStringLiteral("サーバのアドレス「%1」が正しくありません").arg(field.trimmed()));
        host = rest.mid(1, close - 1);
        for (QChar c : host)
            if (!v6CharOk(c))
                return invalid(
                    QStringLiteral("サーバのアドレス「%1」が正しくありません").arg(field.trimmed()));
        const QString after = rest.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(QLatin1Char(':')))
            return invalid(QStringLiteral("サーバのアドレス「%1」が正しくありません").arg(field.trimmed()));
        portText = after.mid(1);
        if (after.isEmpty())
            portText.clear();
        else if (portText.isEmpty())
            return invalid(QStringLiteral("「%1」のポート番号が正しくありません").arg(field.trimmed()));
        host = QLatin1Char('[') + host + QLatin1Char(']');
    } else {
        const qsizetype colon = rest.indexOf(QLatin1Char(':'));
        host = colon >= 0 ? rest.left(colon) : rest;
        if (colon >= 0) {
            portText = rest.mid(colon + 1);
            if (portText.isEmpty())
                return invalid(QStringLiteral("「%1」のポート番号が正しくありません").arg(field.trimmed()));
        }
        for (QChar c : host)
            if (!hostCharOk(c))
                return invalid(QStringLiteral("サーバ名「%1」が正しくありません").arg(field.trimmed()));
    }
    if (host.isEmpty() || host == QLatin1String("[]"))
        return invalid(QStringLiteral("サーバが記入されていません"));

    int port = 0;
    if (!portText.isEmpty()) {
        bool ok = false;
        port = portText.toInt(&ok);
        for (QChar c : portText)
            if (!c.isDigit()) ok = false;
        if (!ok || port < 1 || port > 65535)
            return invalid(QStringLiteral("「%1」のポート番号が正しくありません").arg(field.trimmed()));
        if (!schemeGiven && port == (smtp ? 465 : 995)) tls = true;
    } else {
        port = smtp ? (tls ? 465 : 25) : (tls ? 995 : 110);
    }

    MailServerAddress a;
    a.valid = true;
    a.implicitTls = tls;
    a.url = ((tls ? tlsScheme : plainScheme) + QLatin1String("://") + host + QLatin1Char(':') +
             QString::number(port))
                .toLatin1();
    return a;
}
