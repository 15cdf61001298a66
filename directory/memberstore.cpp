#include "directory/memberstore.h"

#include <QAtomicInt>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace directory {
namespace {

// How stale a last-seen time may get before a list request rewrites it.
constexpr qint64 touchGranularity = 60;

QString nextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("wez-directory-%1").arg(counter.fetchAndAddRelaxed(1));
}

} // namespace

struct MemberStore::Db {
    QString connection;
    QSqlDatabase db;
    ~Db()
    {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connection);
    }
};

MemberStore::MemberStore() = default;
MemberStore::~MemberStore() = default;

bool MemberStore::open(const QString &path, QString *error)
{
    m_db.reset();
    m_members.clear();
    m_index.clear();
    m_lastSeq = 0;
    if (path.isEmpty()) return true;

    auto db = std::make_unique<Db>();
    db->connection = nextConnectionName();
    db->db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), db->connection);
    db->db.setDatabaseName(path);
    if (!db->db.open()) {
        if (error) *error = db->db.lastError().text();
        return false;
    }
    QSqlQuery q(db->db);
    // WAL with normal sync: a registration costs no fsync, a crash loses at most the last moments.
    const char *setup[] = {
        "PRAGMA journal_mode=WAL",
        "PRAGMA synchronous=NORMAL",
        ("CREATE TABLE IF NOT EXISTS members (address TEXT PRIMARY KEY, name TEXT NOT NULL, "
         "comment TEXT NOT NULL, host TEXT NOT NULL, seq INTEGER NOT NULL, last_seen INTEGER NOT NULL)"),
    };
    for (const char *sql : setup) {
        if (!q.exec(QString::fromLatin1(sql))) {
            if (error) *error = q.lastError().text();
            return false;
        }
    }
    if (!q.exec(QStringLiteral(
            "SELECT address, name, comment, host, seq, last_seen FROM members ORDER BY seq"))) {
        if (error) *error = q.lastError().text();
        return false;
    }
    while (q.next()) {
        Member m;
        m.address = q.value(0).toString();
        m.name = q.value(1).toString();
        m.comment = q.value(2).toString();
        m.host = q.value(3).toString();
        m.seq = q.value(4).toLongLong();
        m.lastSeen = q.value(5).toLongLong();
        if (m.seq <= m_lastSeq || m_index.contains(m.address))
            continue; // a hand-edited file must not break the list order
        m_lastSeq = m.seq;
        m_index.insert(m.address, m_members.size());
        m_members.append(m);
    }
    m_db = std::move(db);
    return true;
}

void MemberStore::put(const QString &address, const QString &name, const QString &comment,
                      const QString &host, qint64 now)
{
    const auto it = m_index.constFind(address);
    Member *m;
    if (it != m_index.cend()) {
        m = &m_members[*it];
    } else {
        m_index.insert(address, m_members.size());
        m_members.append(Member{});
        m = &m_members.last();
        m->seq = ++m_lastSeq;
        m->address = address;
    }
    m->name = name;
    m->comment = comment;
    m->host = host;
    m->lastSeen = now;
    write(*m);
}

bool MemberStore::remove(const QString &address)
{
    const auto it = m_index.constFind(address);
    if (it == m_index.cend()) return false;
    const qsizetype at = *it;
    m_members.removeAt(at);
    m_index.remove(address);
    reindex(at);
    erase(address);
    return true;
}

void MemberStore::touch(const QString &host, qint64 now)
{
    for (Member &m : m_members) {
        if ((m.host == host || m.address == host) && now - m.lastSeen >= touchGranularity) {
            m.lastSeen = now;
            write(m);
        }
    }
}

int MemberStore::expire(qint64 cutoff)
{
    QStringList gone;
    for (const Member &m : std::as_const(m_members)) {
        if (m.lastSeen < cutoff) gone << m.address;
    }
    if (gone.isEmpty()) return 0;
    m_members.removeIf([cutoff](const Member &m) { return m.lastSeen < cutoff; });
    m_index.clear();
    reindex(0);
    for (const QString &a : std::as_const(gone))
        erase(a);
    return int(gone.size());
}

const Member *MemberStore::nextAfter(qint64 seq) const
{
    const auto it = std::upper_bound(m_members.cbegin(), m_members.cend(), seq,
                                     [](qint64 s, const Member &m) { return s < m.seq; });
    return it == m_members.cend() ? nullptr : &*it;
}

const Member *MemberStore::find(const QString &address) const
{
    const auto it = m_index.constFind(address);
    return it == m_index.cend() ? nullptr : &m_members[*it];
}

QString MemberStore::takeWriteError()
{
    QString e;
    e.swap(m_writeError);
    return e;
}

void MemberStore::reindex(qsizetype from)
{
    for (qsizetype i = from; i < m_members.size(); ++i)
        m_index.insert(m_members[i].address, i);
}

void MemberStore::write(const Member &m)
{
    if (!m_db) return;
    QSqlQuery q(m_db->db);
    q.prepare(QStringLiteral(
        "INSERT INTO members (address, name, comment, host, seq, last_seen) VALUES (?, ?, ?, ?, ?, ?) "
        "ON CONFLICT(address) DO UPDATE SET name = excluded.name, comment = excluded.comment, "
        "host = excluded.host, last_seen = excluded.last_seen"));
    q.addBindValue(m.address);
    q.addBindValue(m.name);
    q.addBindValue(m.comment);
    q.addBindValue(m.host);
    q.addBindValue(m.seq);
    q.addBindValue(m.lastSeen);
    if (!q.exec()) m_writeError = q.lastError().text();
}

void MemberStore::erase(const QString &address)
{
    if (!m_db) return;
    QSqlQuery q(m_db->db);
    q.prepare(QStringLiteral("DELETE FROM members WHERE address = ?"));
    q.addBindValue(address);
    if (!q.exec()) m_writeError = q.lastError().text();
}

} // namespace directory
