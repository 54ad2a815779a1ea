// Live monitoring with files that cannot be written: the port file and the chart snapshot.
#include "link_fixture.h"
#include "support/generous_wait.h"

#include <QDir>
#include <QFileInfo>

using tessaro::MeterSimOptions;
using tessaro::test::LinkFixture;
namespace paths = tessaro::paths;

class TstFaultsFiles : public QObject {
    Q_OBJECT

private slots:
    void unwritableFiles_data();
    void unwritableFiles();
};

void TstFaultsFiles::unwritableFiles_data() {
    QTest::addColumn<bool>("portFileBlocked");
    QTest::addColumn<bool>("snapshotBlocked");
    QTest::newRow("port file is a folder") << true << false;
    QTest::newRow("snapshot folder is a file") << false << true;
    QTest::newRow("both") << true << true;
}

// Catches a crash, a stalled link or lost readings when the port file or the chart snapshot cannot be
// written (the program runs as root in CI, so the paths are blocked by their type, not by permissions).
void TstFaultsFiles::unwritableFiles() {
    QFETCH(bool, portFileBlocked);
    QFETCH(bool, snapshotBlocked);
    LinkFixture t;
    if (portFileBlocked) QVERIFY(QDir().mkpath(paths::port_file()));
    const QString snapshot_dir = QFileInfo(paths::snapshot_file()).absolutePath();
    if (snapshotBlocked) {
        QDir(snapshot_dir).removeRecursively();
        QFile blocker(snapshot_dir);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    MeterSimOptions o;
    o.liveCount = 1234;
    QVERIFY(t.startSim(o));
    t.f.thawTimers();
    QTRY_VERIFY_WITH_TIMEOUT(t.form().live_stats.average_count() >= 8, tessaro::test::kWaitMs);
    QCOMPARE(t.form().Text29->text(), QString("123.4mA"));
    QCOMPARE(t.form().Text39->text(), QString("COM Open"));
    QCOMPARE(t.form().live_samples[400], 12340.0);
    QCOMPARE(QFileInfo(paths::port_file()).isDir(), portFileBlocked);
    if (!portFileBlocked) QCOMPARE(tessaro::test::fileBytes(paths::port_file()), QByteArray::fromHex("0300"));
    if (!snapshotBlocked) QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(paths::snapshot_file()), tessaro::test::kWaitMs);
}

QTEST_MAIN(TstFaultsFiles)
#include "tst_faults_files.moc"
