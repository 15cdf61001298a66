#pragma once
// The members the directory knows, in the order they first registered, kept
// in memory for listing and written through to SQLite so a restart loses nobody.
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace directory {

struct Member {
    qint64 seq = 0;  // place in the list; a member registering again keeps it
    QString address; // the key: the address other clients call
    QString name;    // as registered, with its leading mark
    QString comment;
    QString host;        // where the registration came from
    qint64 lastSeen = 0; // seconds since the epoch
};

class MemberStore final {
    Q_DISABLE_COPY_MOVE(MemberStore)
public:
    MemberStore();
    ~MemberStore();

    // Opens (creating if needed) the database and loads its members.
    // An empty path keeps the members in memory only.
    bool open(const QString &path, QString *error);

    // Registers or replaces the member at `address`. When `host` then holds more than
    // `maxPerHost` entries (0: no limit), its least recently heard from others go;
    // returns their addresses.
    QStringList put(const QString &address, const QString &name, const QString &comment, const QString &host,
                    qint64 now, int maxPerHost = 0);
    bool remove(const QString &address);
    // Marks members at `host` (by key or by origin) as heard from.
    void touch(const QString &host, qint64 now);
    // Drops members last heard from before `cutoff`; returns how many.
    int expire(qint64 cutoff);
    // Drops each host's least recently heard from entries beyond `maxPerHost`; returns their addresses.
    QStringList trim(int maxPerHost);
    // How many entries were registered from `host`.
    qsizetype countFrom(const QString &host) const { return m_byHost.value(host).size(); }

    // The first member after list place `seq` (0 for the first), or null.
    const Member *nextAfter(qint64 seq) const;
    const Member *find(const QString &address) const;
    qsizetype size() const { return m_members.size(); }
    const QList<Member> &members() const { return m_members; }

    // The last write that failed, for the log; empty when all went well.
    QString takeWriteError();

private:
    struct Db;
    class Batch;

    void reindex(qsizetype from);
    void rebuildIndexes();
    void dropAll(const QStringList &addresses);
    void write(const Member &m);
    void erase(const QString &address);

    std::unique_ptr<Db> m_db;
    QList<Member> m_members; // ordered by seq
    QHash<QString, qsizetype> m_index;
    QHash<QString, QStringList> m_byHost; // host -> addresses registered from there
    qint64 m_lastSeq = 0;
    QString m_writeError;
};

} // namespace directory
