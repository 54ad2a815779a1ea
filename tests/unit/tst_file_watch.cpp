// The port file's change watch: every way the file can change between two looks is reported.
#include "platform/file_watch.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using tessaro::FileWatch;

namespace {

void put(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

class TstFileWatch : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString folder_, file_;

private slots:
    void init() {
        QVERIFY(dir_.isValid());
        folder_ = dir_.filePath("config/tessaro");
        file_ = folder_ + "/myfile.txt";
        QVERIFY(QDir().mkpath(folder_));
        put(file_, QByteArray::fromHex("0300"));
    }
    void cleanup() { QDir(dir_.filePath("config")).removeRecursively(); }

    void quietUntilSomethingHappens_data() {
        QTest::addColumn<QString>("change");
        QTest::newRow("written in place") << "write";
        QTest::newRow("removed") << "remove";
        QTest::newRow("replaced by a rename") << "rename";
        QTest::newRow("attributes changed") << "chmod";
        QTest::newRow("folder removed and made again") << "refolder";
        QTest::newRow("folder moved away") << "movefolder";
        QTest::newRow("turned into a symlink") << "symlink";
    }
    void quietUntilSomethingHappens() {
        // Catches a change between two ticks that the next tick does not see, or a watch that
        // stops reporting after its folder was replaced.
        QFETCH(QString, change);
        FileWatch watch;
        QVERIFY(watch.changed(file_)); // nothing known before the first look
        QVERIFY(!watch.changed(file_));
        QVERIFY(!watch.changed(file_));

        if (change == "write") {
            put(file_, QByteArray::fromHex("0700"));
        } else if (change == "remove") {
            QVERIFY(QFile::remove(file_));
        } else if (change == "rename") {
            put(folder_ + "/other", QByteArray::fromHex("0900"));
            QVERIFY(::rename(QFile::encodeName(folder_ + "/other").constData(), QFile::encodeName(file_).constData()) == 0);
        } else if (change == "chmod") {
            QVERIFY(QFile::setPermissions(file_, QFile::ReadOwner));
        } else if (change == "refolder") {
            QVERIFY(QDir(folder_).removeRecursively());
            QVERIFY(QDir().mkpath(folder_));
        } else if (change == "movefolder") {
            QVERIFY(QDir().rename(folder_, folder_ + ".old"));
            QVERIFY(QDir().mkpath(folder_));
        } else if (change == "symlink") {
            put(dir_.filePath("elsewhere"), QByteArray::fromHex("0500"));
            QVERIFY(QFile::remove(file_));
            QVERIFY(QFile::link(dir_.filePath("elsewhere"), file_));
        }
        QVERIFY(watch.changed(file_));

        // Still watching afterwards: the next change is seen, quiet in between.
        if (change != "symlink") {
            while (watch.changed(file_)) {
            }
            put(file_, QByteArray::fromHex("0400"));
            QVERIFY(watch.changed(file_));
        }
        QDir(dir_.path()).remove("elsewhere");
    }

    void alwaysLooksWhenItCannotWatch_data() {
        QTest::addColumn<bool>("symlinked");
        QTest::newRow("no folder yet") << false;
        QTest::newRow("the file is a symlink to another folder") << true;
    }
    void alwaysLooksWhenItCannotWatch() {
        // Catches a watch that goes quiet while changes happen where it cannot see them.
        QFETCH(bool, symlinked);
        FileWatch watch;
        if (symlinked) {
            put(dir_.filePath("target"), QByteArray::fromHex("0300"));
            QVERIFY(QFile::remove(file_));
            QVERIFY(QFile::link(dir_.filePath("target"), file_));
        } else {
            QVERIFY(QDir(folder_).removeRecursively());
        }
        for (int i = 0; i < 3; ++i) QVERIFY(watch.changed(file_));
        if (!symlinked) {
            // Once the folder exists the watch takes hold.
            QVERIFY(QDir().mkpath(folder_));
            QVERIFY(watch.changed(file_));
            QVERIFY(!watch.changed(file_));
            put(file_, QByteArray::fromHex("0100"));
            QVERIFY(watch.changed(file_));
        }
        QDir(dir_.path()).remove("target");
    }

    void otherFileOrAnotherPath() {
        // Catches a watch that keeps reporting on the old path after the path changed.
        FileWatch watch;
        QVERIFY(watch.changed(file_));
        QVERIFY(!watch.changed(file_));
        const QString second = dir_.filePath("second/myfile.txt");
        QVERIFY(QDir().mkpath(dir_.filePath("second")));
        QVERIFY(watch.changed(second));
        QVERIFY(!watch.changed(second));
        put(file_, QByteArray::fromHex("0200")); // the old folder no longer counts
        QVERIFY(!watch.changed(second));
        put(second, QByteArray::fromHex("0200"));
        QVERIFY(watch.changed(second));
        QDir(dir_.filePath("second")).removeRecursively();
    }
};

QTEST_GUILESS_MAIN(TstFileWatch)
#include "tst_file_watch.moc"
