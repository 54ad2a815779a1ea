// The checked atomic writer: whole file or the old one, the system's reason, no link followed.
#include "platform/safe_file.h"
#include "support/child_writer.h"
#include "support/file_bytes.h"
#include "support/odd_files.h"

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

using namespace tessaro;
using tessaro::test::read_all;
using tessaro::test::write_plain;
using tessaro::test::ChildLimits;
using tessaro::test::write_in_child;

namespace {

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

class TstSafeFile : public QObject {
    Q_OBJECT
private slots:
    void init();
    void full_disk_keeps_old_file_data();
    void full_disk_keeps_old_file();
    void read_only_folder_keeps_old_file();
    void planted_links_are_never_followed();
    void temporary_names_are_new_and_unpredictable();
    void replaced_file_keeps_its_mode();
    void symlinked_target_replaces_the_linked_file();
    void replaces_links_atomically();
    void non_regular_paths_are_left_alone_data();
    void non_regular_paths_are_left_alone();

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

void TstSafeFile::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    // Reachable by the unprivileged child of the read-only case.
    QFile::setPermissions(dir_->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                            QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
}

void TstSafeFile::full_disk_keeps_old_file_data() {
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("old_file");
    // The small sizes fit a write buffer: the failure shows only at the flush.
    QTest::newRow("nothing free, small new file") << 0 << 14917 << true;
    QTest::newRow("4 KiB free, small new file") << 4096 << 14917 << true;
    QTest::newRow("4 KiB free, large new file") << 4096 << (1 << 20) << true;
    QTest::newRow("one byte short") << 99 << 100 << true;
    QTest::newRow("no old file") << 4096 << 14917 << false;
}

void TstSafeFile::full_disk_keeps_old_file() {
    // Catches a cut-off file renamed over the old one and reported as saved.
    QFETCH(int, limit);
    QFETCH(int, size);
    QFETCH(bool, old_file);
    const QString path = dir_->filePath(QStringLiteral("rep.xls"));
    const QByteArray old = "old report\r\n";
    if (old_file) write_plain(path, old);
    const QByteArray data(size, 'n');
    const std::optional<QString> reason =
        write_in_child(ChildLimits{static_cast<rlim_t>(limit), false}, [&] { return write_file_atomically(path, data); });
    QCOMPARE(reason, std::optional<QString>(qt_error_string(EFBIG)));
    QCOMPARE(read_all(path), old_file ? old : QByteArray());
    QCOMPARE(QFileInfo::exists(path), old_file);
    QCOMPARE(entries(dir_->path()), old_file ? QStringList{QStringLiteral("rep.xls")} : QStringList{});

    // The same write with room enough succeeds whole.
    QCOMPARE(write_in_child(ChildLimits{static_cast<rlim_t>(size), false}, [&] { return write_file_atomically(path, data); }),
             std::nullopt);
    QCOMPARE(read_all(path), data);
}

void TstSafeFile::read_only_folder_keeps_old_file() {
    // Catches a refused write reported as success, or an old file truncated in place.
    const QString folder = dir_->filePath(QStringLiteral("locked"));
    QVERIFY(QDir().mkdir(folder));
    const QString path = folder + QStringLiteral("/VUZ.xls");
    write_plain(path, "old");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::WriteOther);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    const std::optional<QString> reason =
        write_in_child(ChildLimits{std::nullopt, true}, [&] { return write_file_atomically(path, "new"); });
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(reason, std::optional<QString>(qt_error_string(EACCES)));
    QCOMPARE(read_all(path), QByteArray("old"));
    QCOMPARE(entries(folder), QStringList{QStringLiteral("VUZ.xls")});
}

void TstSafeFile::planted_links_are_never_followed() {
    // Catches a temporary file opened through a link planted at a name someone could guess.
    const QString victim = dir_->filePath(QStringLiteral("victim"));
    write_plain(victim, "precious");
    const QString folder = dir_->filePath(QStringLiteral("shared"));
    QVERIFY(QDir().mkdir(folder));
    const QStringList guesses{QStringLiteral(".VUZ.xls.part"), QStringLiteral("VUZ.xls~"), QStringLiteral(".VUZ.xls.tmp"),
                              QStringLiteral("VUZ.xls.tmp"), QStringLiteral(".VUZ.xls.new")};
    for (const QString& name : guesses) QVERIFY(QFile::link(victim, folder + QLatin1Char('/') + name));
    const QString path = folder + QStringLiteral("/VUZ.xls");
    for (int i = 0; i < 20; ++i) QCOMPARE(write_file_atomically(path, "report " + QByteArray::number(i)), std::nullopt);
    QCOMPARE(read_all(path), QByteArray("report 19"));
    QCOMPARE(read_all(victim), QByteArray("precious"));
    QVERIFY(!QFileInfo(path).isSymLink());
    QStringList expected = guesses + QStringList{QStringLiteral("VUZ.xls")};
    expected.sort();
    QCOMPARE(entries(folder), expected);
}

void TstSafeFile::temporary_names_are_new_and_unpredictable() {
    // Catches a fixed temporary name (two instances would race on it) or one reused while it exists.
    const QByteArray beside = QFile::encodeName(dir_->filePath(QStringLiteral("555.bmp")));
    QSet<QByteArray> names;
    std::vector<int> fds;
    for (int i = 0; i < 50; ++i) {
        const TempFile temp = create_temp_file(beside);
        QVERIFY(temp.fd >= 0);
        fds.push_back(temp.fd);
        QVERIFY(temp.name.startsWith(QFile::encodeName(dir_->path()) + '/'));
        names.insert(temp.name);
    }
    for (int fd : fds) ::close(fd);
    QCOMPARE(names.size(), 50);
    QCOMPARE(entries(dir_->path()).size(), 50);
    // A folder that is missing gives the reason, not a file elsewhere.
    errno = 0;
    QCOMPARE(create_temp_file(QFile::encodeName(dir_->filePath(QStringLiteral("missing/555.bmp")))).fd, -1);
    QCOMPARE(errno, ENOENT);
}

void TstSafeFile::replaced_file_keeps_its_mode() {
    // Catches a saved report that others could read before but not after (or the reverse).
    const QString path = dir_->filePath(QStringLiteral("VUZ.xls"));
    write_plain(path, "old");
    const QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    QVERIFY(QFile::setPermissions(path, mode));
    QCOMPARE(write_file_atomically(path, "new"), std::nullopt);
    QCOMPARE(QFileInfo(path).permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser), mode);
}

