#pragma once
// What the user types as an address: the proxy window's four number boxes, and
// a new directory server for the server list.
#include <QString>

#include <array>
#include <optional>

namespace server {

// The four boxes of a dotted address after an edit.
struct DottedBoxes {
    std::array<QString, 4> boxes;
    int focus = 0;       // the box that takes the next key
    bool select = false; // its text stands selected: a typed point moved there, the next digits replace it
};

// `edited` is the new text of box `index` after a key or a paste. Text without
// a point (ASCII or full-width) is that box's alone. With points the parts go
// into that box and the ones after it; four parts, a whole address, fill all
// four boxes from the first. An empty part after a point does not clear its
// box: a typed point just moves there. Parts past the last box are dropped.
// nullopt when a part is not 0 to 3 digits (blanks around the text allowed).
std::optional<DottedBoxes> spreadDotted(const std::array<QString, 4> &boxes, int index,
                                        const QString &edited);

// A server address as the user typed it: trimmed, and the reason it cannot be
// one (empty when it can). A host name (letters, digits, "-", labels of 1 to
// 63 between points) or a dotted IPv4 address (four numbers 0 to 255).
struct CheckedServerAddress {
    QString address;
    QString refusal;
};
CheckedServerAddress checkServerAddress(const QString &typed);

inline const QString kAddressEmpty = QStringLiteral("サーバのアドレスを入力してください");
inline const QString kAddressTooLong = QStringLiteral("サーバのアドレスが長すぎます（253文字まで）");
inline const QString kAddressBadIpv4 =
    QStringLiteral("IPアドレスは、0から255までの数字4つを「.」で区切って入力してください");
inline const QString kAddressBadCharacter =
    QStringLiteral("サーバのアドレスには、半角の英数字、「-」と「.」だけが使えます");
inline const QString kAddressBadForm =
    QStringLiteral("サーバのアドレスの形が正しくありません（例：wez.example.jp または 192.168.1.10）");

} // namespace server
