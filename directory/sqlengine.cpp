#include "directory/sqlengine.h"

#include <QUrl>
#include <QUrlQuery>

namespace directory {
namespace {

// The tables both engines share; `integer` is the engine's 64-bit integer type.
QStringList sharedSchema(const QString &integer)
{
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS members (address TEXT PRIMARY KEY, name TEXT NOT NULL, "
                       "comment TEXT NOT NULL, host TEXT NOT NULL, seq %1 NOT NULL, last_seen %1 NOT NULL)")
            .arg(integer),
        // Listing walks the list place; limits go by host; expiry by age.
        QStringLiteral("CREATE INDEX IF NOT EXISTS members_by_seq ON members (seq)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS members_by_host ON members (host)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS members_by_last_seen ON members (last_seen)"),
        // Hosts in a chat, by connection address, whether they are listed yet or not.
        QStringLiteral("CREATE TABLE IF NOT EXISTS chats (host TEXT PRIMARY KEY, since %1 NOT NULL)")
            .arg(integer),
        QStringLiteral("CREATE INDEX IF NOT EXISTS chats_by_since ON chats (since)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS wez_schema (version INTEGER NOT NULL)"),
    };
}

bool postgresUrl(const QString &database, SqlEngine *e, QString *error)
{
    const QUrl url(database, QUrl::StrictMode);
    const QString path = url.path(QUrl::FullyDecoded);
    if (!url.isValid() || path.size() < 2 || path.indexOf(QLatin1Char('/'), 1) >= 0) {
        *error = QStringLiteral("not a postgresql://user@host:port/dbname URL: %1").arg(database);
        return false;
    }
    e->driver = QStringLiteral("QPSQL");
    e->host = url.host(QUrl::FullyDecoded);
    e->port = url.port(-1);
    e->user = url.userName(QUrl::FullyDecoded);
    e->password = url.password(QUrl::FullyDecoded);
    e->name = path.mid(1);
    // A server that stops answering must not hold the event loop long: every wait has a bound.
    QStringList options{
        QStringLiteral("connect_timeout=5"),      QStringLiteral("keepalives_idle=10"),
        QStringLiteral("keepalives_interval=5"),  QStringLiteral("keepalives_count=2"),
        QStringLiteral("tcp_user_timeout=10000"), QStringLiteral("application_name=wez-directory")};
    const auto items = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
    for (const auto &[key, value] : items) {
        if (key.contains(QLatin1Char(';')) || value.contains(QLatin1Char(';')) ||
            value.contains(QLatin1Char(' '))) {
            *error = QStringLiteral("URL option %1 holds a character it may not").arg(key);
            return false;
        }
        options << key + QLatin1Char('=') + value;
    }
    e->options = options.join(QLatin1Char(';'));
    QUrl shown = url;
    shown.setPassword(QString());
    e->display = shown.toString();
    e->session = {
        // As SQLite's normal sync: a commit does not wait for the disk; a crash loses at most
        // the last moments, never a half-written member.
        QStringLiteral("SET synchronous_commit = off"),
        QStringLiteral("SET client_min_messages = warning"),
        QStringLiteral("SET statement_timeout = 5000"),
        QStringLiteral("SET lock_timeout = 5000"),
    };
    e->schema = sharedSchema(QStringLiteral("BIGINT"));
    e->schema << QStringLiteral("CREATE SEQUENCE IF NOT EXISTS members_seq")
              // Members copied in from elsewhere keep their places ahead of new ones.
              << QStringLiteral(
                     "SELECT setval('members_seq', (SELECT MAX(seq) FROM members)) "
                     "WHERE (SELECT MAX(seq) FROM members) > (SELECT last_value FROM members_seq)");
    // Two servers starting on an empty database would both create the tables.
    e->schemaLock = QStringLiteral("SELECT pg_advisory_xact_lock(1203)");
    // Two servers taking registrations from one host at once would each keep its limit.
    e->hostLock = QStringLiteral("SELECT pg_advisory_xact_lock(1204, hashtext(?))");
    e->nextSeq = QStringLiteral("nextval('members_seq')");
    e->reconnects = true;
    return true;
}

} // namespace

bool SqlEngine::forDatabase(const QString &database, SqlEngine *e, QString *error)
{
    *e = SqlEngine();
    if (database.startsWith(QLatin1String("postgresql://")) ||
        database.startsWith(QLatin1String("postgres://")))
        return postgresUrl(database, e, error);
    e->driver = QStringLiteral("QSQLITE");
    e->file = database.isEmpty() ? QStringLiteral(":memory:") : database;
    e->display = database.isEmpty() ? QStringLiteral("(memory)") : database;
    // WAL with normal sync: a registration costs no fsync, a crash loses at most the last moments.
    e->session = {QStringLiteral("PRAGMA journal_mode=WAL"), QStringLiteral("PRAGMA synchronous=NORMAL"),
                  QStringLiteral("PRAGMA busy_timeout=5000")};
    e->schema = sharedSchema(QStringLiteral("INTEGER"));
    // Servers sharing the file take the write lock up front: one that upgraded a read
    // transaction later could be refused at once instead of waiting its turn.
    e->begin = QStringLiteral("BEGIN IMMEDIATE");
    // One writer at a time holds the file, so the next place is simply past the last.
    e->nextSeq = QStringLiteral("(SELECT COALESCE(MAX(seq), 0) + 1 FROM members)");
    return true;
}

void SqlEngine::configure(QSqlDatabase &db) const
{
    if (driver == QLatin1String("QSQLITE")) {
        db.setDatabaseName(file);
        return;
    }
    db.setDatabaseName(name);
    if (!host.isEmpty()) db.setHostName(host);
    if (port > 0) db.setPort(port);
    if (!user.isEmpty()) db.setUserName(user);
    if (!password.isEmpty()) db.setPassword(password);
    db.setConnectOptions(options);
}

} // namespace directory
