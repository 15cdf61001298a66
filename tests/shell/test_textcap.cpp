// What a newest-first box keeps: one line cut with the mark, the oldest whole
// lines dropped at the cap, and the box's own text in step with the kept text
// whatever line ends a partner sends; the advertisement page as one such box.
#include "shell/advertisementwindow.h"
#include "shell/newestfirsttext.h"
#include "shell/sharedstate.h"
#include "shell/textcap.h"

#include <QDebug>
#include <QPlainTextEdit>
#include <QTest>

using namespace textcap;

namespace {
const QString kCrLf = QStringLiteral("\r\n");

// What the box should show for `text`: one line break for each CR LF, CR, LF or paragraph separator.
QString asShown(QString text)
{
    return text.replace(kCrLf, QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'))
        .replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}
} // namespace

class TestTextCap : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void clipCutsWithTheMark()
    {
        QCOMPARE(clip(QStringLiteral("abcde"), 5), QStringLiteral("abcde"));
        QCOMPARE(clip(QStringLiteral("abcdef"), 5), QStringLiteral("abcd") + kCutMark);
        // Never half a surrogate pair: the cut falls before it.
        const QString smiles = QString::fromUtf8("ab😀😀");
        QCOMPARE(clip(smiles, 4), QStringLiteral("ab") + kCutMark);
        QCOMPARE(clip(smiles, 5), QString::fromUtf8("ab😀") + kCutMark);
    }

    void trimKeepsWholeLines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("cap");
        QTest::addColumn<QString>("kept");
        // Lines ended by CR LF, as on the chat display.
        QTest::newRow("ended, exactly at the cap") << "ab\r\ncd\r\n" << 8 << "ab\r\ncd\r\n";
        QTest::newRow("ended, one over") << "ab\r\ncd\r\n" << 7 << "ab\r\n";
        QTest::newRow("ended, one line over the cap") << "abcdef\r\ngh\r\n" << 6 << "abc…\r\n";
        // Lines separated by CR LF, as in the post window.
        QTest::newRow("separated, exactly at the cap") << "ab\r\ncd" << 6 << "ab\r\ncd";
        QTest::newRow("separated, one over") << "ab\r\ncd" << 5 << "ab";
        QTest::newRow("separated, one line over the cap") << "abcdef\r\ngh" << 4 << "abc…";
        QTest::newRow("separated, empty newest line") << "\r\nabcdef" << 4 << "";
    }

    void trimKeepsWholeLines()
    {
        QFETCH(QString, text);
        QFETCH(int, cap);
        QFETCH(QString, kept);
        trimOldest(text, cap);
        QCOMPARE(text, kept);
        QVERIFY(text.size() <= cap);
    }

    void piecesAreCutAsTheWholeText()
    {
        // Pieces as a box gets them: several lines in one, odd line ends, an
        // unended text underneath; every cut must be the one of the joined text.
        const QStringList parts{QStringLiteral("ab"),   QStringLiteral("\r\n"), QStringLiteral("c"),
                                QStringLiteral("\r"),   QStringLiteral("\n"),   QStringLiteral("defgh"),
                                QString(9, QChar(u'x'))};
        quint32 seed = 7;
        auto next = [&](quint32 n) {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 16) % n;
        };
        for (int round = 0; round < 3000; ++round) {
            QStringList pieces;
            const int count = 1 + int(next(5));
            for (int i = 0; i < count; ++i) {
                QString piece;
                for (quint32 k = next(5); k > 0; --k)
                    piece += parts.at(int(next(quint32(parts.size()))));
                const bool unended = i == count - 1 && next(2) == 0;
                pieces << (unended ? piece : piece + kCrLf);
            }
            const QString all = pieces.join(QString());
            qsizetype size = all.size();
            const qsizetype cap = qsizetype(next(quint32(all.size() + 3)));
            QString expected = all;
            trimOldest(expected, cap);
            const QStringList before = pieces;
            const Dropped dropped = trimOldestPieces(pieces, size, cap);
            const QString kept = pieces.join(QString());
            if (kept != expected) qWarning() << before << cap;
            QCOMPARE(kept, expected);
            QCOMPARE(size, kept.size());
            if (dropped.whole)
                QCOMPARE(kept + dropped.text, all);
            else
                QCOMPARE(dropped.text, all);
        }
    }

    void boxFollowsTheKeptText()
    {
        QPlainTextEdit box;
        box.setReadOnly(true);
        NewestFirstText shown(&box, 64);
        // Line ends of every kind inside the lines, and lines of every length up to past the cap.
        const QStringList odd{QStringLiteral("a\rb"), QStringLiteral("c\nd"), QStringLiteral("e\r"),
                              QStringLiteral("\nf"),
                              QString(QChar::ParagraphSeparator) + QStringLiteral("g")};
        for (int i = 0; i < 60; ++i) {
            const QString line = odd.at(i % odd.size()) + QString(i % 23, QChar(u'a' + i % 26));
            shown.prepend(line);
            QVERIFY(shown.text().size() <= 64);
            QVERIFY(shown.text().endsWith(kCrLf));
            QVERIFY2(shown.text().startsWith(line + kCrLf), qPrintable(QString::number(i)));
            QCOMPARE(box.toPlainText(), asShown(shown.text()));
        }
        QCOMPARE(box.document()->availableUndoSteps(), 0);

        // A line longer than the whole cap: the newest stays, cut.
        shown.prepend(QString(100, QLatin1Char('z')));
        QCOMPARE(shown.text(), QString(61, QLatin1Char('z')) + kCutMark + kCrLf);
        QCOMPARE(box.toPlainText(), asShown(shown.text()));

        // Replacing keeps to the cap as well.
        shown.setText(QStringLiteral("new\r\n") + QString(70, QLatin1Char('o')));
        QCOMPARE(shown.text(), QStringLiteral("new"));
        QCOMPARE(box.toPlainText(), QStringLiteral("new"));
    }

    void advertisementPageKeepsWholeNotices()
    {
        SharedState state;
        AdvertisementPage page(state);
        const QString notice(60000, QLatin1Char('n'));
        for (int i = 0; i < 20; ++i)
            page.addNotice(QString::number(i % 10) + notice);
        QVERIFY(page.text().size() <= kMaxKeptChars);
        QVERIFY(page.text().startsWith(QStringLiteral("9") + notice + QStringLiteral("\r\n8")));
        QVERIFY(page.text().endsWith(notice));
    }
};

QTEST_MAIN(TestTextCap)
#include "test_textcap.moc"
