// The serial device list, the meter probe and the Ports window on real pseudo-terminals.
#include "app/ports_window.h"
#include "link_fixture.h"
#include "link/mscomm.h"
#include "link/port_probe.h"
#include "meter_sim.h"
#include "platform/paths.h"
#include "platform/port_list.h"
#include "support/pty_pair.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include <memory>

using namespace tessaro;
using tessaro::test::PtyPair;
using tessaro::test::TempXdg;

namespace {

const PortEntry* find_device(const std::vector<PortEntry>& entries, const QString& path) {
    const QString device = QFileInfo(path).canonicalFilePath();
    for (const PortEntry& e : entries) {
        if (e.device == device) return &e;
    }
    return nullptr;
}

MeterSimOptions fastMeter(const QString& link) {
    MeterSimOptions o;
    o.link = link;
    o.pacing = false;
    return o;
}

} // namespace

Q_DECLARE_METATYPE(tessaro::ProbeResult)

class TstPorts : public QObject {
    Q_OBJECT

    std::unique_ptr<TempXdg> xdg;

private slots:
    void init() { xdg = std::make_unique<TempXdg>(); }
    void cleanup() { xdg.reset(); }

    void listsLinkedAndDanglingPorts() {
        // Catches a pseudo-terminal behind a port map link missing from the list, or a link to a
        // vanished device shown as a usable port.
        PtyPair pty;
        QVERIFY(pty.ok());
        QVERIFY(xdg->mapPort(3, pty.slavePath()));
        QVERIFY(xdg->mapPort(5, xdg->root() + "/gone"));
        const std::vector<PortEntry> entries = list_serial_ports();
        const PortEntry* linked = find_device(entries, pty.slavePath());
        QVERIFY(linked);
        QCOMPARE(linked->numbers, QList<int>{3});
        QVERIFY(linked->mapped);
        QCOMPARE(linked->access, PortAccess::Free);
        QCOMPARE(linked->stable, QFileInfo(pty.slavePath()).canonicalFilePath());
        const auto dangling = std::find_if(entries.begin(), entries.end(),
                                           [](const PortEntry& e) { return e.numbers.contains(5); });
        QVERIFY(dangling != entries.end());
        QCOMPARE(dangling->access, PortAccess::Missing);
        QVERIFY(port_line(*linked).contains("\t3\tfree"));
        const QJsonObject json = QJsonDocument::fromJson(port_json(*linked)).object();
        QCOMPARE(json.value("access").toString(), QStringLiteral("free"));
        QCOMPARE(json.value("ports").toArray().first().toInt(), 3);
    }

    void heldDeviceIsBusyAndOwnDeviceNotOpened() {
        // Catches a device held by a serial program reported as free (root gets through the
        // exclusive lock, so only asking the lock tells), and the link's own device opened again.
        PtyPair pty;
        QVERIFY(pty.ok());
        QVERIFY(xdg->mapPort(2, pty.slavePath()));
        MSComm held;
        held.setCommPort(2);
        QCOMPARE(held.setPortOpen(true), 0);
        const std::vector<PortEntry> seen = list_serial_ports();
        const PortEntry* other = find_device(seen, pty.slavePath());
        QVERIFY(other);
        QCOMPARE(other->access, PortAccess::Busy);
        const std::vector<PortEntry> seen_by_link = list_serial_ports(held.devicePath());
        const PortEntry* own = find_device(seen_by_link, pty.slavePath());
        QVERIFY(own);
        QCOMPARE(own->access, PortAccess::InUse);
        QCOMPARE(check_port_access(xdg->root()), PortAccess::NotSerial);
        QFile plain(xdg->root() + "/plain");
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QCOMPARE(check_port_access(plain.fileName()), PortAccess::NotSerial);
    }

    void probe_data() {
        QTest::addColumn<QString>("meter"); // "sim", "silent", "wrong", "none"
        QTest::addColumn<ProbeResult>("expected");
        QTest::newRow("meter answers") << "sim" << ProbeResult::Meter;
        QTest::newRow("nothing answers") << "silent" << ProbeResult::NoAnswer;
        QTest::newRow("wrong answer") << "wrong" << ProbeResult::WrongAnswer;
        QTest::newRow("no device") << "none" << ProbeResult::CannotOpen;
    }
    void probe() {
        // Catches a probe that calls any answer a meter, hangs on silence or on a missing device.
        QFETCH(QString, meter);
        QFETCH(ProbeResult, expected);
        const QString link = xdg->root() + "/meter";
        std::unique_ptr<MeterSim> sim;
        std::unique_ptr<PtyPair> pty;
        if (meter == "sim" || meter == "wrong") {
            MeterSimOptions o = fastMeter(link);
            if (meter == "wrong") o.badChecks = 1000;
            sim = std::make_unique<MeterSim>(o);
            QVERIFY(sim->start());
        } else if (meter == "silent") {
            pty = std::make_unique<PtyPair>();
            QVERIFY(QFile::link(pty->slavePath(), link));
        }
        PortProbe probe(link);
        QSignalSpy done(&probe, &PortProbe::finished);
        probe.start();
        QVERIFY(done.count() == 1 || done.wait(tessaro::test::kWaitMs));
        QCOMPARE(probe.result(), expected);
        // The device is let go: it opens again at once.
        if (meter != "none") QCOMPARE(check_port_access(link), PortAccess::Free);
    }

