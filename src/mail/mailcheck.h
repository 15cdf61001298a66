#pragma once
// The mailbox check: every minute (Timer3) or on demand (menuMailck) it
// counts, fetches and reads the mailbox off the user-interface thread, and
// lists the posts that came by mail ("Wez" at characters 10 to 12 of the
// subject line) with the number of other mails. The summary goes to the
// message post window through summaryReady(), so this stays free of widgets.
#include "mail/mailrunner.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <cstdint>

class ClientCore;

namespace mailcheck {

inline const QString kSeparator = QString(39, QLatin1Char('='));

// Builds the summary from the three lines of each message read.
class Summary final {
public:
    // One message's lines as the reader gives them (subject, sender, body).
    void addMessage(const QStringList &lines);
    // A message that could not be read, or was too big to keep: not a post.
    void addOther(int count = 1);
    int16_t otherCount() const { return m_other; }
    // The post blocks, then "その他のメールが" + count + "件あります".
    QString text() const;

private:
    QString m_blocks;
    int16_t m_other = 0;
};

// The interval as the check reads it: a decimal number of minutes, 0 when it
// is not a number or beyond what a 16-bit minute counter can reach.
int intervalMinutes(const QString &checkInterval);

} // namespace mailcheck

class MailCheck final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MailCheck)
public:
    static constexpr int kTickMs = 60000;

    MailCheck(ClientCore &core, MailRunner &runner, QObject *parent = nullptr);

    // Timer3: ticks every minute from start-up.
    QTimer &timer3() { return m_timer3; }
    // One tick of Timer3.
    void tick();
    // menuMailck: checks now, whatever the interval; refused while a check runs.
    void menuCheck();
    bool running() const { return m_running; }

Q_SIGNALS:
    // The summary goes to the message post window in its "OK" state, replacing the last one.
    void summaryReady(const QString &summary);
    // A check that had started is over; `shown` when its summary is on screen.
    void checkFinished(bool shown);

private:
    struct Fetched {
        bool ok = false;
        QList<QStringList> messages; // lines of each message read
        int other = 0;               // messages that could not be read
    };
    void start();
    void fetched(const Fetched &result);
    void finish(bool shown);
    // The message post window is open with a post being written.
    bool postBeingWritten() const;

    ClientCore &m_core;
    MailRunner &m_runner;
    QTimer m_timer3;
    bool m_running = false;
};
