#pragma once
// One running copy per data directory: an exclusive lock on a file in it. The
// system drops the lock when the process ends, however it ends, so a crash
// never leaves the directory locked.
#include <QString>

class InstanceLock final {
public:
    explicit InstanceLock(const QString &path) : m_path(path) {}
    ~InstanceLock() { unlock(); }
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // False when another copy holds the lock.
    bool tryLock();
    void unlock();

private:
    QString m_path;
    int m_fd = -1;
};