void TstSafeFile::symlinked_target_replaces_the_linked_file() {
    // Catches a saved file that turns the operator's link into a plain file.
    const QString real = dir_->filePath(QStringLiteral("real.xls"));
    write_plain(real, "old");
    const QString link = dir_->filePath(QStringLiteral("VUZ.xls"));
    QVERIFY(QFile::link(real, link));
    QCOMPARE(write_file_atomically(link, "new"), std::nullopt);
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(read_all(real), QByteArray("new"));
    QCOMPARE(entries(dir_->path()).size(), 2);
}

void TstSafeFile::replaces_links_atomically() {
    // Catches a link removed before the new one exists, or a stray temporary link.
    const QString link = dir_->filePath(QStringLiteral("com3"));
    QCOMPARE(replace_symlink_atomically(link, QStringLiteral("/dev/ttyUSB0")), std::nullopt);
    QCOMPARE(QFileInfo(link).symLinkTarget(), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(replace_symlink_atomically(link, QStringLiteral("/dev/pts/7")), std::nullopt);
    QCOMPARE(QFileInfo(link).symLinkTarget(), QStringLiteral("/dev/pts/7"));
    QCOMPARE(entries(dir_->path()), QStringList{QStringLiteral("com3")});

    const std::optional<QString> missing =
        replace_symlink_atomically(dir_->filePath(QStringLiteral("missing/com3")), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(missing, std::optional<QString>(qt_error_string(ENOENT)));
    QCOMPARE(entries(dir_->path()), QStringList{QStringLiteral("com3")});
}

void TstSafeFile::non_regular_paths_are_left_alone_data() { tessaro::test::add_odd_file_rows(); }

void TstSafeFile::non_regular_paths_are_left_alone() {
    // Catches a FIFO, a device node (as root), a socket or a folder at the path replaced by a
    // regular file.
    QFETCH(int, kind);
    // As root a writer that followed the link would replace the system's /dev/zero: that row runs
    // in the command-line tool's test, with root's rights dropped.
    if (tessaro::test::OddFile(kind) == tessaro::test::OddFile::ZeroLink && ::geteuid() == 0)
        QSKIP("not with the real /dev/zero as root");
    const QString path = dir_->filePath(QStringLiteral("out.csv"));
    PLANT_ODD_FILE(kind, path);
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);
    const QStringList names = entries(dir_->path());
    QCOMPARE(write_file_atomically(path, "data"), std::optional<QString>(not_regular_file_text()));
    struct stat after {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &after), 0);
    QCOMPARE(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(entries(dir_->path()), names);
}

QTEST_GUILESS_MAIN(TstSafeFile)
#include "tst_safe_file.moc"
