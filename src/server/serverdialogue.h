#pragma once
// The client's half of the directory dialogue on the server socket. Every
// message the server sends gets one reaction: maybe a message back, maybe
// something for the windows, maybe closing the connection. No socket here:
// the caller feeds what arrived and carries out the reaction.
//   message = code payload      ; code = the first 7 characters, payload = the rest
// A message shorter than 7 characters is all code and no payload.
#include <QString>
#include <QStringView>

#include <optional>

namespace server {

// The shared flags the dialogue reads and updates (1 set, 0 clear).
struct DialogueFlags {
    qint16 signingOff = 0;
    qint16 ipRequestActive = 0;
    qint16 profileRegistered = 0;
    qint16 quietClose = 0;
};

// What the dialogue announces, read from the entrance window when a reaction is made.
struct DialogueFields {
    QString ownAddress; // caption of the own-address display
    QString name;
    QString comment;
};

struct ServerReaction {
    enum class Event {
        None,
        MemberEntry,    // text: the entry, for the member list
        ListEnded,      // the reload button is usable again
        OwnAddress,     // text: the address to show
        UnknownMessage, // text: code + "/" + payload, for the message window
    };
    Event event = Event::None;
    QString text;
    // Sent only if the socket is connected; the flags change either way.
    std::optional<QString> send;
    bool close = false;
};

class ServerDialogue final {
public:
    static inline const QString registeredMark = QStringLiteral("\u25CB"); // "○"

    // Reacts to one received message, updating `flags` as the dialogue demands.
    static ServerReaction react(QStringView message, DialogueFlags &flags, const DialogueFields &fields);
};

} // namespace server
