#include "transfer/transferhost.h"

#include "peer/peerlink.h"
#include "shell/clientcore.h"

namespace transfer {

SharedState &CoreTransferHost::state()
{
    return m_core.state();
}

Desktop &CoreTransferHost::desktop()
{
    return m_core.desktop();
}

QString CoreTransferHost::dataPath(const QString &fileName) const
{
    return m_core.path(fileName);
}

QHostAddress CoreTransferHost::bindAddress() const
{
    return m_core.bindAddress();
}

QString CoreTransferHost::ownName() const
{
    return m_core.entrance().name();
}

bool CoreTransferHost::controlConnected() const
{
    return m_link.connected();
}

void CoreTransferHost::sendControl(const QString &message)
{
    m_link.send(message);
}

QString CoreTransferHost::partnerAddress() const
{
    return m_core.winsock1().remoteHostIP();
}

} // namespace transfer
