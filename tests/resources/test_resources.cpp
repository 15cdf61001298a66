// The files compiled into the program: present, well-formed, and of the kind
// the players and readers expect.
#include "shell/socket/cp932.h"

#include <QFile>
#include <QStringDecoder>
#include <QTest>
#include <QXmlStreamReader>
#include <QtEndian>

namespace {

QByteArray resource(const QString &name)
{
    QFile file(QStringLiteral(":/wez/") + name);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

quint16 le16(const QByteArray &b, qsizetype at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}

quint32 le32(const QByteArray &b, qsizetype at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

// Samples of a plain 16-bit mono PCM file at 22050 Hz with the 44-byte header
// make-sounds.py writes; none for anything else.
QList<qint16> samples(const QByteArray &b)
{
    const bool pcm = b.size() >= 44 && b.startsWith("RIFF") && le32(b, 4) == quint32(b.size() - 8) &&
                     b.mid(8, 8) == "WAVEfmt " && le32(b, 16) == 16 && le16(b, 20) == 1 && le16(b, 22) == 1 &&
                     le32(b, 24) == 22050 && le32(b, 28) == 44100 && le16(b, 32) == 2 && le16(b, 34) == 16 &&
                     b.mid(36, 4) == "data" && le32(b, 40) == quint32(b.size() - 44) && b.size() % 2 == 0;
    QList<qint16> out;
    for (qsizetype at = 44; pcm && at < b.size(); at += 2)
        out.append(qint16(le16(b, at)));
    return out;
}

} // namespace

class TestResources : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sounds_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name : {"MessegeR.wav", "messegeR.wav", "connectok.wav", "connectend.wav"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void sounds()
    {
        QFETCH(QString, name);
        const QByteArray bytes = resource(name);
        QVERIFY2(!bytes.isEmpty(), qPrintable(name + QStringLiteral(" is missing")));
        QVERIFY(bytes.size() < 60 * 1024);
        const QList<qint16> wave = samples(bytes);
        const double seconds = double(wave.size()) / 22050;
        QVERIFY2(seconds >= 0.1 && seconds <= 1.0, qPrintable(QString::number(seconds)));
        int peak = 0;
        for (qint16 s : wave)
            peak = qMax(peak, qAbs(int(s)));
        // Clearly audible, yet never clipped.
        QVERIFY2(peak > 32767 / 4 && peak < 32767, qPrintable(QString::number(peak)));
        // Starts and ends at rest, so playback neither clicks in nor out.
        QVERIFY(qAbs(int(wave.first())) < 300);
        QVERIFY(qAbs(int(wave.last())) < 300);
        // A case-folding checkout would leave one file under both names.
        if (name == QLatin1String("messegeR.wav")) QVERIFY(bytes != resource(QStringLiteral("MessegeR.wav")));
    }

    void helpTextIsJapaneseUtf8CoveringEveryWindow()
    {
        const QByteArray bytes = resource(QStringLiteral("wez.txt"));
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8(bytes);
        QVERIFY(!utf8.hasError());
        // The captions of every window and command, '|' between them.
        const QString captions = QString::fromUtf8(
            "Wez Entrance|サーバに登録|ＩＰボックス|メッセージポスト|TaskTray|ＩＰをサーバから取得|"
            "メールの設定|メールチェック|プロキシの設定|チャットのログ|メッセージのログ|サーバの変更|"
            "ホームページ|Wezの情報|ヘルプ|Wez Member's List|再読込み|Wez Chat Board|送信|接続を切る|"
            "自分の気持ち|フォントサイズ変更|ファイルを受信する|常に手前に表示|強制終了|Wez WhiteBoard|"
            "Wez File Transfer|Wez Messege Post|Wez Mail Setting|巡回時間|Wez Server Selecter|"
            "Wez PROXY設定|Wez Advertisement page");
        for (const QString &caption : captions.split(u'|'))
            QVERIFY2(text.contains(caption), qPrintable(caption));
    }

    void serverListIsCodePage932Items()
    {
        const QByteArray bytes = resource(QStringLiteral("wezserv.dat"));
        QVERIFY(bytes.endsWith("\r\n"));
        QVERIFY(!bytes.contains(',') && !bytes.contains('"'));
        const QString text = cp932::decode(bytes);
        QCOMPARE(cp932::encode(text), bytes);
        const QStringList lines = text.chopped(2).split(QStringLiteral("\r\n"));
        QVERIFY(!lines.isEmpty());
        for (const QString &line : lines) {
            const qsizetype slash = line.indexOf(u'/');
            QVERIFY2(slash > 0 && slash < line.size() - 1, qPrintable(line));
        }
        QVERIFY(lines.first().startsWith(QStringLiteral("127.0.0.1/")));
    }

    void iconIsA64PixelPngAndAnSvg()
    {
        const QByteArray png = resource(QStringLiteral("wez.png"));
        QVERIFY(png.startsWith("\x89PNG\r\n\x1a\n"));
        QCOMPARE(png.mid(12, 4), QByteArray("IHDR"));
        QCOMPARE(qFromBigEndian<quint32>(png.constData() + 16), 64u);
        QCOMPARE(qFromBigEndian<quint32>(png.constData() + 20), 64u);

        QXmlStreamReader svg(resource(QStringLiteral("wez.svg")));
        QVERIFY(svg.readNextStartElement());
        QCOMPARE(svg.name(), QStringLiteral("svg"));
        QCOMPARE(svg.attributes().value(QStringLiteral("viewBox")), QStringLiteral("0 0 64 64"));
        while (!svg.atEnd())
            svg.readNext();
        QVERIFY2(!svg.hasError(), qPrintable(svg.errorString()));
    }
};

QTEST_GUILESS_MAIN(TestResources)
#include "test_resources.moc"
