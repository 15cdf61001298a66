#pragma once
// Code page 932 text, the way Windows converts it: characters the code page
// lacks become "?", and a few common look-alikes map as Windows maps them.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringDecoder>

namespace cp932 {

// Bytes of `text` in code page 932.
QByteArray encode(const QString &text);
// Stateless decode of complete text (files, whole messages).
QString decode(const QByteArray &bytes);
// True when every character of `text` survives a round trip through the code page.
bool representable(const QString &text);
// Positions (UTF-16 indexes) of the characters that would arrive as "?".
QList<qsizetype> unrepresentable(const QString &text);

// Stateful decoder: keeps a lead byte that ended one read for the next one.
class Decoder final {
public:
    Decoder();
    QString decode(const QByteArray &bytes);
    void reset();

private:
    QStringDecoder m_decoder;
};

} // namespace cp932
