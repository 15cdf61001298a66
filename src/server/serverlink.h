#pragma once
// Runs the directory dialogue on the server endpoint: each data event is one
// server message, answered as ServerDialogue decides; what the windows must
// show comes out as signals. Opening the connection is the caller's business.
#include "server/serverdialogue.h"

#include <QObject>

#include <functional>

class Endpoint;

namespace server {

class ServerLink final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ServerLink)
public:
    // `flags` and `endpoint` must outlive the link; `fields` is asked at each message.
    ServerLink(Endpoint &endpoint, DialogueFlags &flags, std::function<DialogueFields()> fields,
               QObject *parent = nullptr);

Q_SIGNALS:
    void memberEntry(const QString &entry);
    void listEnded();
    void ownAddress(const QString &address);
    void unknownMessage(const QString &text);

private:
    void onDataArrival();

    Endpoint &m_endpoint;
    DialogueFlags &m_flags;
    std::function<DialogueFields()> m_fields;
};

} // namespace server
