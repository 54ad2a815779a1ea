// Live monitoring end to end: the real timers poll the meter simulator on a pseudo-terminal.
#include "app/form1.h"
#include "meter_sim.h"
#include "platform/paths.h"
#include "support/generous_wait.h"
#include "support/form_fixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

using namespace tessaro;
using tessaro::test::FormFixture;

class TstLiveLink : public QObject {
    Q_OBJECT

private slots:
    void readingsArriveFromTheMeter_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("range");
        QTest::addColumn<bool>("lowBattery");
        QTest::addColumn<QString>("reading");
        QTest::addColumn<QString>("status");
        QTest::newRow("123.4 mA") << 1234 << 0x41 << false << "123.4mA" << "";
        QTest::newRow("1.234 A, low battery") << 1234 << 0x33 << true << "1.234A" << "Low power";
    }
    void readingsArriveFromTheMeter() {
        // Catches a live poll, receive path or frame handler that never brings a reading to the screen.
        QFETCH(int, count);
        QFETCH(int, range);
        QFETCH(bool, lowBattery);
        FormFixture f(false);
        MeterSimOptions o;
        o.link = paths::port_map_entry(1);
        o.liveCount = count;
        o.liveRange = quint8(range);
        o.lowBattery = lowBattery;
        MeterSim sim(o);
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        f.form->Combo1->setCurrentIndex(0); // the operator picks port 1

        QTRY_VERIFY_WITH_TIMEOUT(sim.served(RequestKind::Live) >= 3, tessaro::test::kWaitMs);
        QFETCH(QString, reading);
        QFETCH(QString, status);
        QTRY_COMPARE_WITH_TIMEOUT(f.form->Text29->text(), reading, tessaro::test::kWaitMs);
        QCOMPARE(f.form->Text41->text(), status);
        const double scaled = range == 0x41 ? count * 10.0 : count * 100.0;
        QTRY_COMPARE_WITH_TIMEOUT(f.form->live_samples[400], scaled, tessaro::test::kWaitMs);
        QVERIFY(f.form->Label5->text().startsWith(QStringLiteral("Average: ")));
        sim.stop();
    }
};

QTEST_MAIN(TstLiveLink)
#include "tst_live_link.moc"
