#include "peer/conversation.h"

namespace peer {

bool isSettingUp(Phase phase)
{
    return phase != Phase::Idle && phase != Phase::Chatting && phase != Phase::Ending;
}

void Conversation::startCall(bool post)
{
    ++m_generation;
    m_phase = post ? Phase::Posting : Phase::Calling;
}

void Conversation::startAccepted()
{
    ++m_generation;
    m_phase = Phase::Accepted;
}

void Conversation::leaveChat()
{
    if (m_phase == Phase::Chatting) m_phase = Phase::Ending;
}

void Conversation::end()
{
    if (m_phase != Phase::Idle) ++m_generation;
    m_phase = Phase::Idle;
}

bool Conversation::admit(Head kind, bool answerWaitActive)
{
    const auto moveTo = [this](Phase next) {
        m_phase = next;
        return true;
    };
    switch (kind) {
    case Head::Ignored:
        return true;
    case Head::Hello:
        if (m_phase == Phase::Calling) return moveTo(Phase::AwaitingAnswer);
        if (m_phase == Phase::Posting) return moveTo(Phase::PostSent);
        return false;
    case Head::Request:
        return m_phase == Phase::Accepted && moveTo(Phase::Asking);
    case Head::Post:
        return m_phase == Phase::Accepted && moveTo(Phase::PostReceived);
    case Head::PostDone:
        if (m_phase != Phase::PostSent) return false;
        end();
        return true;
    case Head::Accepted:
        return m_phase == Phase::AwaitingAnswer && answerWaitActive && moveTo(Phase::Chatting);
    case Head::End:
        if (m_phase != Phase::AwaitingAnswer && m_phase != Phase::Asking && m_phase != Phase::Chatting &&
            m_phase != Phase::Ending)
            return false;
        end();
        return true;
    case Head::Closing:
        return m_phase == Phase::Chatting || m_phase == Phase::Ending;
    case Head::Plugin:
    case Head::BlockOk:
    case Head::BlockBad:
    case Head::Line:
    case Head::BoardOpen:
    case Head::BoardClose:
    case Head::BoardClosed:
    case Head::FileReady:
    case Head::FileOffer:
    case Head::Unknown:
        return m_phase == Phase::Chatting;
    }
    return false;
}

bool Conversation::answer(int answer)
{
    if (m_phase != Phase::Asking) return false;
    if (answer == 1) {
        m_phase = Phase::Chatting;
        return true;
    }
    end();
    return false;
}

} // namespace peer
