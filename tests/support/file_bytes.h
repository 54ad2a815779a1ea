// Reading and planting whole files in tests of the file writers.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

namespace tessaro::test {

// The file's bytes, or empty when it cannot be read.
inline QByteArray read_all(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Puts a file in place directly, as an earlier run of the program would have left it.
inline void write_plain(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(data), data.size());
}

} // namespace tessaro::test
