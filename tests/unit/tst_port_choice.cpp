// Port box number and the 2-byte port file written in place.
#include "link/port_choice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tessaro;

namespace {

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool put(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

class TstPortChoice : public QObject {
    Q_OBJECT
private slots:
    void init();
    void box_text_data();
    void box_text();
    void write_bytes_data();
    void write_bytes();
    void read_back_data();
    void read_back();
    void missing_file_reads_nothing();
    void creates_file_and_folder();
    void longer_file_keeps_tail();
    void written_through_symlink();
    void read_only_file_fails();
    void folder_that_cannot_be_created_fails();
    void directory_in_place_of_file_fails();
    void fifo_or_device_left_alone_data();
    void fifo_or_device_left_alone();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString path_;
};

void TstPortChoice::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    path_ = dir_->filePath(QStringLiteral("tessaro/myfile.txt"));
}

void TstPortChoice::box_text_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port"); // 0: no port
    QTest::newRow("first entry with blank") << "1 " << 1;
    QTest::newRow("16") << "16" << 16;
    QTest::newRow("leading blank") << " 7" << 7;
    QTest::newRow("3.0 is 3") << "3.0" << 3;
    QTest::newRow("exponent") << "1e1" << 10;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("blanks") << "   " << 0;
    QTest::newRow("abc") << "abc" << 0;
    QTest::newRow("COM3") << "COM3" << 0;
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("17") << "17" << 0;
    QTest::newRow("-1") << "-1" << 0;
    QTest::newRow("2.5") << "2.5" << 0;
    QTest::newRow("nan") << "nan" << 0;
    QTest::newRow("huge") << "1e400" << 0;
}

void TstPortChoice::box_text() {
    // Catches a port taken from a text that is no whole number 1..16, or "1 " refused.
    QFETCH(QString, text);
    QFETCH(int, port);
    const auto n = port_number(text);
    QCOMPARE(n.value_or(0), port);
}

void TstPortChoice::write_bytes_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("1") << 1 << QByteArray::fromHex("0100");
    QTest::newRow("16") << 16 << QByteArray::fromHex("1000");
    QTest::newRow("0") << 0 << QByteArray::fromHex("0000");
    QTest::newRow("-2") << -2 << QByteArray::fromHex("feff");
    QTest::newRow("0x1234") << 0x1234 << QByteArray::fromHex("3412");
}

void TstPortChoice::write_bytes() {
    // Catches a big-endian record, a text instead of binary, or a file longer than 2 bytes.
    QFETCH(int, value);
    QVERIFY(write_port_file(path_, int16_t(value)));
    QTEST(contents(path_), "bytes");
}

void TstPortChoice::read_back_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("port"); // 0: nothing
    QTest::newRow("5") << QByteArray::fromHex("0500") << 5;
    QTest::newRow("16 with tail") << QByteArray::fromHex("1000abcdef") << 16;
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("one byte") << QByteArray::fromHex("05") << 0;
    QTest::newRow("0") << QByteArray::fromHex("0000") << 0;
    QTest::newRow("17") << QByteArray::fromHex("1100") << 0;
    QTest::newRow("big-endian 5 is no port") << QByteArray::fromHex("0005") << 0;
    QTest::newRow("negative") << QByteArray::fromHex("ffff") << 0;
}

void TstPortChoice::read_back() {
    // Catches a short or out-of-range file taken as a port, or the wrong byte order.
    QFETCH(QByteArray, bytes);
    QFETCH(int, port);
    QVERIFY(QDir().mkpath(QFileInfo(path_).absolutePath()));
    QVERIFY(put(path_, bytes));
    QCOMPARE(int(read_port_file(path_).value_or(0)), port);
}

void TstPortChoice::missing_file_reads_nothing() {
    // Catches a crash or a made-up port when the file is missing.
    QVERIFY(!read_port_file(path_));
    QVERIFY(!read_port_file(dir_->path())); // a folder is no port file
}

void TstPortChoice::creates_file_and_folder() {
    // Catches a write that fails when the config folder does not exist yet.
    const QString deep = dir_->filePath(QStringLiteral("a/b/c/myfile.txt"));
    QVERIFY(write_port_file(deep, 5));
    QCOMPARE(read_port_file(deep).value_or(0), int16_t(5));
}

