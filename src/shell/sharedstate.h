#pragma once
// State shared by every part of the client, reset at start-up. Flags are 16-bit,
// 1 set and 0 clear, because the files and the peers see them that way.
#include "shell/version.h"

#include <QElapsedTimer>
#include <QString>

#include <array>
#include <cstdint>

// Window numbers used as indexes of windowOpen.
enum WindowNumber : int {
    ChatWindow = 3,
    WhiteboardWindow = 4,
    MessagePostWindow = 5,
    MemberListWindow = 6,
    AdvertisementWindow = 7,
    TransferWindow = 8,
};

struct WindowPosition {
    int16_t left = 0; // twips
    int16_t top = 0;
};

struct MailSettings {
    QString mailAddress;
    QString smtpServer;
    QString pop3Server;
    QString mailAccount;
    QString mailPassword;
    QString checkInterval;
    bool operator==(const MailSettings &) const = default;
};

inline const QString kDefaultServerAddress = QStringLiteral("127.0.0.1");
// Shown in captions and sent to peers after "con 100"; R1010 is the build number of this release.
inline const QString kVersionText = QStringLiteral("Wez ver " WEZ_VERSION " R1010");

struct SharedState {
    QString serverAddress = kDefaultServerAddress;
    QString proxyAddress = QStringLiteral("no");

    int16_t serverRegistered = 0;
    int16_t profileRegistered = 0;
    int16_t ipRequestActive = 0;
    int16_t signingOff = 0;
    int16_t operationBusy = 0;
    int16_t quietClose = 0;
    int16_t messagePostMode = 0;
    int16_t whiteboardState = 0; // 0 none, 1 opened here, 2 opened by the partner
    int16_t confirmAnswer = 0;
    int16_t minuteCount = 0;

    // File transfer.
    int16_t transferActive = 0;
    QString recvFileName;
    int32_t recvLastBlock = 0;
    int16_t peerReady = 0;
    int16_t blockAck = 0;
    int16_t receivingSide = 0;
    QElapsedTimer lastRecvTime;

    std::array<int16_t, 11> windowOpen{};
    // The message post window shows a post being written (not received posts).
    bool postDrafting = false;

    WindowPosition entrancePosition;
    WindowPosition chatPosition;
    WindowPosition whiteboardPosition;
    WindowPosition postPosition;
    WindowPosition memberListPosition;

    MailSettings mail;

    bool isOpen(WindowNumber n) const { return windowOpen[n] == 1; }
    void setOpen(WindowNumber n, bool open) { windowOpen[n] = open ? 1 : 0; }
};
