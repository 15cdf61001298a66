// The member list's rows keep their laid-out text between paints: what they
// paint must still follow the model when a row's text changes under them,
// and what they keep must stay bounded however far the user scrolls.
#include "server/memberrowdelegate.h"

#include <QListView>
#include <QStringListModel>
#include <QTest>

namespace {

struct View {
    QStringListModel model;
    QListView view;
    server::MemberRowDelegate *rows = new server::MemberRowDelegate(&view);

    explicit View(const QStringList &lines) : model(lines)
    {
        view.setModel(&model);
        view.setUniformItemSizes(true);
        view.setItemDelegate(rows);
        view.resize(320, 200);
    }
    QImage row(int n) { return view.viewport()->grab(view.visualRect(model.index(n))).toImage(); }
};

} // namespace

class TestMemberRows : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rowsPaintWhatTheModelHoldsNow()
    {
        const QStringList before = {QStringLiteral("○花子 / よろしく"), QStringLiteral("○Kenji / 釣り")};
        const QStringList after = {QStringLiteral("○みどり / 絵しりとり"), QStringLiteral("○Kenji / 釣り")};
        View reused(before), fresh(after), blank({QString(), QString()});
        const QImage first = reused.row(0);
        QVERIFY(first != blank.row(0)); // the text is drawn at all
        reused.model.setStringList(after);
        QCOMPARE(reused.row(0), fresh.row(0));
        QVERIFY(reused.row(0) != first);
        QCOMPARE(reused.row(1), fresh.row(1));
    }

    void keptLinesStayBoundedWhileScrolling()
    {
        QStringList many;
        for (int i = 0; i < 6000; ++i)
            many << QStringLiteral("○n%1 / c%1").arg(i);
        View v(many);
        for (int i = 0; i < many.size(); i += 8) {
            v.view.scrollTo(v.model.index(i));
            v.view.viewport()->grab();
        }
        QVERIFY(v.rows->keptLines() > 0);
        QVERIFY2(v.rows->keptLines() <= 2000, qPrintable(QString::number(v.rows->keptLines())));
    }

    void selectedRowStillShowsItsText()
    {
        View v({QStringLiteral("○花子 / よろしく"), QStringLiteral("○花子 / よろしく")});
        v.view.setCurrentIndex(v.model.index(0));
        const QImage selected = v.row(0), plain = v.row(1);
        QVERIFY(selected != plain);
        View empty({QString(), QString()});
        empty.view.setCurrentIndex(empty.model.index(0));
        QVERIFY(selected != empty.row(0));
    }
};

QTEST_MAIN(TestMemberRows)
#include "test_member_rows.moc"
