// Not a test: puts the entrance window and two chat boards mid-conversation on
// screen and saves them as PNG files into the folder given (docs/).
#include "peertesthelpers.h"

#include <QApplication>
#include <QPainter>

using namespace testsupport;
using namespace peertest;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QTemporaryDir da, db;
    auto a = startClient(da.path(), 2, QString::fromUtf8("太郎"));
    auto b = startClient(db.path(), 3, QString::fromUtf8("花子"));
    a->core().entrance().setComment(QString::fromUtf8("よろしくお願いします"));
    waitFor([&] { return listening(*a) && listening(*b); });
    setIpBox(*a, loopback(3).toString());
    a->core().entrance().setIpText(loopback(3).toString());
    QTest::qWait(300);
    a->entranceWindow()->grab().save(out + QStringLiteral("/entrance.png"));

    QObject::connect(&b->desktop(), &UiDesktop::yesNoShown, &b->desktop(), [&] {
        YesNoWindow *w = b->desktop().yesNoWindow();
        QTimer::singleShot(0, w, [w] { answerYes(w); });
    });
    a->entranceWindow()->button(2)->click();
    if (!waitFor([&] { return windows(*a).chatWindow() && windows(*b).chatWindow(); }, 10000)) return 1;
    auto say = [](ChatBoardWindow *w, const char *text) {
        w->findChild<QLineEdit *>(QStringLiteral("Text2"))->setText(QString::fromUtf8(text));
        w->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
        QTest::qWait(150);
    };
    ChatBoardWindow *ca = windows(*a).chatWindow();
    ChatBoardWindow *cb = windows(*b).chatWindow();
    say(ca, "こんにちは、花子さん！");
    say(cb, "太郎さん、こんばんは。");
    say(ca, "ホワイトボードで地図を描きますね");
    cb->feelingAction(3)->trigger();
    QTest::qWait(150);
    ca->findChild<QLineEdit *>(QStringLiteral("Text2"))->setText(QString::fromUtf8("駅の北口で待ち合わせ"));
    QTest::qWait(300);
    const QPixmap left = ca->grab(), right = cb->grab();
    QPixmap both(left.width() + right.width() + 12, std::max(left.height(), right.height()));
    both.fill(QColor(90, 90, 90));
    QPainter p(&both);
    p.drawPixmap(0, 0, left);
    p.drawPixmap(left.width() + 12, 0, right);
    p.end();
    both.save(out + QStringLiteral("/chat.png"));
    return 0;
}
