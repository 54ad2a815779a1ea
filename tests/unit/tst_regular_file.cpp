// The checked reader: only regular files, never blocking, never more than its bound.
#include "platform/regular_file.h"
#include "support/file_bytes.h"
#include "support/odd_files.h"

#include <QtTest>

#include <QTemporaryDir>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

using namespace tessaro;
using tessaro::test::write_plain;

namespace {

FileReadFailure failure_of(const std::variant<QByteArray, FileReadFailure>& result) {
    const auto* f = std::get_if<FileReadFailure>(&result);
    return f ? *f : FileReadFailure{};
}

} // namespace

class TstRegularFile : public QObject {
    Q_OBJECT
private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
    }

    // Catches a reader that hangs on a FIFO, floods memory from /dev/zero or opens a device:
    // each is refused at once, by its kind, and a device is left unopened.
    void refuses_what_is_no_regular_file_data() { test::add_odd_file_rows(); }
    void refuses_what_is_no_regular_file() {
        QFETCH(int, kind);
        const QString path = dir_->filePath("records.csv");
        PLANT_ODD_FILE(kind, path);
        const auto result = read_regular_file(path, 1024);
        QVERIFY(std::holds_alternative<FileReadFailure>(result));
        const FileReadFailure f = failure_of(result);
        switch (test::OddFile(kind)) {
        case test::OddFile::Fifo:
        case test::OddFile::LinkToFifo: QCOMPARE(f.error, FileReadError::Pipe); break;
        case test::OddFile::ZeroDevice:
        case test::OddFile::ZeroLink:
        case test::OddFile::LinkToDevice: QCOMPARE(f.error, FileReadError::Device); break;
        case test::OddFile::Folder:
        case test::OddFile::LinkToFolder: QCOMPARE(f.error, FileReadError::Folder); break;
        case test::OddFile::Socket: QCOMPARE(f.error, FileReadError::Socket); break;
        }
        QVERIFY(file_read_text(f).endsWith(QStringLiteral(", not a file.")));
    }

    // Catches an off-by-one at the bound, a file that is read only in part and a refusal that
    // reads the whole of a large file first.
    void bound_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("bound");
        QTest::addColumn<bool>("read");
        QTest::newRow("empty") << 0 << 16 << true;
        QTest::newRow("exactly the bound") << 16 << 16 << true;
        QTest::newRow("one byte over") << 17 << 16 << false;
        QTest::newRow("several chunks") << 300000 << 300000 << true;
        QTest::newRow("far over") << 300000 << 1000 << false;
    }
    void bound() {
        QFETCH(int, size);
        QFETCH(int, bound);
        QFETCH(bool, read);
        const QString path = dir_->filePath("f");
        QByteArray data(size, 'x');
        for (int i = 0; i < size; ++i) data[i] = char('a' + i % 26);
        write_plain(path, data);
        const auto result = read_regular_file(path, bound);
        if (read) {
            QVERIFY(std::holds_alternative<QByteArray>(result));
            QCOMPARE(std::get<QByteArray>(result), data);
        } else {
            QCOMPARE(failure_of(result).error, FileReadError::TooLarge);
            QCOMPARE(failure_of(result).max_bytes, qint64(bound));
            QVERIFY(file_read_text(failure_of(result)).contains(QString::number(bound)));
        }
    }

    // Catches trusting the size the system reports: a /proc file says 0 bytes and holds more,
    // and is read whole, or refused once it passes the bound.
    void size_reported_wrong() {
        const auto whole = read_regular_file(QStringLiteral("/proc/self/status"), 1 << 20);
        QVERIFY(std::holds_alternative<QByteArray>(whole));
        QVERIFY(std::get<QByteArray>(whole).contains("Name:"));
        QCOMPARE(failure_of(read_regular_file(QStringLiteral("/proc/self/status"), 8)).error, FileReadError::TooLarge);
    }

    // Catches a missing or unreadable file being reported as empty instead of with the system's reason.
    void system_refusals() {
        const auto missing = read_regular_file(dir_->filePath("none.csv"), 16);
        QCOMPARE(failure_of(missing).error, FileReadError::CannotOpen);
        QCOMPARE(failure_of(missing).system_error, ENOENT);
        QVERIFY(!file_read_text(failure_of(missing)).isEmpty());
        QCOMPARE(failure_of(read_regular_file(QString(), 16)).error, FileReadError::CannotOpen);
        QCOMPARE(failure_of(read_regular_file(dir_->filePath("none/x.csv"), 16)).system_error, ENOENT);
    }

    // Catches a descriptor handed on to programs started later (the web browser).
    void leaves_no_descriptor_open() {
        const QString path = dir_->filePath("f");
        write_plain(path, "abc");
        const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ::close(probe);
        QVERIFY(std::holds_alternative<QByteArray>(read_regular_file(path, 16)));
        QVERIFY(std::holds_alternative<FileReadFailure>(read_regular_file(path, 2)));
        const int next = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ::close(next);
        QCOMPARE(next, probe);
    }

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

QTEST_APPLESS_MAIN(TstRegularFile)
#include "tst_regular_file.moc"
