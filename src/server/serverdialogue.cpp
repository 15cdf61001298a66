#include "server/serverdialogue.h"

namespace server {

ServerReaction ServerDialogue::react(QStringView message, DialogueFlags &flags, const DialogueFields &fields)
{
    const QStringView code = message.left(7);
    const QStringView payload = message.size() > 7 ? message.mid(7) : QStringView();
    ServerReaction r;
    const auto is = [&](const char *c) { return code == QLatin1String(c); };

    if (is("SRV 099")) {
        // One greeting, one purpose: leaving beats asking, asking beats listing.
        if (flags.signingOff == 1) {
            r.send = QStringLiteral("SRV 900") + fields.ownAddress;
        } else if (flags.ipRequestActive == 1) {
            r.send = QStringLiteral("SRV 700");
            flags.ipRequestActive = 0;
        } else if (flags.profileRegistered == 1) {
            r.send = QStringLiteral("SRV 135");
        } else {
            r.send = QStringLiteral("SRV 100");
            flags.profileRegistered = 1;
        }
    } else if (is("SRV 500")) {
        r.send = QStringLiteral("SRV 110") + fields.ownAddress;
    } else if (is("SRV 510")) {
        r.send = QStringLiteral("SRV 120") + registeredMark + fields.name;
    } else if (is("SRV 520")) {
        r.send = QStringLiteral("SRV 130") + fields.comment;
    } else if (is("SRV 530")) {
        r.event = ServerReaction::Event::MemberEntry;
        r.text = payload.toString();
        r.send = QStringLiteral("SRV 140");
    } else if (is("SRV 540")) {
        r.event = ServerReaction::Event::ListEnded;
        r.close = true;
        flags.quietClose = 1;
    } else if (is("SRV 710")) {
        r.event = ServerReaction::Event::OwnAddress;
        r.text = payload.toString();
        r.close = true;
    } else {
        r.event = ServerReaction::Event::UnknownMessage;
        r.text = code.toString() + QLatin1Char('/') + payload.toString();
    }
    return r;
}

} // namespace server
