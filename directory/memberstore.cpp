#include "directory/memberstore.h"

#include <QAtomicInt>
#include <QSqlDriver>
#include <QSqlError>
#include <QVariant>

#include <algorithm>

namespace directory {
namespace {

// How stale a last-seen time may get before a list request rewrites it.
constexpr qint64 touchGranularity = 60;
// Waits between attempts to reach a database that went away, doubling up to the last.
constexpr qint64 firstBackoffMs = 250;
constexpr qint64 lastBackoffMs = 30000;

QString nextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("wez-directory-%1").arg(counter.fetchAndAddRelaxed(1));
}

QString errorText(const QSqlError &e)
{
    return e.text().trimmed().isEmpty() ? QStringLiteral("unknown error") : e.text().trimmed();
}

} // namespace

MemberStore::MemberStore() = default;

MemberStore::~MemberStore()
{
    close();
}

bool MemberStore::open(const QString &database, QString *error)
{
    close();
    if (!SqlEngine::forDatabase(database, &m_engine, error)) return false;
    if (!connect(error)) return false;
    if (!createSchema(error)) {
        close();
        return false;
    }
    m_open = true;
    m_down = false;
    m_backoffMs = 0;
    return true;
}

void MemberStore::close()
{
    m_queries.clear();
    m_open = false;
    if (m_connection.isEmpty()) return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
}

bool MemberStore::connect(QString *error)
{
    m_queries.clear();
    if (!m_connection.isEmpty()) QSqlDatabase::removeDatabase(m_connection);
    m_connection = nextConnectionName();
    QSqlDatabase db = QSqlDatabase::addDatabase(m_engine.driver, m_connection);
    if (!db.isValid()) {
        *error = QStringLiteral("no %1 driver (for PostgreSQL install libqt6sql6-psql)").arg(m_engine.driver);
        return false;
    }
    m_engine.configure(db);
    if (!db.open()) {
        *error = errorText(db.lastError());
        return false;
    }
    QSqlQuery q(db);
    for (const QString &sql : std::as_const(m_engine.session)) {
        if (!q.exec(sql)) {
            *error = errorText(q.lastError());
            return false;
        }
    }
    return true;
}

bool MemberStore::createSchema(QString *error)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    int found = 0;
    const auto step = [&](const QString &sql) {
        if (q.exec(sql)) return true;
        *error = errorText(q.lastError());
        return false;
    };
    const bool ok = db.transaction() && (m_engine.schemaLock.isEmpty() || step(m_engine.schemaLock)) &&
                    std::all_of(m_engine.schema.cbegin(), m_engine.schema.cend(), step) &&
                    step(QStringLiteral("SELECT MAX(version) FROM wez_schema")) &&
                    (q.next() ? (found = q.value(0).toInt(), true) : true);
    if (ok && found > kSchemaVersion) {
        *error = QStringLiteral("the database is of a newer release (schema %1, this one knows %2)")
                     .arg(found)
                     .arg(kSchemaVersion);
        db.rollback();
        return false;
    }
    if (!ok ||
        (found < kSchemaVersion &&
         (!step(QStringLiteral("DELETE FROM wez_schema")) ||
          !step(QStringLiteral("INSERT INTO wez_schema (version) VALUES (%1)").arg(kSchemaVersion)))) ||
        !db.commit()) {
        if (error->isEmpty()) *error = errorText(db.lastError());
        db.rollback();
        return false;
    }
    return true;
}

bool MemberStore::ready()
{
    if (!m_open) return false;
    if (!m_down) return true;
    if (m_sinceDown.elapsed() < m_retryAfterMs) return false;
    QString why;
    if (connect(&why)) {
        m_down = false;
        m_errors << QStringLiteral("database connection back");
        return true;
    }
    m_backoffMs = std::clamp(m_backoffMs * 2, firstBackoffMs, lastBackoffMs);
    m_sinceDown.start();
    m_retryAfterMs = m_backoffMs;
    m_errors << QStringLiteral("database still unreachable, next try in %1 ms: %2").arg(m_backoffMs).arg(why);
    return false;
}

void MemberStore::failed(const QSqlQuery &q)
{
    m_errors << errorText(q.lastError());
    if (!m_engine.reconnects || m_down) return;
    // Was it the statement or the connection? Only a connection that answers is kept.
    QSqlQuery probe(QSqlDatabase::database(m_connection, false));
    if (probe.exec(QStringLiteral("SELECT 1"))) return;
    m_errors << QStringLiteral("database connection lost");
    m_queries.clear();
    QSqlDatabase::database(m_connection, false).close();
    m_down = true;
    m_sinceDown.start();
    m_retryAfterMs = 0; // the first try again is at once; later ones back off
    m_backoffMs = 0;
}

bool MemberStore::attempt(const std::function<bool()> &work, bool atomic)
{
    for (int tries = 0; tries < 2; ++tries) {
        if (!ready()) return false;
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (atomic && !begin(db)) return false;
        const bool done = work() && (!atomic || db.commit());
        if (done) return true;
        if (atomic && !m_down) {
            if (db.lastError().isValid()) m_errors << errorText(db.lastError());
            db.rollback();
        }
        if (!m_down) return false;
    }
    return false;
}

