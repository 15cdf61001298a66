#pragma once
// A stand-in for the client around the whiteboard: its state, the peer
// connection (handed straight to a partner host), and the recording desktop
// behind the message and yes/no windows and the file dialogs.
#include "fakedesktop.h"
#include "whiteboard/whiteboardfiledialogs.h"
#include "whiteboard/whiteboardhost.h"
#include "whiteboard/whiteboardwindow.h"

#include <QPointer>
#include <QStringList>
#include <QTimer>

class FakeHost final : public whiteboard::WhiteboardHost {
public:
    int state = 0;
    bool transfer = false;
    bool peer = true;
    QString partner;
    QHostAddress bind;
    FakeHost *partnerHost = nullptr;
    QPointer<whiteboard::WhiteboardWindow> window;

    FakeDesktop desk;
    QStringList peerSent;
    bool windowOpen = false;
    qint16 left = -1, top = -1;

    int whiteboardState() const override { return state; }
    void setWhiteboardState(int s) override
    {
        state = s;
        Q_EMIT whiteboardStateChanged();
    }
    bool transferActive() const override { return transfer; }
    bool peerConnected() const override { return peer; }
    void sendPeerMessage(const QString &message) override
    {
        if (!peer) return;
        peerSent << message;
        if (FakeHost *p = partnerHost)
            QTimer::singleShot(0, p, [p, message] { p->receivePeerMessage(message); });
    }
    QString partnerAddress() const override { return partner; }
    QHostAddress bindAddress() const override { return bind; }
    void showMessage(const QString &text) override { desk.showMessage(text); }
    int askYesNo(const QString &question) override { return desk.askYesNo(question); }
    void setWhiteboardWindowOpen(bool open) override { windowOpen = open; }
    void recordWhiteboardPosition(qint16 l, qint16 t) override { left = l, top = t; }

    // What the peer protocol does with the whiteboard messages.
    void receivePeerMessage(const QString &message)
    {
        if (message == QLatin1String("con 920")) {
            setWhiteboardState(0);
            if (window) window->closeByPartner();
            sendPeerMessage(QStringLiteral("con 925"));
        } else if (message == QLatin1String("con 925")) {
            setWhiteboardState(0);
        }
    }
};

// The board's file dialogs, answered by a host's desktop.
class ScriptedDialogs final : public whiteboard::WhiteboardFileDialogs {
public:
    explicit ScriptedDialogs(FakeDesktop &desk) : m_desk(desk) {}
    QStringList filters;
    QString openFileName(QWidget *, const QString &filter) override
    {
        filters << filter;
        return m_desk.getOpenFileName({}, filter);
    }
    QString saveFileName(QWidget *, const QString &filter) override
    {
        filters << filter;
        return m_desk.getSaveFileName({}, {}, filter);
    }

private:
    FakeDesktop &m_desk;
};
