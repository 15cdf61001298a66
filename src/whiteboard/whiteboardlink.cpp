#include "whiteboard/whiteboardlink.h"

namespace whiteboard {

WhiteboardLink::WhiteboardLink(const QHostAddress &bindAddress, QObject *parent)
    : QObject(parent), m_endpoint(QStringLiteral("Winsock5"), bindAddress)
{
    connect(&m_endpoint, &Endpoint::connectionRequest, this, &WhiteboardLink::onConnectionRequest);
    connect(&m_endpoint, &Endpoint::dataArrival, this, [this](qint64) { readPending(); });
}

bool WhiteboardLink::listen(const QString &partnerAddress)
{
    m_partner = partnerAddress;
    m_endpoint.setLocalPort(kPort);
    return m_endpoint.listen();
}

void WhiteboardLink::connectTo(const QString &partnerAddress)
{
    m_endpoint.setLocalPort(0);
    m_endpoint.connectToHost(partnerAddress, kPort);
}

void WhiteboardLink::close()
{
    m_endpoint.close();
}

bool WhiteboardLink::isConnected() const
{
    return m_endpoint.state() == Endpoint::Connected;
}

void WhiteboardLink::onConnectionRequest(qintptr requestId)
{
    // The first partner to call takes the endpoint; listening ends with it.
    if (m_endpoint.state() != Endpoint::Closed) m_endpoint.close();
    m_endpoint.accept(requestId);
    if (!m_partner.isEmpty() && m_endpoint.remoteHostIP() != m_partner) {
        // Only the chat partner may draw here: back to listening for it.
        m_endpoint.close();
        m_endpoint.listen();
    }
}

void WhiteboardLink::sendSegment(const Segment &segment)
{
    if (isConnected()) m_endpoint.sendData(encodeSegmentLine(segment));
}

void WhiteboardLink::sendClear()
{
    if (isConnected()) m_endpoint.sendData(encodeClearLine());
}

void WhiteboardLink::readPending()
{
    if (m_hold && m_hold()) return;
    if (m_endpoint.bytesAvailable() == 0) return;
    receiveText(m_endpoint.getData());
}

void WhiteboardLink::receiveText(QStringView text)
{
    const QStringList lines = m_receiver.feed(text);
    for (const QString &line : lines) {
        const ParsedLine parsed = parseLine(line);
        if (parsed.kind == ParsedLine::SegmentLine) {
            if (const auto segment = makeSegment(parsed.x1, parsed.y1, parsed.x2, parsed.y2, parsed.color,
                                                 parsed.width, nextMarker()))
                Q_EMIT segmentReceived(*segment);
        } else if (parsed.kind == ParsedLine::ClearLine) {
            Q_EMIT clearReceived();
        }
    }
}

} // namespace whiteboard
