#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

/// Whole files as the tests read and write them: no program code, only Qt.
namespace TestFiles {

/// The bytes of the file at `path`; `unreadable` when it cannot be opened.
/// A marker such as "<missing>" tells a missing file from an empty one where
/// a test must; the empty default does not.
inline QByteArray read(const QString &path, const QByteArray &unreadable = QByteArray())
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : unreadable;
}

/// Writes the whole file, replacing what was there: true only when every
/// byte went in and was flushed.
[[nodiscard]] inline bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() && file.flush();
}

/// write() for what a test sets up: a refused write fails the running test.
/// Called from a helper, the failure returns from the helper only; the test
/// is marked failed all the same.
inline void put(const QString &path, const QByteArray &bytes)
{
    QVERIFY2(write(path, bytes), qPrintable(QStringLiteral("cannot write ") + path));
}

} // namespace TestFiles
