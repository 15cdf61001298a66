// Whiteboard lines, numbers, the segment store and .wbd files, without windows.
#include "whiteboard/segmentstore.h"
#include "whiteboard/wbdfile.h"
#include "whiteboard/whiteboardline.h"

#include <QTest>

#include <cmath>

using namespace whiteboard;

namespace {
Segment seg(float x1, float y1, float x2, float y2, int color, int width, const char *marker = "nxt")
{
    Segment s;
    s.x1 = x1, s.y1 = y1, s.x2 = x2, s.y2 = y2;
    s.color = qint16(color), s.width = qint16(width);
    s.marker = QString::fromLatin1(marker);
    return s;
}
} // namespace

class TestWhiteboardFormat : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void numberText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("integer") << 1500.0 << "1500";
        QTest::newRow("negative") << -30.0 << "-30";
        QTest::newRow("fraction") << 12.5 << "12.5";
        QTest::newRow("seven digits below one") << double(0.1234567f) << "0.1234567";
        QTest::newRow("seven digits") << 1234567.0 << "1234567";
        QTest::newRow("eight digits") << 12345678.0 << "1.234568E+07";
        QTest::newRow("power of ten") << 1e7 << "1E+07";
        QTest::newRow("small") << 0.00001 << "1E-05";
        QTest::newRow("not too small") << 0.0001 << "0.0001";
        QTest::newRow("third") << double(1.0f / 3.0f) << "0.3333333";
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("rounds up") << 9999999.6 << "1E+07";
        QTest::newRow("twips") << -32767.0 << "-32767";
    }
    void numberText()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(formatNumber(value), text);
    }

    void getTokenWalksTheFields()
    {
        const QString line = QStringLiteral("FL1500,900,1515,915,5,1\r\n");
        int i = 2;
        QCOMPARE(getToken(line, i), 1500.0);
        QCOMPARE(i, 7); // on the comma
        QCOMPARE(getToken(line, i), 900.0);
        QCOMPARE(getToken(line, i), 1515.0);
        QCOMPARE(getToken(line, i), 915.0);
        QCOMPARE(getToken(line, i), 5.0);
        QCOMPARE(getToken(line, i), 1.0);
        QCOMPARE(i, 24); // on the CR
        // Past the last field: the LF alone is not a number, then the end.
        QCOMPARE(getToken(line, i), 0.0);
        QCOMPARE(getToken(line, i), 0.0);

        // Blanks, signs, fractions, exponents; anything else reads as 0.
        const QString odd = QStringLiteral("X  -12.5e1abc,+.5,abc,,1e999,7");
        i = 1;
        QCOMPARE(getToken(odd, i), -125.0);
        QCOMPARE(getToken(odd, i), 0.5);
        QCOMPARE(getToken(odd, i), 0.0);
        QCOMPARE(getToken(odd, i), 0.0);
        QVERIFY(std::isinf(getToken(odd, i)));
        QCOMPARE(getToken(odd, i), 7.0);
        QCOMPARE(leadingNumber(u"1e"), 1.0);
        QCOMPARE(leadingNumber(u"-"), 0.0);
        QCOMPARE(leadingNumber(u"\uFF11"), 0.0); // a full-width digit is not a digit
    }

    void linesAreRecognised()
    {
        ParsedLine p = parseLine(u"FL1500,900,1515,915,5,1\r\n");
        QCOMPARE(p.kind, ParsedLine::SegmentLine);
        QCOMPARE(p.x1, 1500.0);
        QCOMPARE(p.y1, 900.0);
        QCOMPARE(p.x2, 1515.0);
        QCOMPARE(p.y2, 915.0);
        QCOMPARE(p.color, 5.0);
        QCOMPARE(p.width, 1.0);

        // Fewer than six fields: the missing ones read as 0.
        p = parseLine(u"FL10,20,30\r\n");
        QCOMPARE(p.kind, ParsedLine::SegmentLine);
        QCOMPARE(p.x2, 30.0);
        QCOMPARE(p.y2, 0.0);
        QCOMPARE(p.color, 0.0);
        QCOMPARE(p.width, 0.0);

        QCOMPARE(parseLine(u"fl1500,900,1515,915,5,1\r\n").kind, ParsedLine::Other);
        QCOMPARE(parseLine(u" FL1,2,3,4,5,1\r\n").kind, ParsedLine::Other);
        QCOMPARE(parseLine(u"CL\r\n").kind, ParsedLine::ClearLine);
        QCOMPARE(parseLine(u"F").kind, ParsedLine::Other);

        // What we send reads back as what was drawn.
        const Segment s = seg(1500, 900, 1512.5f, -30, 13, 3);
        QCOMPARE(encodeSegmentLine(s), QStringLiteral("FL1500,900,1512.5,-30,13,3\r\n"));
        QCOMPARE(encodeClearLine(), QStringLiteral("CL\r\n"));
        p = parseLine(encodeSegmentLine(s));
        QCOMPARE(p.x2, 1512.5);
        QCOMPARE(p.color, 13.0);
    }

    void receiverSplitsAtLineFeeds()
    {
        LineReceiver r;
        // Two lines in one read, and one whose LF comes later.
        QCOMPARE(r.feed(u"FL1,2,3,4,5,1\r\nCL\r\nFL9,8"),
                 (QStringList{QStringLiteral("FL1,2,3,4,5,1\r\n"), QStringLiteral("CL\r\n")}));
        QCOMPARE(r.pending(), 5);
        QCOMPARE(r.feed(u",7,6,5,"), QStringList());
        QCOMPARE(r.feed(u"0\r"), QStringList());
        QCOMPARE(r.feed(u"\n"), QStringList{QStringLiteral("FL9,8,7,6,5,0\r\n")});
        QCOMPARE(r.pending(), 0);

        // A run without LF longer than a line is dropped up to its LF; the next line is whole.
        const QString flood(LineReceiver::kMaxLine, QLatin1Char('9'));
        QCOMPARE(r.feed(u"FL1,"), QStringList());
        QCOMPARE(r.feed(flood), QStringList());
        QVERIFY(r.pending() <= LineReceiver::kMaxLine);
        QCOMPARE(r.feed(flood), QStringList());
        QCOMPARE(r.pending(), 0);
        QCOMPARE(r.feed(u"1,1,1\r\nCL\r\n"), QStringList{QStringLiteral("CL\r\n")});
        // The same for an over-long line that comes whole in one read.
        QCOMPARE(r.feed(QStringLiteral("FL") + flood + QStringLiteral("\r\nCL\r\n")),
                 QStringList{QStringLiteral("CL\r\n")});
        // A line of exactly the limit still passes.
        const QString longest = QStringLiteral("FL") + QString(LineReceiver::kMaxLine - 4, QLatin1Char('1')) +
                                QStringLiteral("\r\n");
        QCOMPARE(r.feed(longest), QStringList{longest});
    }

    void unsoundSegmentsAreRefused()
    {
        const QString m = nextMarker();
        QVERIFY(makeSegment(1, 2, 3, 4, 13, 3, m));
        QCOMPARE(makeSegment(1, 2, 3, 4, 12.5, 2.5, m)->color, 12); // half to even
        QCOMPARE(makeSegment(1, 2, 3, 4, 12.5, 2.5, m)->width, 2);
        QVERIFY(!makeSegment(1, 2, 3, 4, 5, 4, m));   // a pen of 0 pixels
        QVERIFY(!makeSegment(1, 2, 3, 4, 5, 3.5, m)); // rounds to 4
        QVERIFY(!makeSegment(1, 2, 3, 4, 5, -1, m));
        QVERIFY(!makeSegment(1, 2, 3, 4, 14, 1, m));
        QVERIFY(!makeSegment(1, 2, 3, 4, 13.5, 1, m));
        QVERIFY(!makeSegment(1, 2, 3, 4, 1e300, 1, m));
        QVERIFY(!makeSegment(NAN, 2, 3, 4, 5, 1, m));
        QVERIFY(!makeSegment(1, INFINITY, 3, 4, 5, 1, m));
        QVERIFY(!makeSegment(1, 2, 32768, 4, 5, 1, m));
        QVERIFY(!makeSegment(1, 2, 3, -40000, 5, 1, m));
        QVERIFY(!makeSegment(1e39, 2, 3, 4, 5, 1, m)); // beyond a float
        QVERIFY(makeSegment(-32767, 32767, 0, 0, 0, 0, m));
    }

    void storeOverflowKeepsTheLastSlot()
    {
        SegmentStore store;
        int warnings = 0;
        store.setOverflowHandler([&] { ++warnings; });
        for (int i = 0; i < SegmentStore::kMaxCount; ++i)
            QVERIFY(store.recordSegment(seg(float(i), 0, 0, 0, 3, 2)));
        QCOMPARE(store.count(), 5120);
        QCOMPARE(warnings, 0);
        QVERIFY(!store.recordSegment(seg(1, 1, 1, 1, 5, 1)));
        QCOMPARE(store.count(), 5120);
        QCOMPARE(warnings, 1);
        QCOMPARE(store.at(5120).color, 5);
        QVERIFY(!store.recordSegment(seg(2, 2, 2, 2, 6, 1)));
        QCOMPARE(store.at(5120).color, 6);
        QCOMPARE(store.at(5119).x1, 5119.0f);
        QCOMPARE(warnings, 2);
        store.clear();
        QVERIFY(store.recordSegment(seg(7, 7, 7, 7, 7, 0)));
        QCOMPARE(store.count(), 1);
        QCOMPARE(store.at(0).x1, 7.0f);
    }

    void filesAreWrittenExactly()
    {
        SegmentStore store;
        QCOMPARE(writeWbd(store), QByteArray());
        store.recordSegment(seg(1500, 900, 1515, 915, 5, 1));
        store.recordSegment(seg(1515, 915, 1530.5f, -30, 13, 3));
        store.recordSegment(seg(0.1234567f, 0, 12345678, 1, 0, 0, "abc"));
        QCOMPARE(writeWbd(store), QByteArray("1500,900,1515,915,5,1,nxt\r\n"
                                             "1515,915,1530.5,-30,13,3,nxt\r\n"
                                             "0.1234567,0,1.234568E+07,1,0,0,abc\r\n"));

        // A full store writes 5120 lines: the overflow slot is not saved.
        SegmentStore full;
        for (int i = 0; i < 5122; ++i)
            full.recordSegment(seg(1, 2, 3, 4, 3, 2));
        QCOMPARE(writeWbd(full).count("\r\n"), 5120);
    }

    void filesReadBack()
    {
        SegmentStore store;
        store.recordSegment(seg(1500, 900, 1515, 915, 5, 1));
        store.recordSegment(seg(15.5f, -915, 0.25f, 32767, 13, 3));
        const QByteArray bytes = writeWbd(store);
        const WbdContent content = parseWbd(bytes);
        QVERIFY(!content.truncated);
        QCOMPARE(content.records.size(), 2);
        SegmentStore again;
        for (const WbdRecord &r : content.records)
            again.recordSegment(*makeSegment(r.x1, r.y1, r.x2, r.y2, r.color, r.width, r.marker));
        QCOMPARE(writeWbd(again), bytes);

        // Delimited input: blanks before a field, quotes, LF-only ends, fields running over lines.
        WbdContent c = parseWbd(" 1, \"2\" ,3\n4,5,1,\"n,x\"\r\nabc,7,8,9,10,0,  m \r\n\r\n\r\n");
        QVERIFY(!c.truncated);
        QCOMPARE(c.records.size(), 2);
        QCOMPARE(c.records[0].y1, 2.0);
        QCOMPARE(c.records[0].x2, 3.0);
        QCOMPARE(c.records[0].y2, 4.0);
        QCOMPARE(c.records[0].marker, QStringLiteral("n,x"));
        QCOMPARE(c.records[1].x1, 0.0);
        QCOMPARE(c.records[1].marker, QStringLiteral("m"));

        // A last line with fewer than seven fields: what came before it stays.
        c = parseWbd("1,2,3,4,5,1,nxt\r\n7,8,9\r\n");
        QVERIFY(c.truncated);
        QCOMPARE(c.records.size(), 1);
        c = parseWbd("1,2,3,4,5,1,nxt\r\n1,2,3,4,5,1");
        QVERIFY(c.truncated);
        QCOMPARE(c.records.size(), 1);
        QCOMPARE(parseWbd("1,2,3,4,5,1,nxt").records.size(), 1);
        QVERIFY(parseWbd(QByteArray()).records.isEmpty());
        QVERIFY(!parseWbd("\"unclosed").records.size());
    }

    void fileNamesGetTheEnding()
    {
        QCOMPARE(wbdFileName(QStringLiteral("/tmp/X.WBD")), QStringLiteral("/tmp/X.WBD.wbd"));
        QCOMPARE(wbdFileName(QStringLiteral("/tmp/x.wbd")), QStringLiteral("/tmp/x.wbd"));
        QCOMPARE(wbdFileName(QStringLiteral("/tmp/x")), QStringLiteral("/tmp/x.wbd"));
        QCOMPARE(wbdFileName(QStringLiteral("wbd")), QStringLiteral("wbd.wbd"));
    }
};

QTEST_GUILESS_MAIN(TestWhiteboardFormat)
#include "test_whiteboard_format.moc"
