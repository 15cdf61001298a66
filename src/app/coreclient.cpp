#include "app/coreclient.h"

#include "mail/ondemandmailservice.h"

namespace {
std::shared_ptr<MailService> mailService(const QString &dataDir, const QHostAddress &bind)
{
    MailOptions o;
    o.dataDir = dataDir;
    // Mail connections leave from the client's own address like all the others.
    if (!bind.isNull() && bind != QHostAddress::Any && bind != QHostAddress::AnyIPv4 &&
        bind != QHostAddress::AnyIPv6)
        o.bindAddress = bind.toString();
    return std::make_shared<OnDemandMailService>(o);
}
} // namespace

CoreClient::CoreClient(const QString &dataDir, const QHostAddress &bindAddress, Desktop &desktop)
    : core(dataDir, bindAddress, desktop), link(core), board(core, link), chat(core, link, board),
      transfer(core, link, chat), server(core), checkRunner(mailService(dataDir, bindAddress)),
      postRunner(mailService(dataDir, bindAddress)), mailCheck(core, checkRunner), mailPost(core, postRunner),
      attention(core, link, chat)
{
    mailCheck.setObjectName(QStringLiteral("MailCheck"));
    mailPost.setObjectName(QStringLiteral("MailPost"));
}
