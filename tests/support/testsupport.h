#pragma once
// Helpers shared by the tests: loopback addresses of their own, temporary data
// directories, waiting for a condition with a deadline, raw peers.
#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

namespace testsupport {

// A loopback address no other test process uses: 127.a.b.n, where a.b come
// from the process id, so ctest can run test executables side by side.
QHostAddress loopback(int n);

// Waits (running the event loop) until `condition` holds or `ms` passed.
bool waitFor(const std::function<bool()> &condition, int ms = 5000);
// For tests that something does NOT happen: runs the event loop for `ms` and
// fails as soon as `condition` stops holding.
bool holdsFor(const std::function<bool()> &condition, int ms);

// Bytes of a file, or empty.
QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &bytes);

// Paths of this process's open files that end with `suffix`.
QStringList openFiles(const QString &suffix);

// Code page 932 bytes of a UTF-8 literal, for exact wire and file checks.
QByteArray sjis(const char *utf8);

// A raw peer from `from`, connected to `to`:`port`; null when that failed.
std::unique_ptr<QTcpSocket> connectRaw(const QHostAddress &from, const QHostAddress &to, quint16 port);
// Writes at once, so each call leaves as its own segment where the network allows.
void sendRaw(QTcpSocket &s, const QByteArray &bytes);
// Reads into `got` until it holds `part`.
bool readUntil(QTcpSocket &s, QByteArray &got, const QByteArray &part, int ms = 5000);
// Reads until `expected.size()` bytes came; true when they are exactly `expected`.
bool readExactly(QTcpSocket &s, const QByteArray &expected, int ms = 5000);
// Waits until the other side hung up.
bool closedByPeer(QTcpSocket &s, int ms = 5000);

} // namespace testsupport
