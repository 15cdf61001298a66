#pragma once
// The whiteboard's segment store: a fixed array of 5121 slots allocated once.
// Slots 0..5119 hold what was drawn; slot 5120 is the overflow slot that every
// segment past a full store overwrites.
#include <QString>

#include <functional>
#include <vector>

namespace whiteboard {

struct Segment {
    float x1 = 0;
    float y1 = 0;
    float x2 = 0;
    float y2 = 0;
    qint16 color = 0;
    qint16 width = 0;
    QString marker;
};

// Every drawn or received segment carries this marker.
QString nextMarker();

class SegmentStore final {
    Q_DISABLE_COPY_MOVE(SegmentStore)
public:
    static constexpr int kSlots = 5121;
    static constexpr int kMaxCount = 5120;

    SegmentStore();

    // Called each time a segment goes past a full store (after the count was set back).
    void setOverflowHandler(std::function<void()> handler) { m_onOverflow = std::move(handler); }

    // Writes `segment` into the slot named by the count, then advances the count.
    // Returns false when the store overflowed.
    bool recordSegment(const Segment &segment);
    // Count + 1; past 5120 the count goes back to 5120 and the overflow handler runs.
    bool advanceSegmentCount();

    void clear() { m_count = 0; }
    int count() const { return m_count; }
    // Any slot 0..5120, also those beyond the count.
    const Segment &at(int index) const { return m_slots.at(std::size_t(index)); }

private:
    std::vector<Segment> m_slots;
    int m_count = 0;
    std::function<void()> m_onOverflow;
};

} // namespace whiteboard
