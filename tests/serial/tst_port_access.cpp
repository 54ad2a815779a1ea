// A port the user may not open: the operator is told once per device where it is seen, the status
// lines keep their texts, and the tooltips name both the port's link and the device behind it.
// The refusal is the kernel's own (EACCES on a pseudo-terminal slave with its permissions taken
// away): as root the test drops to "nobody" before anything else runs, root opening everything.
#include "link_fixture.h"
#include "link/mscomm.h"
#include "platform/paths.h"
#include "platform/serial_device_map.h"
#include "support/pty_pair.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <memory>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessaro;
using tessaro::test::LinkFixture;
using tessaro::test::PtyPair;

namespace {

bool set_mode(const QString& path, mode_t mode) { return ::chmod(QFile::encodeName(path).constData(), mode) == 0; }

// Whether the kernel refuses this process a file without permissions (not so for root).
bool refusals_are_real(const QString& path) {
    if (!set_mode(path, 0)) return false;
    const bool refused = ::access(QFile::encodeName(path).constData(), R_OK | W_OK) != 0 && errno == EACCES;
    set_mode(path, 0620);
    return refused;
}

} // namespace

class TstPortAccess : public QObject {
    Q_OBJECT
    std::unique_ptr<LinkFixture> t;
    Form1& form() { return t->form(); }

private slots:
    void init() { t = std::make_unique<LinkFixture>(); }
    void cleanup() { t.reset(); }

    void deniedIsToldOncePerDevice() {
        // Catches a refused port told only in a tooltip (the operator sees "COM Close" and nothing
        // else), told again at every supervisor tick, told with a blocking box that stops the link,
        // or told by changing the status texts.
        QVERIFY(t->startPty(3));
        PtyPair second;
        QVERIFY(second.ok() && t->f.xdg.mapPort(4, second.slavePath()));
        if (!refusals_are_real(t->pty->slavePath())) QSKIP("the kernel does not refuse this user a file");
        QVERIFY(set_mode(t->pty->slavePath(), 0));
        QVERIFY(set_mode(second.slavePath(), 0));

        for (int tick = 0; tick < 4; ++tick) {
            form().Timer3_Timer();
            form().Timer1_Timer();
        }
        QVERIFY(!form().MSComm1->PortOpen());
        QCOMPARE(form().MSComm1->lastOpenFailure(), OpenFailure::PermissionDenied);
        QCOMPARE(form().Text39->text(), QStringLiteral("COM Close"));
        QCOMPARE(form().Text40->text(), QStringLiteral("Connection Fail"));
        QCOMPARE(form().Text38->text(), QStringLiteral("COM3"));
        QVERIFY(t->f.user.messages.isEmpty()); // nothing waits for the operator
        QCOMPARE(t->f.user.notices.size(), 1);
        const MessageRequest& told = t->f.user.notices.constFirst();
        QCOMPARE(told.title, QStringLiteral("System prompt"));
        for (const QString& part : {t->pty->slavePath(), QStringLiteral("permission denied"), QStringLiteral("dialout"),
                                    QStringLiteral("sudo usermod -aG dialout $USER"), QStringLiteral("log in again")})
            QVERIFY2(told.text.contains(part), qPrintable(part + " missing in: " + told.text));
        // The tooltips say it too, naming the link and the device.
        QVERIFY(form().Text39->toolTip().contains(QStringLiteral("dialout")));
        QVERIFY(form().Text38->toolTip().contains(paths::port_map_entry(3)));
        QVERIFY(form().Text38->toolTip().contains(t->pty->slavePath()));

        // Another refused device is told once too; the first one is not told again.
        t->choosePort(4);
        for (int tick = 0; tick < 3; ++tick) form().Timer3_Timer();
        QCOMPARE(t->f.user.notices.size(), 2);
        QVERIFY(t->f.user.notices.constLast().text.contains(second.slavePath()));
        t->choosePort(3);
        for (int tick = 0; tick < 3; ++tick) form().Timer3_Timer();
        QCOMPARE(t->f.user.notices.size(), 2);

        // Once allowed, the port opens on the next tick, with no further word.
        QVERIFY(set_mode(t->pty->slavePath(), 0600));
        form().Timer3_Timer();
        QVERIFY(form().MSComm1->PortOpen());
        QCOMPARE(t->f.user.notices.size(), 2);
        QVERIFY(t->f.user.messages.isEmpty());
    }

    void tooltipNamesLinkAndDevice() {
        // Catches a tooltip that names only the port map's link ("…/ports/com3"), not the device
        // the operator knows (/dev/pts/N, a /dev/serial/by-id name).
        QVERIFY(t->startPty(3));
        QVERIFY(t->open());
        const QString tip = form().Text38->toolTip();
        QVERIFY2(tip.startsWith(paths::port_map_entry(3)), qPrintable(tip));
        QVERIFY2(tip.contains(QStringLiteral(" \u2192 ") + QFileInfo(t->pty->slavePath()).canonicalFilePath()),
                 qPrintable(tip));
        QVERIFY(form().Text39->toolTip().isEmpty());

        // A link that leads nowhere says where it points.
        form().MSComm1->setPortOpen(false);
        t->f.xdg.unmapPort(3);
        QVERIFY(QFile::link(QStringLiteral("/dev/no-such-tessaro-device"), paths::port_map_entry(3)));
        form().Timer3_Timer();
        QVERIFY(!form().MSComm1->PortOpen());
        QVERIFY2(form().Text38->toolTip().contains(QStringLiteral("/dev/no-such-tessaro-device (missing)")),
                 qPrintable(form().Text38->toolTip()));
    }
};

int main(int argc, char** argv) {
    // Root opens files whatever their permissions: drop to "nobody" first, while nothing else runs.
    if (::geteuid() == 0) {
        constexpr uid_t kNobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            perror("dropping to nobody");
        }
    }
    QApplication app(argc, argv);
    TstPortAccess test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_port_access.moc"
