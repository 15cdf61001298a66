#include "directory/memberstore.h"

#include <QAtomicInt>
#include <QSet>
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
    QSqlQuery upsert;
    QSqlQuery erase;
    ~Db()
    {
        upsert = QSqlQuery();
        erase = QSqlQuery();
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connection);
    }
};

// Writes made while one is alive go to disk as one transaction: a thousand
// updates then cost one commit, not a thousand.
class MemberStore::Batch final {
    Q_DISABLE_COPY_MOVE(Batch)
public:
    explicit Batch(MemberStore &store) : m_store(store)
    {
        if (m_store.m_db) m_open = m_store.m_db->db.transaction();
    }
    ~Batch()
    {
        if (!m_open || m_store.m_db->db.commit()) return;
        m_store.m_writeError = m_store.m_db->db.lastError().text();
        m_store.m_db->db.rollback();
    }

private:
    MemberStore &m_store;
    bool m_open = false;
};

MemberStore::MemberStore() = default;
MemberStore::~MemberStore() = default;

bool MemberStore::open(const QString &path, QString *error)
{
    m_db.reset();
    m_members.clear();
    m_index.clear();
    m_byHost.clear();
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
        m_byHost[m.host].append(m.address);
        m_members.append(m);
    }
    db->upsert = QSqlQuery(db->db);
    db->erase = QSqlQuery(db->db);
    if (!db->upsert.prepare(QStringLiteral(
            "INSERT INTO members (address, name, comment, host, seq, last_seen) VALUES (?, ?, ?, ?, ?, ?) "
            "ON CONFLICT(address) DO UPDATE SET name = excluded.name, comment = excluded.comment, "
            "host = excluded.host, last_seen = excluded.last_seen")) ||
        !db->erase.prepare(QStringLiteral("DELETE FROM members WHERE address = ?"))) {
        if (error) *error = db->db.lastError().text();
        return false;
    }
    m_db = std::move(db);
    return true;
}

QStringList MemberStore::put(const QString &address, const QString &name, const QString &comment,
                             const QString &host, qint64 now, int maxPerHost)
{
    Batch batch(*this);
    const auto it = m_index.constFind(address);
    Member *m;
    if (it != m_index.cend()) {
        m = &m_members[*it];
        if (m->host != host) {
            m_byHost[m->host].removeOne(address);
            if (m_byHost[m->host].isEmpty()) m_byHost.remove(m->host);
            m_byHost[host].append(address);
        }
    } else {
        m_index.insert(address, m_members.size());
        m_byHost[host].append(address);
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

    QStringList dropped;
    while (maxPerHost > 0 && countFrom(host) > maxPerHost) {
        const Member *oldest = nullptr;
        for (const QString &a : m_byHost.value(host)) {
            const Member *other = find(a);
            if (a != address && (!oldest || other->lastSeen < oldest->lastSeen)) oldest = other;
        }
        // A copy: removing the member frees the string a reference would point into.
        const QString victim = oldest->address;
        dropped << victim;
        remove(victim);
    }
    return dropped;
}

bool MemberStore::remove(const QString &address)
{
    const auto it = m_index.constFind(address);
    if (it == m_index.cend()) return false;
    const qsizetype at = *it;
    const QString host = m_members[at].host;
    m_byHost[host].removeOne(address);
    if (m_byHost[host].isEmpty()) m_byHost.remove(host);
    m_members.removeAt(at);
    m_index.remove(address);
    reindex(at);
    erase(address);
    return true;
}

void MemberStore::touch(const QString &host, qint64 now)
{
    QList<qsizetype> stale;
    const auto consider = [&](qsizetype at) {
        if (now - m_members[at].lastSeen >= touchGranularity) stale << at;
    };
    for (const QString &a : m_byHost.value(host))
        consider(m_index.value(a));
    // The entry at the host's own address, when it was registered from elsewhere.
    const auto own = m_index.constFind(host);
    if (own != m_index.cend() && m_members[*own].host != host) consider(*own);
    if (stale.isEmpty()) return;
    Batch batch(*this);
    for (qsizetype at : std::as_const(stale)) {
        m_members[at].lastSeen = now;
        write(m_members[at]);
    }
}

int MemberStore::expire(qint64 cutoff)
{
    QStringList gone;
    for (const Member &m : std::as_const(m_members)) {
        if (m.lastSeen < cutoff) gone << m.address;
    }
    dropAll(gone);
    return int(gone.size());
}

QStringList MemberStore::trim(int maxPerHost)
{
    QStringList gone;
    if (maxPerHost <= 0) return gone;
    for (auto it = m_byHost.cbegin(); it != m_byHost.cend(); ++it) {
        if (it->size() <= maxPerHost) continue;
        QList<const Member *> from;
        for (const QString &a : *it)
            from << find(a);
        std::sort(from.begin(), from.end(), [](const Member *a, const Member *b) {
            return a->lastSeen != b->lastSeen ? a->lastSeen > b->lastSeen : a->seq > b->seq;
        });
        for (qsizetype i = maxPerHost; i < from.size(); ++i)
            gone << from[i]->address;
    }
    dropAll(gone);
    return gone;
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

void MemberStore::rebuildIndexes()
{
    m_index.clear();
    m_byHost.clear();
    reindex(0);
    for (const Member &m : std::as_const(m_members))
        m_byHost[m.host].append(m.address);
}

void MemberStore::dropAll(const QStringList &addresses)
{
    if (addresses.isEmpty()) return;
    const QSet<QString> gone(addresses.cbegin(), addresses.cend());
    m_members.removeIf([&gone](const Member &m) { return gone.contains(m.address); });
    rebuildIndexes();
    Batch batch(*this);
    for (const QString &a : gone)
        erase(a);
}

void MemberStore::write(const Member &m)
{
    if (!m_db) return;
    QSqlQuery &q = m_db->upsert;
    q.bindValue(0, m.address);
    q.bindValue(1, m.name);
    q.bindValue(2, m.comment);
    q.bindValue(3, m.host);
    q.bindValue(4, m.seq);
    q.bindValue(5, m.lastSeen);
    if (!q.exec()) m_writeError = q.lastError().text();
}

void MemberStore::erase(const QString &address)
{
    if (!m_db) return;
    QSqlQuery &q = m_db->erase;
    q.bindValue(0, address);
    if (!q.exec()) m_writeError = q.lastError().text();
}

} // namespace directory
