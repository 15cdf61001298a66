#include "peer/peerreceiver.h"

#include <array>

namespace peer {

namespace {
constexpr qsizetype kHeadLength = 7;

struct Entry {
    const char *head;
    Head kind;
};
// Matched in this order; the first match wins.
constexpr std::array<Entry, 17> kHeads{{
    {"con 010", Head::Post},
    {"con 020", Head::PostDone},
    {"con 100", Head::Hello},
    {"con 110", Head::Accepted},
    {"con 120", Head::Closing},
    {"con 500", Head::Request},
    {"con 520", Head::Ignored},
    {"con 525", Head::End},
    {"con 700", Head::Plugin},
    {"con 800", Head::BlockOk},
    {"con 810", Head::BlockBad},
    {"con 900", Head::Line},
    {"con 910", Head::BoardOpen},
    {"con 920", Head::BoardClose},
    {"con 925", Head::BoardClosed},
    {"con 998", Head::FileReady},
    {"con 999", Head::FileOffer},
}};
} // namespace

Head headKind(const QString &head)
{
    for (const Entry &e : kHeads)
        if (head == QLatin1String(e.head)) return e.kind;
    return Head::Unknown;
}

Message splitMessage(const QString &text)
{
    Message m;
    m.head = text.left(kHeadLength);
    m.payload = text.size() > kHeadLength ? text.mid(kHeadLength) : QString();
    m.kind = headKind(m.head);
    return m;
}

bool endsInsideCharacter(const QByteArray &bytes)
{
    auto isLead = [](uchar b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); };
    qsizetype i = 0;
    while (i < bytes.size()) {
        if (isLead(uchar(bytes[i]))) {
            if (i + 1 == bytes.size()) return true;
            i += 2;
        } else {
            ++i;
        }
    }
    return false;
}

bool Receiver::feed(const QByteArray &chunk)
{
    if (chunk.isEmpty()) return true;
    if (m_chars + m_partial.size() + chunk.size() > kMaxQueuedChars) {
        m_partial.clear();
        return false;
    }
    m_partial += chunk;
    if (endsInsideCharacter(m_partial)) return true;
    const QString text = cp932::decode(m_partial);
    m_partial.clear();
    m_queue.append(text);
    m_chars += text.size();
    return true;
}

void Receiver::clear()
{
    m_partial.clear();
    m_queue.clear();
    m_chars = 0;
}

std::optional<Message> Receiver::next()
{
    if (m_queue.isEmpty()) return std::nullopt;
    const QString text = m_queue.takeFirst();
    m_chars -= text.size();
    return splitMessage(text);
}

} // namespace peer
