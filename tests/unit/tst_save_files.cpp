// Writing the saved files: whole or not at all, and the chart always as a bitmap.
#include "output/atomic_file.h"
#include "support/file_bytes.h"

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

using namespace tessaro;
using tessaro::test::read_all;
using tessaro::test::write_plain;

namespace {

// Limits the size of files this process may write, so that a write fails even for root.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, old_handler_);
    }

private:
    rlimit saved_{};
    void (*old_handler_)(int) = nullptr;
};

QImage chart_like_image() {
    QImage image(729, 361, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    p.setPen(Qt::green);
    for (int x = 0; x < image.width(); x += 7) p.drawLine(x, 0, image.width() - x, image.height() - 1);
    p.fillRect(10, 10, 40, 20, QColor(12, 34, 56));
    return image;
}

} // namespace

class TstSaveFiles : public QObject {
    Q_OBJECT
private slots:
    void init();
    void writes_and_replaces_whole();
    void unwritable_place_gives_reason_and_no_file_data();
    void unwritable_place_gives_reason_and_no_file();
    void failed_write_leaves_existing_file_untouched();
    void chart_is_bitmap_whatever_the_name();
    void chart_failures_give_reason();

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

void TstSaveFiles::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void TstSaveFiles::writes_and_replaces_whole() {
    // Catches appending to an old, longer file instead of replacing it.
    const QString path = dir_->filePath(QStringLiteral("VUZ.xls"));
    write_plain(path, QByteArray(5000, 'o'));
    const QByteArray data = "  line\r\n";
    QCOMPARE(write_file_atomically(path, data), std::nullopt);
    QCOMPARE(read_all(path), data);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{QStringLiteral("VUZ.xls")});
}

void TstSaveFiles::unwritable_place_gives_reason_and_no_file_data() {
    QTest::addColumn<QString>("relative");
    QTest::addColumn<bool>("read_only_folder");
    QTest::newRow("missing folder") << QStringLiteral("missing/VUZ.xls") << false;
    QTest::newRow("folder is a file") << QStringLiteral("plain/VUZ.xls") << false;
    QTest::newRow("read-only folder") << QStringLiteral("locked/VUZ.xls") << true;
}

void TstSaveFiles::unwritable_place_gives_reason_and_no_file() {
    // Catches a failure reported as success, or a stray file left behind.
    QFETCH(QString, relative);
    QFETCH(bool, read_only_folder);
    write_plain(dir_->filePath(QStringLiteral("plain")), "x");
    const QString folder = dir_->filePath(QStringLiteral("locked"));
    QVERIFY(QDir().mkdir(folder));
    if (read_only_folder) {
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        if (QFileInfo(folder).isWritable()) QSKIP("running with rights that ignore folder permissions");
    }
    const QString path = dir_->filePath(relative);
    const std::optional<QString> reason = write_file_atomically(path, "data\r\n");
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(reason.has_value());
    QVERIFY(!reason->isEmpty());
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(QDir(folder).isEmpty());
}

void TstSaveFiles::failed_write_leaves_existing_file_untouched() {
    // Catches truncating the chosen file before the new content is safely written.
    const QString path = dir_->filePath(QStringLiteral("VUZ.xls"));
    const QByteArray old = "the old report\r\n";
    write_plain(path, old);
    std::optional<QString> reason;
    {
        FileSizeLimit limit(4096);
        reason = write_file_atomically(path, QByteArray(1 << 20, 'n'));
    }
    QVERIFY(reason.has_value());
    QVERIFY(!reason->isEmpty());
    QCOMPARE(read_all(path), old);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{QStringLiteral("VUZ.xls")});
}

void TstSaveFiles::chart_is_bitmap_whatever_the_name() {
    // Catches choosing the format from the extension (".txt" would write no image at all).
    const QImage image = chart_like_image();
    const QString path = dir_->filePath(QStringLiteral("chart.txt"));
    QCOMPARE(save_chart_bitmap(image, path), std::nullopt);
    QVERIFY(read_all(path).startsWith("BM"));
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    QCOMPARE(reader.format(), QByteArray("bmp"));
    const QImage back = reader.read();
    QCOMPARE(back.size(), QSize(729, 361));
    QVERIFY(back.depth() >= 24);
    QCOMPARE(back.convertToFormat(QImage::Format_RGB32), image);
}

void TstSaveFiles::chart_failures_give_reason() {
    // Catches a failed chart save reported as success or leaving a file.
    const QString missing = dir_->filePath(QStringLiteral("missing/VUZ.bmp"));
    QVERIFY(save_chart_bitmap(chart_like_image(), missing).has_value());
    const QString path = dir_->filePath(QStringLiteral("VUZ.bmp"));
    QVERIFY(save_chart_bitmap(QImage(), path).has_value());
    QVERIFY(!QFileInfo::exists(path));
}

QTEST_GUILESS_MAIN(TstSaveFiles)
#include "tst_save_files.moc"
