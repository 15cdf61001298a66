#pragma once
// Wire grammar of a file transfer:
//   offer   (peer connection): "con 999" name "/" last-block-index   (decimal, "-1" for an empty file)
//   ready   (peer connection): "con 998"
//   block   (data connection): 1 to 1024 raw bytes, one block per send
//   answers (data connection): "con 800" block written, "con 810" send the block again
// A file of s bytes has blocks 0 .. lastBlockIndex(s), all of 1024 bytes but the last.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace transfer {

inline constexpr quint16 kDataPort = 1201;
inline constexpr int kBlockSize = 1024;
inline constexpr int kAnswerLimitMs = 20000;
inline constexpr int kSilenceLimitMs = 20000;
inline constexpr int kPauseMs = 500;

inline const QString kOfferHead = QStringLiteral("con 999");
inline const QString kReadyMessage = QStringLiteral("con 998");
inline const QByteArray kBlockAck = QByteArrayLiteral("con 800");
inline const QByteArray kBlockAgain = QByteArrayLiteral("con 810");

// -1 for an empty file; negative sizes count as empty.
qint64 lastBlockIndex(qint64 fileSize);
// Size of block `index` (0-based) of a file of `fileSize` bytes; 0 outside the file.
int blockSize(qint64 fileSize, qint64 index);

struct Offer {
    QString name;
    int32_t lastBlock = -1;
    bool operator==(const Offer &) const = default;
};

// "con 999" + name + "/" + index. A "}" would end the message early at the
// partner (it separates messages there), so it goes out as "_".
QString offerMessage(const QString &name, qint64 lastBlock);

// The payload after "con 999": the name up to the first "/", then a decimal
// number from -1 up that fits 32 bits (blanks around it allowed). Anything
// else is no offer.
std::optional<Offer> parseOffer(const QString &payload);

// A name the partner offered, reduced to a plain file name that can only
// name a file in the folder the user picks: no directories, no "." or "..",
// no control characters, no characters Windows refuses, bounded length.
// Empty input or nothing left gives "wezfile".
QString plainFileName(const QString &offered);

// "転送率：" + whole percent + "%".
QString progressText(qint64 done, qint64 total);

// Answers of the data connection as the sending side reads them. Answers may
// arrive split or run together; bytes that start no answer are skipped.
class AnswerScanner final {
public:
    enum class Answer { None, Ack, Again };
    void feed(const QByteArray &bytes);
    // The next complete answer, or None.
    Answer next();
    void clear() { m_buffer.clear(); }

private:
    QByteArray m_buffer;
};

} // namespace transfer
