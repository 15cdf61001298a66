#pragma once
// The whiteboard connection `Winsock5` on port 1202: the side that opened the
// whiteboard listens, the invited side connects to the partner. Carries "FL"
// and "CL" lines both ways; sends only while connected, never queues.
#include "shell/socket/endpoint.h"
#include "whiteboard/segmentstore.h"
#include "whiteboard/whiteboardline.h"

#include <QObject>

#include <functional>

namespace whiteboard {

class WhiteboardLink final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WhiteboardLink)
public:
    static constexpr quint16 kPort = 1202;

    explicit WhiteboardLink(const QHostAddress &bindAddress, QObject *parent = nullptr);

    // Opening side: listen on 1202. False when the port cannot be taken (the board then works alone).
    // With a partner address set, a connection from anywhere else is turned away.
    bool listen(const QString &partnerAddress = QString());
    // Invited side: connect to the partner's 1202 from any local port.
    void connectTo(const QString &partnerAddress);
    void close();

    bool isConnected() const;
    Endpoint &endpoint() { return m_endpoint; }

    void sendSegment(const Segment &segment);
    void sendClear();

    // While this answers true nothing is read: the data waits in the endpoint.
    void setHoldPredicate(std::function<bool()> hold) { m_hold = std::move(hold); }
    // Reads and applies what the endpoint holds, unless held.
    void readPending();
    // Applies text as if it had arrived (also the receive path of readPending).
    void receiveText(QStringView text);

Q_SIGNALS:
    // Only segments that can be drawn soundly arrive here; the rest are dropped.
    void segmentReceived(const whiteboard::Segment &segment);
    void clearReceived();

private:
    void onConnectionRequest(qintptr requestId);

    Endpoint m_endpoint;
    QString m_partner;
    LineReceiver m_receiver;
    std::function<bool()> m_hold;
};

} // namespace whiteboard
