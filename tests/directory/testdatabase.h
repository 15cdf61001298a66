#pragma once
// The database a directory test runs on. The same test executable runs twice:
// on SQLite, and with WEZ_DIRECTORY_ENGINE=postgresql on a PostgreSQL server
// of its own, so both engines answer the same cases.
#include "pgserver.h"

#include <QTemporaryDir>

#include <memory>

class TestDatabase final {
public:
    static bool wantsPostgres() { return qgetenv("WEZ_DIRECTORY_ENGINE") == "postgresql"; }

    // Starts what the engine needs; empty when all is well, else why not.
    QString setUp()
    {
        if (!wantsPostgres()) return {};
        m_pg = std::make_unique<PgServer>();
        QString why;
        return m_pg->start(&why) ? QString() : QStringLiteral("PostgreSQL: ") + why;
    }

    // A fresh, empty database for one test: a new SQLite file in `dir`, or the server's emptied.
    QString fresh(const QTemporaryDir &dir) const
    {
        if (!m_pg) return dir.filePath(QStringLiteral("members.sqlite"));
        QString why;
        if (!m_pg->reset(&why)) qFatal("could not empty the test database: %s", qPrintable(why));
        return m_pg->url();
    }

    PgServer *postgres() const { return m_pg.get(); }

private:
    std::unique_ptr<PgServer> m_pg;
};

// In initTestCase: the engine is up, or the test case skips (fails where PgServer::mustRun()).
#define WEZ_REQUIRE_DATABASE(db)                                                                             \
    do {                                                                                                     \
        if (const QString why_ = (db).setUp(); !why_.isEmpty()) {                                            \
            if (PgServer::mustRun()) QFAIL(qPrintable(why_));                                                \
            QSKIP(qPrintable(why_));                                                                         \
        }                                                                                                    \
    } while (false)
