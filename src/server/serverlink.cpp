#include "server/serverlink.h"

#include "shell/socket/endpoint.h"

namespace server {

ServerLink::ServerLink(Endpoint &endpoint, DialogueFlags &flags, std::function<DialogueFields()> fields,
                       QObject *parent)
    : QObject(parent), m_endpoint(endpoint), m_flags(flags), m_fields(std::move(fields))
{
    connect(&m_endpoint, &Endpoint::dataArrival, this, &ServerLink::onDataArrival);
}

void ServerLink::onDataArrival()
{
    const QString message = m_endpoint.getData();
    if (message.isEmpty()) return;
    const ServerReaction r =
        ServerDialogue::react(message, m_flags, m_fields ? m_fields() : DialogueFields{});
    // The list hears of an entry before we ask for the next one.
    switch (r.event) {
    case ServerReaction::Event::MemberEntry:
        Q_EMIT memberEntry(r.text);
        break;
    case ServerReaction::Event::ListEnded:
        Q_EMIT listEnded();
        break;
    case ServerReaction::Event::OwnAddress:
        Q_EMIT ownAddress(r.text);
        break;
    case ServerReaction::Event::UnknownMessage:
        Q_EMIT unknownMessage(r.text);
        break;
    case ServerReaction::Event::None:
        break;
    }
    if (r.send && m_endpoint.state() == Endpoint::Connected) m_endpoint.sendData(*r.send);
    if (r.close) m_endpoint.close();
}

} // namespace server
