#pragma once
// What a client sends to the directory, one message per read:
//   message = head payload
//   head    = word SP 3DIGIT          ; 7 ASCII bytes, e.g. "SRV 110", "CCK 100"
//   word    = "SRV" / "CCK"
//   payload = *OCTET                  ; code page 932 text, no terminator, no length
// A read that stops inside the head or between the two bytes of a double-byte
// character is incomplete; anything longer than maxRequestBytes is invalid.
#include <QByteArrayView>
#include <QString>

namespace directory {

inline constexpr qsizetype maxRequestBytes = 4096;

enum class RequestCode {
    Begin,       // "SRV 100": start a registration
    Address,     // "SRV 110" + own address
    Name,        // "SRV 120" + name
    Comment,     // "SRV 130" + comment
    ListOnly,    // "SRV 135"
    Next,        // "SRV 140": next list entry
    OwnAddress,  // "SRV 700"
    SignOff,     // "SRV 900" + own address
    ChatStarted, // "CCK 100"
    ChatEnded,   // "CCK 200"
    Unknown,     // a well-formed head we do not serve
};

struct Request {
    enum Status { Complete, Incomplete, Invalid };
    Status status = Invalid;
    RequestCode code = RequestCode::Unknown;
    QByteArray head;
    QString payload;
};

Request parseRequest(QByteArrayView bytes);

} // namespace directory
