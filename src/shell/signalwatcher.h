#pragma once
// Turns SIGTERM and SIGINT into a signal on the event loop, so they run the
// normal shutdown instead of killing the program mid-save.
#include <QObject>

class QSocketNotifier;

class SignalWatcher final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SignalWatcher)
public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

Q_SIGNALS:
    void terminationRequested();

private:
    QSocketNotifier *m_notifier = nullptr;
};
