#pragma once
// Peer control messages as they arrive on port 1200.
//
// Wire grammar: message = head payload ; head = "con" SP 3DIGIT ; payload = *CHAR
// (code page 932). No terminator and no length: the end of one received chunk
// is the end of one message. Each chunk is queued as it came, so any character,
// "}" included, may stand in a payload. A chunk that ends inside a double-byte
// character is not an end: its text is completed by the next chunk.
#include "shell/socket/cp932.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace peer {

// What a head asks for; Unknown falls to the default reaction.
enum class Head {
    Post,        // con 010
    PostDone,    // con 020
    Hello,       // con 100
    Accepted,    // con 110
    Closing,     // con 120
    Request,     // con 500
    Ignored,     // con 520
    End,         // con 525
    Plugin,      // con 700
    BlockOk,     // con 800
    BlockBad,    // con 810
    Line,        // con 900
    BoardOpen,   // con 910
    BoardClose,  // con 920
    BoardClosed, // con 925
    FileReady,   // con 998
    FileOffer,   // con 999
    Unknown,
};

struct Message {
    QString head;    // the first 7 characters (fewer when the message is shorter)
    QString payload; // the characters from the 8th on
    Head kind = Head::Unknown;
};

// Head and payload of one received message, by character position.
Message splitMessage(const QString &text);
Head headKind(const QString &head);

// True when `bytes` end with the lead byte of a double-byte character.
bool endsInsideCharacter(const QByteArray &bytes);

// Received chunks waiting to be dispatched, oldest first. Bounded: a partner
// that floods the connection while a handler waits loses its newest chunks,
// never the program's memory.
class Receiver final {
public:
    static constexpr qsizetype kMaxQueuedChars = 4 * 1024 * 1024;

    // Queues one received chunk as one message; false when it was dropped for the bound.
    bool feed(const QByteArray &chunk);
    std::optional<Message> next();
    bool isEmpty() const { return m_queue.isEmpty(); }
    qsizetype size() const { return m_queue.size(); }
    // A new connection: nothing the last one left, queued or half a character, is kept.
    void clear();

private:
    QList<QString> m_queue;
    qsizetype m_chars = 0;
    QByteArray m_partial;
};

} // namespace peer
