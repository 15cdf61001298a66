#pragma once
// Pushes one "SRM 100" notice to port 1205 of each given host: one short
// connection per host, a few at a time, each with its own time limit.
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QStringList>

namespace directory {

class NoticeSender final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NoticeSender)
public:
    NoticeSender(const QStringList &hosts, const QString &text, QObject *parent = nullptr);

    void setBindAddress(const QHostAddress &a) { m_bind = a; }
    void setPort(quint16 port) { m_port = port; }
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    void start();

    int delivered() const { return m_delivered; }
    QStringList failed() const { return m_failed; }
    QString reason(const QString &host) const { return m_reasons.value(host); }

Q_SIGNALS:
    void finished();

private:
    void launchMore();
    void sendTo(const QString &host);
    void done(const QString &host, bool ok);

    QStringList m_queue;
    QByteArray m_message;
    QHostAddress m_bind;
    quint16 m_port = 1205;
    int m_timeoutMs = 5000;
    int m_running = 0;
    int m_delivered = 0;
    bool m_finished = false;
    QStringList m_failed;
    QHash<QString, QString> m_reasons;
};

} // namespace directory