bool MemberStore::begin(QSqlDatabase &db)
{
    if (m_engine.begin.isEmpty()) {
        if (db.transaction()) return true;
        m_errors << errorText(db.lastError());
        return false;
    }
    QSqlQuery q(db);
    if (q.exec(m_engine.begin)) return true;
    m_errors << errorText(q.lastError());
    return false;
}

QSqlQuery *MemberStore::run(const QString &sql, const QVariantList &values)
{
    auto it = m_queries.find(sql);
    if (it == m_queries.end()) {
        auto q = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_connection, false));
        q->setForwardOnly(true);
        if (!q->prepare(sql)) {
            failed(*q);
            return nullptr;
        }
        it = m_queries.emplace(sql, std::move(q)).first;
    }
    QSqlQuery *q = it->second.get();
    for (qsizetype i = 0; i < values.size(); ++i)
        q->bindValue(int(i), values[i]);
    if (!q->exec()) {
        failed(*q);
        return nullptr;
    }
    return q;
}

StoreResult MemberStore::mayChange(const QString &address, const QString &host)
{
    std::optional<Member> m;
    const bool ok = attempt(
        [&] {
            QSqlQuery *q = run(QStringLiteral("SELECT host FROM members WHERE address = ?"), {address});
            if (!q) return false;
            if (q->next()) m = Member{0, address, {}, {}, q->value(0).toString()};
            q->finish();
            return true;
        },
        false);
    if (!ok) return StoreResult::Unavailable;
    return !m || m->host == host || address == host ? StoreResult::Done : StoreResult::Refused;
}

bool MemberStore::readOwner(const QString &address, const QString &host, Change &c)
{
    QSqlQuery *q = run(QStringLiteral("SELECT host FROM members WHERE address = ?"), {address});
    if (!q) return false;
    if (q->next()) {
        c.existed = true;
        if (q->value(0).toString() != host && address != host) c.result = StoreResult::Refused;
    }
    q->finish();
    return true;
}

MemberStore::Change MemberStore::put(const QString &address, const QString &name, const QString &comment,
                                     const QString &host, qint64 now, int maxPerHost)
{
    Change c;
    const bool ok = attempt([&] {
        c = Change{StoreResult::Done, false, {}};
        if (!m_engine.hostLock.isEmpty() && !run(m_engine.hostLock, {host})) return false;
        // Checked again inside the transaction: the entry may have changed hands meanwhile.
        if (!readOwner(address, host, c)) return false;
        if (c.result == StoreResult::Refused) return true; // nothing written
        if (!run(QStringLiteral("INSERT INTO members (address, name, comment, host, seq, last_seen) "
                                "VALUES (?, ?, ?, ?, %1, ?) ON CONFLICT (address) DO UPDATE SET "
                                "name = excluded.name, comment = excluded.comment, host = excluded.host, "
                                "last_seen = excluded.last_seen")
                     .arg(m_engine.nextSeq),
                 {address, name, comment, host, now}))
            return false;
        if (maxPerHost <= 0) return true;
        const auto over = overflow(host, address, maxPerHost - 1);
        if (!over) return false;
        c.dropped = *over;
        return eraseAll(c.dropped);
    });
    if (!ok) return Change{};
    return c;
}

MemberStore::Change MemberStore::remove(const QString &address, const QString &host)
{
    Change c;
    const bool ok = attempt([&] {
        c = Change{StoreResult::Done, false, {}};
        if (!readOwner(address, host, c)) return false;
        if (c.result == StoreResult::Refused) return true;
        // Signed off: a chat it never reported ended does not outlive it either.
        return eraseAll({address}) && run(QStringLiteral("DELETE FROM chats WHERE host = ?"), {address});
    });
    if (!ok) return Change{};
    return c;
}

bool MemberStore::touch(const QString &host, qint64 now)
{
    // The host's own entries, and the entry at its address when it was registered from elsewhere.
    return attempt([&] {
        return run(QStringLiteral("UPDATE members SET last_seen = ? WHERE (host = ? OR address = ?) "
                                  "AND last_seen <= ?"),
                   {now, host, host, now - touchGranularity}) != nullptr;
    });
}

bool MemberStore::setChatting(const QString &host, bool chatting, qint64 now, qint64 cutoff,
                              qsizetype maxMarks)
{
    return attempt([&] {
        if (!chatting) return run(QStringLiteral("DELETE FROM chats WHERE host = ?"), {host}) != nullptr;
        QSqlQuery *q = run(QStringLiteral("SELECT COUNT(*) FROM chats"));
        if (!q || !q->next()) return false;
        qint64 marks = q->value(0).toLongLong();
        q->finish();
        if (marks >= maxMarks) {
            // Marks are kept for people we do not list yet too; old ones make room first.
            q = run(QStringLiteral("DELETE FROM chats WHERE since < ?"), {cutoff});
            if (!q) return false;
            marks -= q->numRowsAffected();
        }
        const QString upsert = QStringLiteral("INSERT INTO chats (host, since) VALUES (?, ?) ON CONFLICT "
                                              "(host) DO UPDATE SET since = excluded.since");
        const QString refresh = QStringLiteral("UPDATE chats SET since = ? WHERE host = ?");
        return marks < maxMarks ? run(upsert, {host, now}) != nullptr : run(refresh, {now, host}) != nullptr;
    });
}

