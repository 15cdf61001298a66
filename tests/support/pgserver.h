#pragma once
// A PostgreSQL server of the test's own: a cluster made with initdb in a
// temporary directory, run in the foreground on a loopback address of this
// process, a private port and a private socket directory, with password-less
// access for the user "wez". As root it runs as the system's `postgres` user
// (the server refuses to run as root). Stopped by process id.
#include <QHostAddress>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class PgServer final {
public:
    explicit PgServer(int loopbackIndex = 30);
    ~PgServer();
    Q_DISABLE_COPY_MOVE(PgServer)

    // Empty when a server can run here, otherwise why not.
    static QString unavailableReason();
    // When set, a test that cannot have its server fails instead of skipping.
    static bool mustRun() { return qEnvironmentVariableIsSet("CI"); }

    // Makes the cluster (first time only) and runs the server with database "wez".
    // `durable`: with fsync, as a real installation runs; tests do without.
    bool start(QString *why, bool durable = false);
    // Fast shutdown: clients are disconnected, the data stays for another start().
    void stop();
    bool running() const { return m_server.state() == QProcess::Running; }

    QString url(const QString &database = QStringLiteral("wez")) const;
    QHostAddress host() const { return m_host; }
    quint16 port() const { return m_port; }
    qint64 pid() const { return m_server.processId(); }

    // Runs SQL through psql on `database`; false (with the output in `why`) when it failed.
    bool sql(const QString &statements, QString *why = nullptr,
             const QString &database = QStringLiteral("wez")) const;
    // Empties the database "wez": every table and sequence gone.
    bool reset(QString *why = nullptr) const;

    QString log() const;

private:
    QStringList asServerUser(const QString &tool, const QStringList &args) const;
    bool runTool(const QString &tool, const QStringList &args, QString *why) const;

    QTemporaryDir m_dir;
    QString m_bin;
    QHostAddress m_host;
    quint16 m_port = 0;
    bool m_made = false;
    QProcess m_server;
};
