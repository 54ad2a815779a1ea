// The alarm panel: locking limits, classifying readings, bad entries, the lamp and the kept lock after a reload.
#include "app/form1.h"
#include "app/shape_widget.h"
#include "link/mscomm.h"
#include "support/form_fixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace tessaro;
using tessaro::test::FormFixture;
using tessaro::test::PtyPair;

namespace {

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 192, 0);

void lock(Form1& form, const QString& text, bool ampere) {
    form.Text35->setText(text);
    (ampere ? form.Option3 : form.Option4)->setChecked(true);
    form.Command6_Click();
}

} // namespace

class TstAlarmPanel : public QObject {
    Q_OBJECT

    std::unique_ptr<FormFixture> f;

    void expectUnlockedPanel() {
        Form1& form = *f->form;
        QCOMPARE(form.Command6->text(), QStringLiteral("Lock"));
        QVERIFY(form.Text35->isEnabled());
        QVERIFY(form.Option3->isEnabled());
        QVERIFY(form.Option4->isEnabled());
    }

private slots:
    void init() { f = std::make_unique<FormFixture>(); }
    void cleanup() { f.reset(); }

    void limitAndOneStepBelow_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ampere");
        QTest::addColumn<float>("typed");
        QTest::addColumn<qint64>("limit"); // 0.01 mA
        QTest::newRow("10 mA") << "10" << false << 10.0f << qint64(1000);
        QTest::newRow("12.3 mA") << "12.3" << false << 12.3f << qint64(1230);
        QTest::newRow("1.1 mA") << "1.1" << false << 1.1f << qint64(110);
        QTest::newRow("0.29 mA") << "0.29" << false << 0.29f << qint64(29);
        QTest::newRow("0.1 A") << "0.1" << true << 0.1f << qint64(10000);
        QTest::newRow("0.5 A") << "0.5" << true << 0.5f << qint64(50000);
    }
    void limitAndOneStepBelow() {
        // Catches a limit taken from the float (12.3 mA as 1230.00005) that misses a reading at the limit.
        QFETCH(QString, text);
        QFETCH(bool, ampere);
        QFETCH(float, typed);
        QFETCH(qint64, limit);
        Form1& form = *f->form;
        lock(form, text, ampere);
        QCOMPARE(form.lock_on, uint8_t(100));
        QCOMPARE(form.alarm_unit, uint8_t(ampere ? 48 : 64));
        QVERIFY(form.Option1->isChecked()); // the unit options never reach the view indicators
        QCOMPARE(form.alarm_limit, typed);
        QCOMPARE(form.Command6->text(), QStringLiteral("Unlock"));
        QVERIFY(!form.Text35->isEnabled() && !form.Option3->isEnabled() && !form.Option4->isEnabled());
        form.alarm_classify(limit);
        QCOMPARE(form.alarm_hit, uint8_t(100));
        form.alarm_classify(limit - 1);
        QCOMPARE(form.alarm_hit, uint8_t(0));
    }

    void liveFrameRunsTheClassification() {
        // Catches a frame handler that never classifies, or classifies a range without a factor.
        Form1& form = *f->form;
        lock(form, QStringLiteral("12.3"), false);
        form.live_skip = 9;
        form.rx_bytes = QByteArray::fromHex("007B41"); // 12.3 mA
        form.live_frame();
        QCOMPARE(form.alarm_hit, uint8_t(100));
        form.rx_bytes = QByteArray::fromHex("04CD42"); // 12.29 mA
        form.live_frame();
        QCOMPARE(form.alarm_hit, uint8_t(0));
        form.rx_bytes = QByteArray::fromHex("7FFF43"); // a bare count, no current
        form.live_frame();
        QCOMPARE(form.alarm_hit, uint8_t(0));
    }

    void notANumber_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("abc") << "abc";
        QTest::newRow("blanks") << "   ";
        QTest::newRow("nan") << "nan";
        QTest::newRow("inf") << "inf";
        QTest::newRow("hex") << "0x10";
    }
    void notANumber() {
        // Catches a bad entry that locks, stays in the box, or leaves alarm state behind.
        QFETCH(QString, text);
        Form1& form = *f->form;
        form.alarm_hit = 100;
        form.lamp_phase = 1;
        form.alarm_limit = 7.0f;
        lock(form, text, true);
        QCOMPARE(f->user.messages.size(), 1);
        QCOMPARE(f->user.messages[0].text, QStringLiteral("Error"));
        QCOMPARE(f->user.messages[0].title, QStringLiteral("System prompt"));
        QVERIFY(!f->user.messages[0].yes_no);
        expectUnlockedPanel();
        QCOMPARE(form.Text35->text(), QString());
        QCOMPARE(form.lock_on, uint8_t(0));
        QCOMPARE(form.alarm_limit, 0.0f);
        QCOMPARE(form.alarm_unit, uint8_t(0));
        QCOMPARE(form.alarm_hit, uint8_t(0));
        QCOMPARE(form.lamp_phase, uint8_t(0));
        form.alarm_classify(100000000);
        QCOMPARE(form.alarm_hit, uint8_t(0));
    }

    void emptyEntryLocksWithoutAUnit() {
        // Catches an empty entry that shows "Error" or that classifies readings.
        Form1& form = *f->form;
        form.alarm_limit = 3.0f;
        lock(form, QString(), false);
        QVERIFY(f->user.messages.isEmpty());
        QCOMPARE(form.Command6->text(), QStringLiteral("Unlock"));
        QVERIFY(!form.Text35->isEnabled() && !form.Option3->isEnabled() && !form.Option4->isEnabled());
        QCOMPARE(form.lock_on, uint8_t(100));
        QCOMPARE(form.alarm_unit, uint8_t(0));
        QCOMPARE(form.alarm_limit, 3.0f);
        form.alarm_classify(100000000);
        QCOMPARE(form.alarm_hit, uint8_t(0));
    }

    void tooLargeForAFloatKeepsThePreviousLimit() {
        // Catches an overflowing entry that locks at infinity or at zero instead of the previous limit.
        Form1& form = *f->form;
        form.alarm_limit = 10.0f;
        lock(form, QStringLiteral("9e99"), false);
        QVERIFY(f->user.messages.isEmpty());
        QCOMPARE(form.lock_on, uint8_t(100));
        QCOMPARE(form.alarm_limit, 10.0f);
        form.alarm_classify(1000);
        QCOMPARE(form.alarm_hit, uint8_t(100));
        form.alarm_classify(999);
        QCOMPARE(form.alarm_hit, uint8_t(0));
    }

    void unlockTurnsTheLampGreenAndKeepsTheText() {
        // Catches an unlock that keeps classifying, loses the typed text or leaves the lamp red.
        Form1& form = *f->form;
        lock(form, QStringLiteral("10"), false);
        form.alarm_classify(5000);
        form.Shape1->setColour(kRed);
        form.lamp_phase = 1;
        form.Command6_Click();
        expectUnlockedPanel();
        QCOMPARE(form.Text35->text(), QStringLiteral("10"));
        QCOMPARE(form.Shape1->fillColour(), kGreen);
        QCOMPARE(form.Shape1->borderColour(), kGreen);
        QCOMPARE(form.lock_on, uint8_t(0));
        QCOMPARE(form.alarm_hit, uint8_t(0));
        QCOMPARE(form.lamp_phase, uint8_t(0));
        QCOMPARE(form.alarm_limit, 0.0f);
        form.alarm_classify(5000);
        QCOMPARE(form.alarm_hit, uint8_t(0));
    }

    void lampSequence_data() {
        QTest::addColumn<bool>("open");
        QTest::addColumn<int>("hit");
        QTest::addColumn<QList<QColor>>("colours"); // after each of four ticks
        const QColor dark = QApplication::palette().color(QPalette::Button);
        QTest::newRow("closed, alarm") << false << 100 << QList<QColor>{kGreen, kGreen, kGreen, kGreen};
        QTest::newRow("closed, quiet") << false << 0 << QList<QColor>{kGreen, kGreen, kGreen, kGreen};
        QTest::newRow("open, alarm") << true << 100 << QList<QColor>{dark, kRed, dark, kRed};
        QTest::newRow("open, quiet") << true << 0 << QList<QColor>{dark, kGreen, dark, kGreen};
    }
    void lampSequence() {
        // Catches a lamp that blinks with the port closed, stays lit, or shows the wrong colour.
        QFETCH(bool, open);
        QFETCH(int, hit);
        QFETCH(QList<QColor>, colours);
        Form1& form = *f->form;
        PtyPair pty;
        QVERIFY(pty.ok());
        if (open) {
            QVERIFY(f->xdg.mapPort(1, pty.slavePath()));
            form.MSComm1->setCommPort(1);
            QCOMPARE(form.MSComm1->setPortOpen(true), 0);
        }
        form.alarm_hit = uint8_t(hit);
        form.lamp_phase = 0;
        for (const QColor& c : colours) {
            form.lamp_tick();
            QCOMPARE(form.Shape1->fillColour(), c);
            QCOMPARE(form.Shape1->borderColour(), c);
        }
        if (!open) QCOMPARE(form.lamp_phase, uint8_t(0));
        form.MSComm1->setPortOpen(false);
    }

    void keptLockShownAfterReload_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ampere");
        QTest::addColumn<QString>("shown");
        QTest::newRow("mA") << "12.3" << false << "12.3";
        QTest::newRow("A") << "0.5" << true << "0.5";
        QTest::newRow("no unit") << "" << false << "";
    }
    void keptLockShownAfterReload() {
        // Catches a reload that shows "Lock" and an empty entry while the old limit still classifies.
        QFETCH(QString, text);
        QFETCH(bool, ampere);
        QFETCH(QString, shown);
        Form1& form = *f->form;
        lock(form, text, ampere);
        const uint8_t unit = form.alarm_unit;
        form.unload_form();
        f->freezeTimers();
        form.show_loaded();
        QCOMPARE(form.lock_on, uint8_t(100));
        QCOMPARE(form.alarm_unit, unit);
        QCOMPARE(form.Command6->text(), QStringLiteral("Unlock"));
        QCOMPARE(form.Text35->text(), shown);
        QVERIFY(!form.Text35->isEnabled() && !form.Option3->isEnabled() && !form.Option4->isEnabled());
        if (unit == 48) QVERIFY(form.Option3->isChecked());
        if (unit == 64 || unit == 0) QVERIFY(form.Option4->isChecked()); // as designed without a unit
        // The kept lock still classifies, and Unlock ends it.
        form.alarm_classify(50000);
        QCOMPARE(form.alarm_hit, uint8_t(unit ? 100 : 0));
        form.Command6_Click();
        expectUnlockedPanel();
        QCOMPARE(form.lock_on, uint8_t(0));
    }

    void unlockedPanelComesBackAsDesigned() {
        // Catches a reload that shows a lock that is not there.
        Form1& form = *f->form;
        lock(form, QStringLiteral("10"), false);
        form.Command6_Click();
        form.unload_form();
        form.show_loaded();
        expectUnlockedPanel();
        QCOMPARE(form.Text35->text(), QString());
    }
};

QTEST_MAIN(TstAlarmPanel)
#include "tst_alarm_panel.moc"
