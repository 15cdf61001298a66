#include "whiteboard/segmentstore.h"

namespace whiteboard {

QString nextMarker()
{
    static const QString marker = QStringLiteral("nxt");
    return marker;
}

SegmentStore::SegmentStore() : m_slots(kSlots) {}

bool SegmentStore::recordSegment(const Segment &segment)
{
    m_slots[std::size_t(m_count)] = segment;
    return advanceSegmentCount();
}

bool SegmentStore::advanceSegmentCount()
{
    ++m_count;
    if (m_count <= kMaxCount) return true;
    m_count = kMaxCount;
    if (m_onOverflow) m_onOverflow();
    return false;
}

} // namespace whiteboard
