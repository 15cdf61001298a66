#include "server/serverclient.h"

#include "server/serverlink.h"
#include "shell/clientcore.h"

namespace server {

namespace {
const QString kCrLf = QStringLiteral("\r\n");
} // namespace

QString ServerClient::addressFrame(int k)
{
    return QStringLiteral("Connect") + QString(2 * (k % 5), QLatin1Char('.'));
}

ServerClient::ServerClient(ClientCore &core, QObject *parent) : QObject(parent), m_core(core)
{
    Endpoint &w2 = core.winsock2();
    // The dialogue works on its own copy of the flags: copied in just before the
    // link reacts to a message and back right after, so both slots must
    // bracket the link's own (slots run in the order they were connected).
    connect(&w2, &Endpoint::dataArrival, this, &ServerClient::flagsIn);
    m_link = new ServerLink(
        w2, m_flags,
        [this] {
            const EntranceState &e = m_core.entrance();
            return DialogueFields{e.addressText(), e.name(), e.comment()};
        },
        this);
    connect(&w2, &Endpoint::dataArrival, this, [this] {
        flagsOut();
        // Each answer gives the server the whole limit again for the next one.
        if (m_purpose != Purpose::None && m_purpose != Purpose::SignOff) m_limit.start(m_waitMs);
    });

    connect(m_link, &ServerLink::memberEntry, this, [this](const QString &entry) {
        if (m_members.size() >= kMaxMembers) return;
        m_members.append(entry);
        Q_EMIT memberEntry(entry);
    });
    connect(m_link, &ServerLink::listEnded, this, &ServerClient::reloadUsable);
    connect(m_link, &ServerLink::ownAddress, this, [this](const QString &address) {
        m_addressShown = true;
        m_animation.stop();
        m_core.entrance().setAddressText(address);
    });
    connect(m_link, &ServerLink::unknownMessage, this,
            [this](const QString &text) { m_core.desktop().showMessage(text.left(kMaxShownText)); });

    connect(&w2, &Endpoint::stateChanged, this, &ServerClient::onStateChanged);
    connect(&w2, &Endpoint::error, this, &ServerClient::onError);
    // The server hung up before the exchange was through.
    connect(&w2, &Endpoint::closed, this, [this] { fail(m_purpose != Purpose::SignOff); });

    m_limit.setSingleShot(true);
    connect(&m_limit, &QTimer::timeout, this, [this] { fail(true); });
    connect(&m_animation, &QTimer::timeout, this, &ServerClient::nextFrame);

    // The exit's sign-off connects Winsock2 itself; from here the exchange is ours.
    core.setSignOffDialogue([this] {
        if (m_purpose != Purpose::None) endExchange();
        m_purpose = Purpose::SignOff;
    });
}

ServerClient::~ServerClient()
{
    m_core.setSignOffDialogue({});
}

void ServerClient::flagsIn()
{
    const SharedState &s = m_core.state();
    m_flags = {s.signingOff, s.ipRequestActive, s.profileRegistered, s.quietClose};
}

void ServerClient::flagsOut()
{
    SharedState &s = m_core.state();
    s.ipRequestActive = m_flags.ipRequestActive;
    s.profileRegistered = m_flags.profileRegistered;
    s.quietClose = m_flags.quietClose;
}

void ServerClient::begin(Purpose purpose)
{
    if (m_purpose != Purpose::None) endExchange();
    Endpoint &w2 = m_core.winsock2();
    w2.close();
    m_purpose = purpose;
    m_addressShown = false;
    w2.setLocalPort(0);
    m_limit.start(m_waitMs);
    w2.connectToHost(m_core.state().serverAddress, ClientCore::kServerPort);
}

void ServerClient::connectToServer()
{
    // Each list starts empty, whether a window opens or reloads.
    m_members.clear();
    Q_EMIT membersCleared();
    m_core.state().quietClose = 0;
    begin(Purpose::List);
}

void ServerClient::requestOwnAddress()
{
    EntranceState &e = m_core.entrance();
    m_core.state().ipRequestActive = 1;
    e.setRegisterEnabled(false);
    e.setAddressEnabled(false);
    m_frame = 0;
    e.setAddressText(addressFrame(0));
    begin(Purpose::Address);
    if (m_purpose == Purpose::Address) m_animation.start(kFrameMs);
}

void ServerClient::nextFrame()
{
    m_frame = (m_frame + 1) % 5;
    m_core.entrance().setAddressText(addressFrame(m_frame));
}

void ServerClient::onStateChanged(int state)
{
    if (m_purpose == Purpose::None) return;
    if (state == Endpoint::Connected) {
        if (m_purpose == Purpose::Address) {
            // Connected: the buttons are free again; the greeting brings the address.
            m_animation.stop();
            m_core.entrance().setRegisterEnabled(true);
            m_core.entrance().setAddressEnabled(true);
        }
        if (m_purpose != Purpose::SignOff) m_limit.start(m_waitMs);
    } else if (state == Endpoint::Closed) {
        endExchange();
    }
}

void ServerClient::endExchange()
{
    const Purpose p = m_purpose;
    m_purpose = Purpose::None;
    m_limit.stop();
    m_animation.stop();
    if (p == Purpose::List) Q_EMIT reloadUsable();
    if (p == Purpose::Address && !m_addressShown) {
        // Another exchange took the socket before the address came.
        EntranceState &e = m_core.entrance();
        e.setAddressText(kAddressIdleText);
        e.setRegisterEnabled(true);
        e.setAddressEnabled(true);
        m_core.state().ipRequestActive = 0;
    }
}

void ServerClient::fail(bool tell)
{
    const Purpose p = m_purpose;
    if (p == Purpose::None) return;
    m_purpose = Purpose::None;
    m_limit.stop();
    m_animation.stop();
    Desktop &desktop = m_core.desktop();
    EntranceState &e = m_core.entrance();
    switch (p) {
    case Purpose::List:
        m_core.winsock2().close();
        if (tell) desktop.showMessage(kRegisterFailed);
        e.setRegisterEnabled(true);
        Q_EMIT reloadUsable();
        break;
    case Purpose::Address:
        if (tell) desktop.showMessage(kAddressFailed);
        e.setAddressText(kAddressIdleText);
        m_core.winsock2().close();
        e.setRegisterEnabled(true);
        e.setAddressEnabled(true);
        m_core.state().ipRequestActive = 0;
        break;
    case Purpose::SignOff:
        // Closing ends the exit's wait at once; nothing more can be done.
        m_core.winsock2().close();
        break;
    case Purpose::None:
        break;
    }
}

void ServerClient::onError(int number, const QString &description)
{
    // At exit the sign-off has its own single message after its wait; a
    // socket error there would only be a second window that vanishes at once.
    if (m_purpose == Purpose::SignOff) return;
    // The own-address lookup ends at once too, with the message its time limit would give.
    if (m_purpose == Purpose::Address) {
        fail(true);
        return;
    }
    m_core.desktop().showMessage(QStringLiteral("Code:") + QString::number(number) + QStringLiteral(" = ") +
                                 description + kCrLf + kCrLf +
                                 QStringLiteral("接続できませんでした。しばらくしてから接続してください"));
    // The error was the answer: waiting on would only delay the same outcome.
    fail(false);
}

} // namespace server