void TstPortChoice::longer_file_keeps_tail() {
    // Catches a write that truncates or replaces the file instead of writing 2 bytes in place.
    QVERIFY(QDir().mkpath(QFileInfo(path_).absolutePath()));
    QVERIFY(put(path_, QByteArray::fromHex("0300aabbcc")));
    QVERIFY(write_port_file(path_, 12));
    QCOMPARE(contents(path_), QByteArray::fromHex("0c00aabbcc"));
}

void TstPortChoice::written_through_symlink() {
    // Catches a write that replaces the symlink by a plain file (as a save-and-rename would).
    const QString target = dir_->filePath(QStringLiteral("real.bin"));
    QVERIFY(put(target, QByteArray::fromHex("0100ff")));
    QVERIFY(QDir().mkpath(QFileInfo(path_).absolutePath()));
    QVERIFY(QFile::link(target, path_));
    QVERIFY(write_port_file(path_, 9));
    QVERIFY(QFileInfo(path_).isSymLink());
    QCOMPARE(contents(target), QByteArray::fromHex("0900ff"));
    QCOMPARE(read_port_file(path_).value_or(0), int16_t(9));
}

void TstPortChoice::read_only_file_fails() {
    // Catches a write failure reported as success, or a read-only file replaced to get round it.
    QVERIFY(QDir().mkpath(QFileInfo(path_).absolutePath()));
    QVERIFY(put(path_, QByteArray::fromHex("0400")));
    QVERIFY(QFile::setPermissions(path_, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    if (::geteuid() != 0) {
        QVERIFY(!write_port_file(path_, 7));
    } else {
        // Root writes read-only files anyway: try it as an unprivileged user in a child process.
        QVERIFY(QFile::setPermissions(dir_->path(), QFile::permissions(dir_->path()) | QFileDevice::ExeOther |
                                                        QFileDevice::ReadOther));
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
            if (read_port_file(path_) != int16_t(4)) ::_exit(3); // the file must be in reach
            ::_exit(write_port_file(path_, 7) ? 1 : 0);
        }
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }
    QCOMPARE(contents(path_), QByteArray::fromHex("0400"));
}

void TstPortChoice::folder_that_cannot_be_created_fails() {
    // Catches a success reported when the folder cannot exist (a plain file stands in its place).
    const QString blocker = dir_->filePath(QStringLiteral("blocker"));
    QVERIFY(put(blocker, QByteArray("x")));
    QVERIFY(!write_port_file(blocker + QStringLiteral("/tessaro/myfile.txt"), 3));
    QCOMPARE(contents(blocker), QByteArray("x"));
}

void TstPortChoice::directory_in_place_of_file_fails() {
    // Catches a crash or a false success when the port file's name is taken by a folder.
    QVERIFY(QDir().mkpath(path_));
    QVERIFY(!write_port_file(path_, 3));
    QVERIFY(QFileInfo(path_).isDir());
}


void TstPortChoice::fifo_or_device_left_alone_data() {
    QTest::addColumn<bool>("fifo");
    QTest::newRow("FIFO") << true;
    QTest::newRow("link to /dev/null") << false;
}

void TstPortChoice::fifo_or_device_left_alone() {
    // Catches a FIFO or a device taken for the port file: a blocked open, a seek warning on every
    // tick, or a device opened (and its lines changed) to write a port number into it.
    QFETCH(bool, fifo);
    QVERIFY(QDir().mkpath(QFileInfo(path_).absolutePath()));
    if (fifo)
        QCOMPARE(::mkfifo(QFile::encodeName(path_).constData(), 0600), 0);
    else
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), path_));
    QVERIFY(!write_port_file(path_, 3));
    QVERIFY(!read_port_file(path_).has_value());
    struct stat st {};
    QCOMPARE(::lstat(QFile::encodeName(path_).constData(), &st), 0);
    QVERIFY(fifo ? S_ISFIFO(st.st_mode) : S_ISLNK(st.st_mode));
}

QTEST_GUILESS_MAIN(TstPortChoice)
#include "tst_port_choice.moc"
