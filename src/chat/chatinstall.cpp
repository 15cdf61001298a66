#include "shell/features.h"

#include "shell/client.h"

// The chat window is opened by the peer link (PeerWindows) when a chat is
// accepted; there is nothing to wire before that.
void installChat(Client &) {}
