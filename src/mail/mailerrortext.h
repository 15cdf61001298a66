#pragma once
// What a failed mail call tells the user: a Japanese sentence for the
// transfer library's result, then the server's own reply word for word,
// which is often the only precise clue (a refused recipient, a bad login).
#include <QString>

namespace mailerror {

// `libraryCode` is the transfer library's result; `refused` says the server
// answered with an error reply, which turns a broken exchange into a refusal.
QString describe(int libraryCode, bool refused);

// The description followed by "（サーバの応答: <reply>）"; the description alone
// when the server said nothing.
QString withReply(const QString &description, const QString &reply);

} // namespace mailerror
