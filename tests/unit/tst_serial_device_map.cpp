// Port numbers resolved against the system's serial devices: the system is asked again only when
// the device folders changed, so a program left unplugged does not walk sysfs at every open attempt.
#include "platform/serial_device_map.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

using namespace tessaro;

class TstSerialDeviceMap : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

    QString device(const QString& name) const {
        const QString path = dir_.path() + "/" + name;
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        return path;
    }

private slots:
    void init() {
        QVERIFY(dir_.isValid());
        // No port map entries: the system's list decides.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path() + "/config"));
    }

    void unchangedFoldersAreNotListedAgain() {
        // Catches the system listed at every open attempt while no adapter is plugged in.
        QStringList system;
        QString stamp = "a";
        SerialDeviceMap map;
        map.setLister([&] { return system; }, [&] { return stamp; });
        for (int i = 0; i < 20; ++i) QVERIFY(map.resolve(1).isEmpty());
        QCOMPARE(map.listings(), 1);

        // The adapter appears: its node changes the folder, and the next attempt finds it.
        system = {device("ttyUSB0")};
        stamp = "b";
        QCOMPARE(map.resolve(1), system.first());
        QCOMPARE(map.listings(), 2);
        // Kept by its path while it exists, without asking the system.
        for (int i = 0; i < 5; ++i) QCOMPARE(map.resolve(1), system.first());
        QCOMPARE(map.listings(), 2);

        // Unplugged and back under another name: the folder changes twice, the new name is found.
        QVERIFY(QFile::remove(system.first()));
        system = {device("ttyUSB1")};
        stamp = "c";
        QCOMPARE(map.resolve(1), system.first());
        QCOMPARE(map.listings(), 3);
    }

    void anotherPortNumberIsLookedUp() {
        QStringList system = {device("ttyUSB0"), device("ttyUSB1")};
        SerialDeviceMap map;
        map.setLister([&] { return system; }, [] { return QStringLiteral("same"); });
        QCOMPARE(map.resolve(2), system.at(1));
        QCOMPARE(map.resolve(1), system.at(0));
        QVERIFY(map.resolve(3).isEmpty());
        QCOMPARE(map.listings(), 1);
    }

    void withoutAStampEveryAttemptAsks() {
        int asked = 0;
        SerialDeviceMap map;
        map.setLister([&] { ++asked; return QStringList(); });
        for (int i = 0; i < 3; ++i) map.resolve(1);
        QCOMPARE(asked, 3);
    }

    void folderStampFollowsEntries() {
        // Catches a stamp that misses a device node made or removed in the folder.
        const QString folder = dir_.path() + "/dev";
        QVERIFY(QDir().mkpath(folder));
        const QString missing = dir_.path() + "/none";
        auto age = [&] { // an old time, so a change within the clock's tick still shows
            const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
            QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(folder).constData(), old, 0) == 0);
        };
        age();
        const QString before = folders_stamp({folder, missing});
        QVERIFY(before.endsWith("-;"));
        QCOMPARE(folders_stamp({folder, missing}), before);
        const QString node = device("dev/ttyACM0");
        const QString with_node = folders_stamp({folder, missing});
        QVERIFY(with_node != before);
        age();
        const QString aged = folders_stamp({folder, missing});
        QVERIFY(QFile::remove(node));
        QVERIFY(folders_stamp({folder, missing}) != aged);
        QVERIFY(!device_folders_stamp().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstSerialDeviceMap)
#include "tst_serial_device_map.moc"
