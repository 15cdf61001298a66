#pragma once
// Each subsystem plugs its logic and windows into a started client here, so the
// composition root stays one list and the subsystems stay in their folders.
class Client;

void installPeer(Client &client);     // src/peer: peer protocol, status timers, entrance commands
void installChat(Client &client);     // src/chat: chat window and its menus
void installServer(Client &client);   // src/server: directory dialogue, member list, server and proxy windows
void installTransfer(Client &client); // src/transfer: file transfer
void installWhiteboard(Client &client); // src/whiteboard: shared whiteboard
void installMail(Client &client);       // src/mail: mail check and message post by mail
