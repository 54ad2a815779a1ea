// The serial device list, the meter probe and the Ports window on real pseudo-terminals.
#include "app/ports_window.h"
#include "link_fixture.h"
#include "link/mscomm.h"
#include "link/port_probe.h"
#include "meter_sim.h"
#include "platform/paths.h"
#include "platform/port_list.h"
#include "platform/port_lock.h"
#include "support/pty_pair.h"
#include "support/scripted_user.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include <memory>

#include <sys/ioctl.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

using namespace tessaro;
using tessaro::test::PtyPair;
using tessaro::test::ScriptedUser;
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

    void lockHolderMustLive_data() {
        QTest::addColumn<QString>("lock");      // "dead", "live", "reused" or "none": the lock file's process
        QTest::addColumn<bool>("exclusive");    // the terminal's exclusive mode is set
        QTest::addColumn<int>("access");
        QTest::newRow("killed program's leftovers") << "dead" << true << int(PortAccess::Free);
        QTest::newRow("lock file of an ended process") << "dead" << false << int(PortAccess::Free);
        QTest::newRow("live holder") << "live" << true << int(PortAccess::Busy);
        QTest::newRow("live holder, lock file only") << "live" << false << int(PortAccess::Busy);
        QTest::newRow("its process id used again") << "reused" << true << int(PortAccess::Free);
        QTest::newRow("exclusive mode, no lock file") << "none" << true << int(PortAccess::Busy);
        QTest::newRow("nothing") << "none" << false << int(PortAccess::Free);
    }
    void lockHolderMustLive() {
        // Catches a device shown busy after its holder was killed (its lock file and the
        // terminal's exclusive mode stay behind), and a live holder not named.
        QFETCH(QString, lock);
        QFETCH(bool, exclusive);
        QFETCH(int, access);
        PtyPair pty;
        QVERIFY(pty.ok());
        const QString device = QFileInfo(pty.slavePath()).canonicalFilePath();
        const QString lock_path = "/run/lock/" + lock_file_name(device);
        if (lock != "none" && !QFileInfo(QStringLiteral("/run/lock")).isWritable()) QSKIP("no writable lock folder");
        QProcess holder;
        qint64 pid = 0;
        if (lock == "live" || lock == "reused") {
            holder.start(QStringLiteral("sleep"), {QStringLiteral("600")});
            QVERIFY(holder.waitForStarted(10000));
            pid = holder.processId();
        } else if (lock == "dead") {
            const pid_t child = ::fork();
            if (child == 0) ::_exit(0);
            QVERIFY(child > 0);
            QCOMPARE(::waitpid(child, nullptr, 0), child);
            pid = child;
        }
        if (pid > 0) {
            QFile file(lock_path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            // Qt's serial port writes the process id, the program and the host.
            file.write(QByteArray::number(pid) + (lock == "live" ? "\nsleep\nhost\n" : "\ntessaro-cli\nhost\n"));
        }
        if (exclusive) {
            // As a program that is killed leaves it: the mode set, the device closed.
            const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            QVERIFY(fd >= 0);
            QCOMPARE(::ioctl(fd, TIOCEXCL), 0);
            ::close(fd);
        }
        QString who;
        const PortAccess seen = check_port_access(device, &who);
        QFile::remove(lock_path);
        if (::geteuid() != 0 && exclusive && (lock == "dead" || lock == "reused"))
            QSKIP("the exclusive mode keeps everybody but root out");
        QCOMPARE(int(seen), access);
        if (lock == "live") QCOMPARE(who, QStringLiteral("sleep (pid %1)").arg(pid));
        else QCOMPARE(who, QString());
        if (holder.state() != QProcess::NotRunning) {
            holder.kill();
            holder.waitForFinished();
        }
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

    void numberBoxKeepsTheOperatorsChoice() {
        // Catches the number box jumping back to the device's own number at each refresh of the
        // list while the operator is choosing (4 -> 1), also when the rows move under it.
        PtyPair first;
        PtyPair second;
        PtyPair third;
        QVERIFY(first.ok() && second.ok() && third.ok());
        QVERIFY(xdg->mapPort(1, first.slavePath()));
        QVERIFY(xdg->mapPort(2, second.slavePath()));
        QVERIFY(xdg->mapPort(3, third.slavePath()));
        PortsWindow window([] { return PortsWindow::LinkView{}; });
        window.show();
        auto* table = window.findChild<QTableWidget*>("portsTable");
        auto* number = window.findChild<QSpinBox*>("portNumber");
        auto select = [&](const PtyPair& pty) {
            const PortEntry* e = find_device(window.entries(), pty.slavePath());
            QVERIFY(e);
            table->selectRow(static_cast<int>(e - window.entries().data()));
        };
        select(second);
        QCOMPARE(number->value(), 2);
        number->setValue(4);
        window.refresh();
        QCOMPARE(number->value(), 4);
        // A device going away moves the selected row; the window lists again by itself.
        xdg->unmapPort(1);
        QTRY_VERIFY_WITH_TIMEOUT(!find_device(window.entries(), first.slavePath()), 10000);
        QCOMPARE(number->value(), 4);
        QCOMPARE(table->item(table->currentRow(), 0)->text(), QFileInfo(second.slavePath()).canonicalFilePath());
        QCOMPARE(window.findChild<QPushButton*>("useButton")->text(), QStringLiteral("Use as port 4"));
        select(third); // another device: its own number is offered
        QCOMPARE(number->value(), 3);
    }

    void useAsPortRefusesWhatIsNoSerialPort_data() {
        QTest::addColumn<QString>("target");
        QTest::newRow("/dev/null") << "/dev/null";
        QTest::newRow("a plain file") << "plain";
    }
    void useAsPortRefusesWhatIsNoSerialPort() {
        // Catches "Use as port N" offered for a row that is no serial port: it linked com5 to
        // /dev/null and the meter on port 5 was lost.
        QFETCH(QString, target);
        if (target == "plain") {
            target = xdg->root() + "/plain";
            QFile plain(target);
            QVERIFY(plain.open(QIODevice::WriteOnly));
        }
        MeterSim sim(fastMeter(paths::port_map_entry(5)));
        QVERIFY(sim.start());
        QVERIFY(xdg->mapPort(9, target));
        PortsWindow window([] { return PortsWindow::LinkView{}; });
        QSignalSpy chosen(&window, &PortsWindow::portChosen);
        const PortEntry* odd = find_device(window.entries(), target);
        QVERIFY(odd);
        QCOMPARE(odd->access, PortAccess::NotSerial);
        window.findChild<QTableWidget*>("portsTable")->selectRow(static_cast<int>(odd - window.entries().data()));
        window.findChild<QSpinBox*>("portNumber")->setValue(5);
        QVERIFY(!window.findChild<QPushButton*>("useButton")->isEnabled());
        window.useSelected(); // as a stale click would
        QCOMPARE(chosen.count(), 0);
        QCOMPARE(QFileInfo(paths::port_map_entry(5)).canonicalFilePath(), QFileInfo(sim.slavePath()).canonicalFilePath());
        QVERIFY(window.findChild<QLabel*>("portsMessage")->text().contains(QStringLiteral("not a serial port")));
    }

    void useAsPortAsksBeforeTakingAnotherDevicesNumber_data() {
        QTest::addColumn<int>("answer");
        QTest::newRow("No keeps the link") << int(Answer::No);
        QTest::newRow("Yes replaces it") << int(Answer::Yes);
    }
    void useAsPortAsksBeforeTakingAnotherDevicesNumber() {
        // Catches port 5 silently taken from the meter it leads to.
        QFETCH(int, answer);
        ScriptedUser user;
        user.answers.enqueue(Answer(answer));
        MeterSim sim(fastMeter(paths::port_map_entry(5)));
        QVERIFY(sim.start());
        PtyPair other;
        QVERIFY(other.ok());
        QVERIFY(xdg->mapPort(3, other.slavePath()));
        PortsWindow window([] { return PortsWindow::LinkView{}; });
        QSignalSpy chosen(&window, &PortsWindow::portChosen);
        const PortEntry* e = find_device(window.entries(), other.slavePath());
        QVERIFY(e);
        window.findChild<QTableWidget*>("portsTable")->selectRow(static_cast<int>(e - window.entries().data()));
        window.findChild<QSpinBox*>("portNumber")->setValue(5);
        window.findChild<QPushButton*>("useButton")->click();
        QCOMPARE(user.messages.size(), 1);
        QVERIFY(user.messages[0].yes_no);
        QVERIFY(user.messages[0].default_no);
        QVERIFY(user.messages[0].text.contains(QFileInfo(sim.slavePath()).canonicalFilePath()));
        QVERIFY(user.messages[0].text.contains(QFileInfo(other.slavePath()).canonicalFilePath()));
        const bool yes = Answer(answer) == Answer::Yes;
        QCOMPARE(chosen.count(), yes ? 1 : 0);
        QCOMPARE(QFileInfo(paths::port_map_entry(5)).canonicalFilePath(),
                 QFileInfo(yes ? other.slavePath() : sim.slavePath()).canonicalFilePath());

        // The number that already leads to the device, or a link to nothing, is set without a question.
        QVERIFY(xdg->mapPort(7, xdg->root() + "/gone"));
        window.findChild<QSpinBox*>("portNumber")->setValue(3);
        window.findChild<QPushButton*>("useButton")->click();
        window.findChild<QSpinBox*>("portNumber")->setValue(7);
        window.findChild<QPushButton*>("useButton")->click();
        QCOMPARE(user.messages.size(), 1);
        QCOMPARE(QFileInfo(paths::port_map_entry(7)).canonicalFilePath(), QFileInfo(other.slavePath()).canonicalFilePath());
    }

    void stateFollowsTheLinkAfterUseAsPort() {
        // Catches a State column left stale after "Use as port N": the device the link moves to
        // shows "in use" and the one it left "free" without the operator pressing Refresh.
        xdg.reset();
        tessaro::test::LinkFixture t;
        QVERIFY(t.startSim(fastMeter({}), 2));
        QVERIFY(t.connect());
        PtyPair other;
        QVERIFY(other.ok());
        QVERIFY(t.f.xdg.mapPort(8, other.slavePath()));
        // The meter stays listed under another number once port 2 leads elsewhere.
        const QString meter = QFileInfo(t.sim->slavePath()).canonicalFilePath();
        QVERIFY(t.f.xdg.mapPort(6, meter));
        t.form().ports_item->trigger();
        auto* window = t.form().findChild<PortsWindow*>();
        QVERIFY(window && window->isVisible());
        auto* table = window->findChild<QTableWidget*>("portsTable");
        auto state_of = [&](const QString& path) {
            const PortEntry* e = find_device(window->entries(), path);
            return e ? table->item(static_cast<int>(e - window->entries().data()), 2)->text() : QString();
        };
        QCOMPARE(state_of(meter), access_text(PortAccess::InUse));
        const PortEntry* e = find_device(window->entries(), other.slavePath());
        QVERIFY(e);
        table->selectRow(static_cast<int>(e - window->entries().data()));
        window->findChild<QSpinBox*>("portNumber")->setValue(2);
        t.f.user.answers.enqueue(Answer::Yes);
        window->findChild<QPushButton*>("useButton")->click();
        QCOMPARE(t.f.user.messages.size(), 1);
        QVERIFY(t.open()); // the supervisor's tick opens port 2 on the other device
        QCOMPARE(QFileInfo(t.form().MSComm1->devicePath()).canonicalFilePath(), QFileInfo(other.slavePath()).canonicalFilePath());
        QTRY_COMPARE_WITH_TIMEOUT(state_of(other.slavePath()), access_text(PortAccess::InUse), 10000);
        QCOMPARE(state_of(meter), access_text(PortAccess::Free));
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
