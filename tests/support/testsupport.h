#pragma once
// Helpers shared by the tests: loopback addresses of their own, temporary data
// directories, waiting for a condition with a deadline, raw peers.
#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace testsupport {

// A loopback address no other test process uses: 127.a.b.n, where a.b come
// from the process id, so ctest can run test executables side by side.
QHostAddress loopback(int n);

// Waits (running the event loop) until `condition` holds or `ms` passed.
bool waitFor(const std::function<bool()> &condition, int ms = 5000);

// Bytes of a file, or empty.
QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &bytes);

// Code page 932 bytes of a UTF-8 literal, for exact wire and file checks.
QByteArray sjis(const char *utf8);

} // namespace testsupport
