#include "transfer/transferprotocol.h"

namespace transfer {

namespace {
constexpr int kMaxNameLength = 200;
constexpr int kMaxAnswerBuffer = 4096;
} // namespace

qint64 lastBlockIndex(qint64 fileSize)
{
    if (fileSize <= 0) return -1;
    return (fileSize - 1) / kBlockSize;
}

int blockSize(qint64 fileSize, qint64 index)
{
    const qint64 last = lastBlockIndex(fileSize);
    if (index < 0 || index > last) return 0;
    if (index < last) return kBlockSize;
    return int(fileSize - qint64(kBlockSize) * last);
}

QString offerMessage(const QString &name, qint64 lastBlock)
{
    QString safe = name;
    safe.replace(QLatin1Char('}'), QLatin1Char('_'));
    return kOfferHead + safe + QLatin1Char('/') + QString::number(lastBlock);
}

std::optional<Offer> parseOffer(const QString &payload)
{
    const qsizetype slash = payload.indexOf(QLatin1Char('/'));
    if (slash < 0) return std::nullopt;
    const QString number = payload.mid(slash + 1).trimmed();
    if (number.isEmpty() || number.size() > 12) return std::nullopt;
    bool ok = false;
    const qlonglong value = number.toLongLong(&ok, 10);
    if (!ok || value < -1 || value > INT32_MAX) return std::nullopt;
    return Offer{payload.left(slash), int32_t(value)};
}

QString plainFileName(const QString &offered)
{
    QString name = offered;
    const qsizetype cut = std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    if (cut >= 0) name = name.mid(cut + 1);
    QString out;
    out.reserve(name.size());
    for (const QChar c : std::as_const(name)) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7f && u < 0xa0) || c.isSurrogate() || u == 0xfeff || u == 0x202e) continue;
        if (QStringLiteral("<>:\"|?*").contains(c))
            out += QLatin1Char('_');
        else
            out += c;
    }
    // Leading dots would hide the file or climb a level; trailing dots and blanks Windows drops.
    while (out.startsWith(QLatin1Char('.')) || out.startsWith(QLatin1Char(' ')))
        out.remove(0, 1);
    while (out.endsWith(QLatin1Char('.')) || out.endsWith(QLatin1Char(' ')))
        out.chop(1);
    if (out.size() > kMaxNameLength) {
        const qsizetype dot = out.lastIndexOf(QLatin1Char('.'));
        const qsizetype extension = (dot > 0 && out.size() - dot <= 16) ? out.size() - dot : 0;
        out = out.left(kMaxNameLength - extension) + out.right(extension);
    }
    if (out.isEmpty()) return QStringLiteral("wezfile");
    return out;
}

QString progressText(qint64 done, qint64 total)
{
    const qint64 percent = total <= 0 ? 100 : done * 100 / total;
    return QStringLiteral("転送率：") + QString::number(percent) + QLatin1Char('%');
}

void AnswerScanner::feed(const QByteArray &bytes)
{
    m_buffer += bytes;
    // An answer is 7 bytes; anything longer that is left is noise.
    if (m_buffer.size() > kMaxAnswerBuffer) m_buffer = m_buffer.right(kBlockAck.size() - 1);
}

AnswerScanner::Answer AnswerScanner::next()
{
    while (m_buffer.size() >= kBlockAck.size()) {
        if (m_buffer.startsWith(kBlockAck)) {
            m_buffer.remove(0, kBlockAck.size());
            return Answer::Ack;
        }
        if (m_buffer.startsWith(kBlockAgain)) {
            m_buffer.remove(0, kBlockAgain.size());
            return Answer::Again;
        }
        m_buffer.remove(0, 1);
    }
    return Answer::None;
}

} // namespace transfer
