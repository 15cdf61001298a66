#pragma once
// Where the control connection on port 1200 stands, and which messages each
// stage admits. Whoever can reach the port can send anything, so a message is
// acted on only when it answers something this side did: "con 110" only on
// the connection of our own call after our request, "con 500" once from a
// caller that has just connected, chat messages only inside an open chat.
// Everything else is dropped before it can open a window or change state.
#include "peer/peerreceiver.h"

#include <QString>

namespace peer {

enum class Phase {
    Idle,           // no connection of ours
    Calling,        // we connected to call; waiting for "con 100"
    AwaitingAnswer, // we sent "con 500"; waiting for "con 110"
    Posting,        // we connected to deliver a post; waiting for "con 100"
    PostSent,       // the post is out; waiting for "con 020"
    Accepted,       // someone connected to us; waiting for "con 500" or "con 010"
    Asking,         // the user decides about a chat request
    PostReceived,   // a post was shown; the sender hangs up next
    Chatting,       // a chat is open with this connection's partner
    Ending,         // our chat window closed; only the goodbye is left
};

// True while the connection is still being set up: such a connection has a
// time limit, so a silent caller cannot hold the port.
bool isSettingUp(Phase phase);

class Conversation final {
public:
    // A new connection: ours (a chat or a post) or one we accepted.
    void startCall(bool post);
    void startAccepted();
    // The connection is gone; nothing more is admitted until the next one.
    void end();

    Phase phase() const { return m_phase; }
    // Counts connections, so an answer given for one never applies to the next.
    quint64 generation() const { return m_generation; }

    // Whether `kind` fits the current stage; if so, moves to the stage it leads to.
    // `answerWaitActive` is the caller's own answer timer: a "con 110" after it
    // ran out no longer opens a chat.
    bool admit(Head kind, bool answerWaitActive = true);
    // Our chat window closed: from now on only "con 120" and "con 525" count.
    void leaveChat();
    // The user's answer to the chat request of this connection: 1 yes, -1 no.
    // True when the chat opens.
    bool answer(int answer);

private:
    Phase m_phase = Phase::Idle;
    quint64 m_generation = 0;
};

} // namespace peer