std::optional<int> MemberStore::expire(qint64 cutoff)
{
    int gone = 0;
    const bool ok = attempt([&] {
        QSqlQuery *q = run(QStringLiteral("DELETE FROM members WHERE last_seen < ?"), {cutoff});
        if (!q) return false;
        gone = q->numRowsAffected();
        // A chat that never reported its end must not mark its member for ever.
        return run(QStringLiteral("DELETE FROM chats WHERE since < ?"), {cutoff}) != nullptr;
    });
    return ok ? std::optional<int>(gone) : std::nullopt;
}

std::optional<QStringList> MemberStore::trim(int maxPerHost)
{
    QStringList gone;
    const bool ok = attempt([&] {
        gone.clear();
        if (maxPerHost <= 0) return true;
        QSqlQuery *q =
            run(QStringLiteral("SELECT host FROM members GROUP BY host HAVING COUNT(*) > ?"), {maxPerHost});
        if (!q) return false;
        QStringList hosts;
        while (q->next())
            hosts << q->value(0).toString();
        q->finish();
        for (const QString &host : std::as_const(hosts)) {
            const auto over = overflow(host, QStringLiteral(""), maxPerHost); // not NULL: it is compared
            if (!over) return false;
            gone << *over;
        }
        return eraseAll(gone);
    });
    return ok ? std::optional<QStringList>(gone) : std::nullopt;
}

std::optional<QStringList> MemberStore::overflow(const QString &host, const QString &keep, int maxPerHost)
{
    QSqlQuery *q = run(QStringLiteral("SELECT address FROM members WHERE host = ? AND address <> ? "
                                      "ORDER BY last_seen DESC, seq DESC"),
                       {host, keep});
    if (!q) return std::nullopt;
    QStringList over;
    for (int n = 0; q->next(); ++n) {
        if (n >= maxPerHost) over << q->value(0).toString();
    }
    q->finish();
    return over;
}

bool MemberStore::eraseAll(const QStringList &addresses)
{
    return std::all_of(addresses.cbegin(), addresses.cend(), [this](const QString &a) {
        return run(QStringLiteral("DELETE FROM members WHERE address = ?"), {a}) != nullptr;
    });
}

std::optional<QList<Member>> MemberStore::page(qint64 seq, int limit)
{
    // A walk along the list place, so each page costs the same however long the list.
    return select(QStringLiteral("m.seq > ? ORDER BY m.seq LIMIT ?"), {seq, limit});
}

std::optional<Member> MemberStore::find(const QString &address)
{
    const auto one = select(QStringLiteral("m.address = ?"), {address});
    if (!one) return std::nullopt;
    return one->isEmpty() ? Member{} : one->first();
}

std::optional<QList<Member>> MemberStore::select(const QString &where, const QVariantList &values)
{
    QList<Member> list;
    const bool ok = attempt(
        [&] {
            list.clear();
            QSqlQuery *q = run(
                QStringLiteral("SELECT m.seq, m.address, m.name, m.comment, m.host, m.last_seen, "
                               "CASE WHEN EXISTS (SELECT 1 FROM chats c WHERE c.host = m.host) OR "
                               "EXISTS (SELECT 1 FROM chats c WHERE c.host = m.address) THEN 1 ELSE 0 END "
                               "FROM members m WHERE ") +
                    where,
                values);
            if (!q) return false;
            while (q->next())
                list.append(Member{q->value(0).toLongLong(), q->value(1).toString(), q->value(2).toString(),
                                   q->value(3).toString(), q->value(4).toString(), q->value(5).toLongLong(),
                                   q->value(6).toInt() != 0});
            q->finish();
            return true;
        },
        false);
    return ok ? std::optional<QList<Member>>(list) : std::nullopt;
}

std::optional<qint64> MemberStore::count()
{
    qint64 n = 0;
    const bool ok = attempt(
        [&] {
            QSqlQuery *q = run(QStringLiteral("SELECT COUNT(*) FROM members"));
            if (!q || !q->next()) return false;
            n = q->value(0).toLongLong();
            q->finish();
            return true;
        },
        false);
    return ok ? std::optional<qint64>(n) : std::nullopt;
}

std::optional<QStringList> MemberStore::addresses()
{
    QStringList list;
    const bool ok = attempt(
        [&] {
            list.clear();
            QSqlQuery *q = run(QStringLiteral("SELECT DISTINCT address FROM members"));
            if (!q) return false;
            while (q->next())
                list << q->value(0).toString();
            q->finish();
            return true;
        },
        false);
    return ok ? std::optional<QStringList>(list) : std::nullopt;
}

QString MemberStore::takeError()
{
    const QString e = m_errors.join(QStringLiteral("; "));
    m_errors.clear();
    return e;
}

} // namespace directory
