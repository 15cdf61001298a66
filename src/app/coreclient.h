#pragma once
// The running client without its windows, assembled in dependency order: the
// core (shared state, sockets, files), the peer link, the whiteboard's side of
// the conversation, the chat, the file transfer, the directory server client
// and the mail check and post, each mail part on a worker thread of its own.
// The windows are built on top of it; a test drives a whole conversation with
// it and a fake desktop.
#include "app/attention.h"
#include "chat/chatsession.h"
#include "mail/mailcheck.h"
#include "mail/mailpost.h"
#include "mail/mailrunner.h"
#include "peer/peerlink.h"
#include "server/serverclient.h"
#include "shell/clientcore.h"
#include "transfer/filetransfer.h"
#include "whiteboard/whiteboardsession.h"

class CoreClient final {
    Q_DISABLE_COPY_MOVE(CoreClient)
public:
    CoreClient(const QString &dataDir, const QHostAddress &bindAddress, Desktop &desktop);

    ClientCore core;
    PeerLink link;
    whiteboard::WhiteboardSession board;
    ChatSession chat;
    transfer::FileTransfer transfer;
    server::ServerClient server;
    MailRunner checkRunner;
    MailRunner postRunner;
    MailCheck mailCheck;
    MailPost mailPost;
    Attention attention;
};
