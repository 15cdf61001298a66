#include "directory/requestparser.h"

#include "shell/socket/cp932.h"

namespace directory {
namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// True while `bytes` (shorter than a head) could still grow into one.
bool headPrefix(QByteArrayView bytes)
{
    static constexpr char srv[] = "SRV ";
    static constexpr char cck[] = "CCK ";
    bool asSrv = true, asCck = true;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (i < 4) {
            asSrv = asSrv && c == srv[i];
            asCck = asCck && c == cck[i];
        } else if (!isDigit(c)) {
            return false;
        }
    }
    return asSrv || asCck;
}

bool isLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// A payload whose last byte opens a double-byte character has not fully arrived.
bool endsInsideCharacter(QByteArrayView payload)
{
    bool lead = false;
    for (qsizetype i = 0; i < payload.size(); ++i)
        lead = !lead && isLeadByte(static_cast<unsigned char>(payload[i]));
    return lead;
}

RequestCode codeOf(QByteArrayView head)
{
    struct Known {
        const char *head;
        RequestCode code;
    };
    static constexpr Known known[] = {
        {"SRV 100", RequestCode::Begin},       {"SRV 110", RequestCode::Address},
        {"SRV 120", RequestCode::Name},        {"SRV 130", RequestCode::Comment},
        {"SRV 135", RequestCode::ListOnly},    {"SRV 140", RequestCode::Next},
        {"SRV 700", RequestCode::OwnAddress},  {"SRV 900", RequestCode::SignOff},
        {"CCK 100", RequestCode::ChatStarted}, {"CCK 200", RequestCode::ChatEnded},
    };
    for (const Known &k : known) {
        if (head == QByteArrayView(k.head)) return k.code;
    }
    return RequestCode::Unknown;
}

} // namespace

Request parseRequest(QByteArrayView bytes)
{
    Request r;
    if (bytes.size() > maxRequestBytes) return r;
    if (bytes.size() < 7) {
        if (headPrefix(bytes)) r.status = Request::Incomplete;
        return r;
    }
    const QByteArrayView head = bytes.first(7);
    if (!headPrefix(head)) return r;
    const QByteArrayView payload = bytes.sliced(7);
    if (endsInsideCharacter(payload)) {
        r.status = Request::Incomplete;
        return r;
    }
    r.status = Request::Complete;
    r.head = head.toByteArray();
    r.code = codeOf(head);
    r.payload = cp932::decode(payload.toByteArray());
    return r;
}

} // namespace directory