    void useAsPortWritesTheLink() {
        // Catches "Use as port N" writing no link, a link to the wrong device, or a port box not told.
        MeterSim sim(fastMeter(paths::port_map_entry(2)));
        QVERIFY(sim.start());
        QVERIFY(xdg->mapPort(6, xdg->root() + "/old-target"));
        PortsWindow window([] { return PortsWindow::LinkView{}; });
        QSignalSpy chosen(&window, &PortsWindow::portChosen);
        auto* table = window.findChild<QTableWidget*>("portsTable");
        const auto& entries = window.entries();
        const PortEntry* meter = find_device(entries, sim.slavePath());
        QVERIFY(meter);
        table->selectRow(static_cast<int>(meter - entries.data()));
        window.findChild<QSpinBox*>("portNumber")->setValue(6);
        auto* use = window.findChild<QPushButton*>("useButton");
        QCOMPARE(use->text(), QStringLiteral("Use as port 6"));
        QVERIFY(use->isEnabled());
        use->click();
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.at(0).at(0).toInt(), 6);
        const QFileInfo link(paths::port_map_entry(6));
        QVERIFY(link.isSymLink());
        QCOMPARE(link.canonicalFilePath(), QFileInfo(sim.slavePath()).canonicalFilePath());
        // The list now shows the device reached by both numbers.
        const PortEntry* after = find_device(window.entries(), sim.slavePath());
        QVERIFY(after);
        QCOMPARE(after->numbers, (QList<int>{2, 6}));
    }

    void menuPortsUseAsPortConnects() {
        // Catches a main window whose port box does not follow "Use as port", or a link that does
        // not come up on the newly linked device.
        xdg.reset();
        tessaro::test::LinkFixture t;
        QVERIFY(t.startSim(fastMeter({}), 2));
        QVERIFY(t.connect());
        t.form().ports_item->trigger();
        auto* window = t.form().findChild<PortsWindow*>();
        QVERIFY(window && window->isVisible());
        const PortEntry* meter = find_device(window->entries(), t.sim->slavePath());
        QVERIFY(meter);
        QCOMPARE(meter->access, PortAccess::InUse);
        window->findChild<QTableWidget*>("portsTable")->selectRow(static_cast<int>(meter - window->entries().data()));
        window->findChild<QSpinBox*>("portNumber")->setValue(7);
        window->findChild<QPushButton*>("useButton")->click();
        QCOMPARE(t.form().Combo1->currentText().trimmed(), QStringLiteral("7"));
        QVERIFY(t.open());
        QCOMPARE(t.form().MSComm1->CommPort(), 7);
        t.form().Timer1_Timer();
        QTRY_COMPARE_WITH_TIMEOUT(t.form().Text40->text(), QStringLiteral("Connect Success"), tessaro::test::kWaitMs);
        QCOMPARE(t.form().Text38->text(), QStringLiteral("COM7"));
    }

    void windowProbesAndFollowsDevices() {
        // Catches a probe that opens the link's own device, and a list that misses a device linked
        // while the window is open.
        MeterSim sim(fastMeter(paths::port_map_entry(4)));
        QVERIFY(sim.start());
        PtyPair own;
        QVERIFY(own.ok());
        QVERIFY(xdg->mapPort(1, own.slavePath()));
        MSComm link;
        link.setCommPort(1);
        QCOMPARE(link.setPortOpen(true), 0);
        PortsWindow window([&] { return PortsWindow::LinkView{link.devicePath(), QStringLiteral("Connect Success")}; });
        window.show();
        QVERIFY(find_device(window.entries(), sim.slavePath()));
        auto* probe = window.findChild<QPushButton*>("probeButton");
        probe->click();
        QTRY_VERIFY_WITH_TIMEOUT(probe->isEnabled(), tessaro::test::kWaitMs);
        QCOMPARE(find_device(window.entries(), sim.slavePath())->probe, ProbeResult::Meter);
        const PortEntry* mine = find_device(window.entries(), own.slavePath());
        QCOMPARE(mine->access, PortAccess::InUse);
        QCOMPARE(mine->probe, ProbeResult::NotTried);
        QVERIFY(own.readAvailable().isEmpty()); // not one byte went to the link's own device

        PtyPair late;
        QVERIFY(xdg->mapPort(9, late.slavePath()));
        QTRY_VERIFY_WITH_TIMEOUT(find_device(window.entries(), late.slavePath()), tessaro::test::kWaitMs);
    }
};

QTEST_MAIN(TstPorts)
#include "tst_ports.moc"
