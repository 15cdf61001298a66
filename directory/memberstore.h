#pragma once
// The members the directory knows, in the order they first registered, and the
// hosts that are in a chat. All of it lives in the database, not in this
// process, so several servers on one PostgreSQL database list the same members
// with the same chat marks. Each change is one transaction: a request the
// database cannot serve leaves nothing half-written.
#include "directory/sqlengine.h"

#include <QElapsedTimer>
#include <QList>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>

namespace directory {

struct Member {
    qint64 seq = 0;  // place in the list; a member registering again keeps it
    QString address; // the key: the address other clients call
    QString name;    // as registered, with its leading mark
    QString comment;
    QString host;        // where the registration came from
    qint64 lastSeen = 0; // seconds since the epoch
    bool chatting = false;
};

enum class StoreResult { Done, Refused, Unavailable };

class MemberStore final {
    Q_DISABLE_COPY_MOVE(MemberStore)
public:
    MemberStore();
    ~MemberStore();

    // Opens the database ("postgresql://...", a SQLite file, or empty for one in memory),
    // creating or upgrading its tables.
    bool open(const QString &database, QString *error);
    void close();
    QString display() const { return m_engine.display; }

    struct Change {
        StoreResult result = StoreResult::Unavailable;
        bool existed = false; // the address was listed before
        QStringList dropped;  // others removed to keep the host within its limit
    };
    // Only the host that registered an entry, or the host at its address, may change it.
    StoreResult mayChange(const QString &address, const QString &host);
    // Registers or replaces the member at `address`. When `host` then holds more than
    // `maxPerHost` entries (0: no limit), its least recently heard from others go.
    Change put(const QString &address, const QString &name, const QString &comment, const QString &host,
               qint64 now, int maxPerHost = 0);
    Change remove(const QString &address, const QString &host);
    // Marks members at `host` (by key or by origin) as heard from.
    bool touch(const QString &host, qint64 now);
    // A chat mark for `host`, kept until it ends or is older than `cutoff`; at most `maxMarks`.
    bool setChatting(const QString &host, bool chatting, qint64 now, qint64 cutoff, qsizetype maxMarks);
    // Drops members and chat marks from before `cutoff`; the members dropped, or nothing.
    std::optional<int> expire(qint64 cutoff);
    // Drops each host's least recently heard from entries beyond `maxPerHost`.
    std::optional<QStringList> trim(int maxPerHost);

    // Up to `limit` members after list place `seq` (0 for the first), in list order.
    std::optional<QList<Member>> page(qint64 seq, int limit);
    // The member at `address`; one with an empty address when there is none.
    std::optional<Member> find(const QString &address);
    std::optional<qint64> count();
    std::optional<QStringList> addresses();

    // What went wrong since the last call, for the log; empty when nothing did.
    QString takeError();

private:
    bool connect(QString *error);
    bool createSchema(QString *error);
    // Connected, or connected again when the back-off allows.
    bool ready();
    // A failed statement: note it, and on a server give up the connection to open anew.
    void failed(const QSqlQuery &q);
    // Runs `work`, in one transaction when `atomic`; false when anything in it failed (all
    // of it undone). Run once more on a fresh connection when the old one was lost.
    bool attempt(const std::function<bool()> &work, bool atomic = true);
    bool begin(QSqlDatabase &db);
    // A cached prepared statement, its values bound, executed; null on failure.
    QSqlQuery *run(const QString &sql, const QVariantList &values = {});
    // The host's entries besides `keep` beyond `maxPerHost`, least recently heard from last.
    std::optional<QStringList> overflow(const QString &host, const QString &keep, int maxPerHost);
    bool eraseAll(const QStringList &addresses);
    // Notes in `c` whether `address` is listed and whether another host owns it;
    // false when the database could not say.
    bool readOwner(const QString &address, const QString &host, Change &c);
    // Members with their chat marks, `where` on the members table `m`.
    std::optional<QList<Member>> select(const QString &where, const QVariantList &values);

    SqlEngine m_engine;
    QString m_connection;
    std::unordered_map<QString, std::unique_ptr<QSqlQuery>> m_queries;
    bool m_open = false; // a database was opened at all
    bool m_down = false;
    QElapsedTimer m_sinceDown;
    qint64 m_retryAfterMs = 0;
    qint64 m_backoffMs = 0;
    QStringList m_errors;
};

} // namespace directory
