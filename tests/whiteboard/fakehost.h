#pragma once
// A stand-in for the client around the whiteboard: shared state, the peer
// connection (handed straight to a partner host), message and yes/no windows,
// file dialogs with scripted answers.
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

    QStringList messages;
    QStringList questions;
    QStringList peerSent;
    int answer = -1;
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
    void showMessage(const QString &text) override { messages << text; }
    int askYesNo(const QString &question) override
    {
        questions << question;
        return answer;
    }
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

class ScriptedDialogs final : public whiteboard::WhiteboardFileDialogs {
public:
    QString nextOpen;
    QString nextSave;
    QStringList filters;
    QString openFileName(QWidget *, const QString &filter) override
    {
        filters << filter;
        return nextOpen;
    }
    QString saveFileName(QWidget *, const QString &filter) override
    {
        filters << filter;
        return nextSave;
    }
};
