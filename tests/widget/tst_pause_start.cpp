// Pause and start of live acquisition by Command5 and by the menu, over a pseudo-terminal.
#include "app/form1.h"
#include "link/mscomm.h"
#include "support/form_fixture.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace tessaro;
using tessaro::test::FormFixture;
using tessaro::test::PtyPair;

namespace {

enum Action { ButtonPause, MenuPause, ButtonStart, MenuStart };

void feed(Form1& form, const char* hex) {
    form.rx_bytes = QByteArray::fromHex(hex);
    form.live_frame();
}

} // namespace

class TstPauseStart : public QObject {
    Q_OBJECT

    std::unique_ptr<FormFixture> f;
    std::unique_ptr<PtyPair> pty;

    // Opens the port on the pseudo-terminal; the receive handler is detached so bytes stay waiting.
    void openPort() {
        QVERIFY(f->xdg.mapPort(1, pty->slavePath()));
        Form1& form = *f->form;
        QObject::disconnect(form.MSComm1, &MSComm::OnComm, &form, nullptr);
        form.MSComm1->setCommPort(1);
        QCOMPARE(form.MSComm1->setPortOpen(true), 0);
    }

private slots:
    void init() {
        f = std::make_unique<FormFixture>();
        pty = std::make_unique<PtyPair>();
        QVERIFY(pty->ok());
    }
    void cleanup() {
        f.reset();
        pty.reset();
    }

    void fourActions_data() {
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("polling");
        QTest::addColumn<int>("acq_on");
        QTest::addColumn<int>("link_state");
        QTest::addColumn<int>("link_phase");
        QTest::addColumn<int>("dl_session");
        QTest::addColumn<int>("alarm_hit");
        QTest::addColumn<int>("live_skip");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<int>("waiting"); // bytes still waiting at the port afterwards
        QTest::newRow("button pause") << int(ButtonPause) << "Start" << false << 0 << 2 << 3 << 0 << 0 << 0 << 2 << 0;
        QTest::newRow("menu pause") << int(MenuPause) << "Start" << false << 0 << 2 << 3 << 0 << 100 << 9 << 2 << 5;
        QTest::newRow("button start") << int(ButtonStart) << "Pause" << true << 1 << 1 << 3 << 1 << 0 << 0 << 3 << 0;
        QTest::newRow("menu start") << int(MenuStart) << "Pause" << true << 1 << 1 << 3 << 1 << 100 << 9 << 3 << 0;
    }
    void fourActions() {
        // Catches a pause or start that misses a step of its own column or takes one of another's.
        QFETCH(int, action);
        openPort();
        Form1& form = *f->form;
        const bool start = action == ButtonStart || action == MenuStart;
        if (start) form.menu_pause(); // the caption now reads "Start"
        form.acq_on = start ? 0 : 1;
        form.link_state = start ? 2 : 1;
        form.link_phase = 3;
        form.dl_session = 1;
        form.alarm_hit = 100;
        form.live_skip = 9;

        pty->write(QByteArray::fromHex("0102030405"));
        QTRY_COMPARE_WITH_TIMEOUT(form.MSComm1->InBufferCount(), 5, 10000);

        switch (action) {
        case ButtonPause:
        case ButtonStart:
            form.Command5_Click();
            break;
        case MenuPause:
            form.zt_1->trigger();
            break;
        case MenuStart:
            form.jx_11->trigger();
            break;
        }

        QTEST(form.Command5->text(), "caption");
        QTEST(form.Timer2->isActive(), "polling");
        QTEST(int(form.acq_on), "acq_on");
        QTEST(int(form.link_state), "link_state");
        QTEST(int(form.link_phase), "link_phase");
        QTEST(int(form.dl_session), "dl_session");
        QTEST(int(form.alarm_hit), "alarm_hit");
        QTEST(int(form.live_skip), "live_skip");
        QTEST(form.MSComm1->RThreshold(), "threshold");
        QTEST(form.MSComm1->InputLen(), "threshold");
        QTEST(form.MSComm1->InBufferCount(), "waiting");
    }

    void menuDoesNothingUnderAnotherCaption_data() {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("pauseItem");
        QTest::newRow("Pause item under Start") << "Start" << true;
        QTest::newRow("Start item under Pause") << "Pause" << false;
        QTest::newRow("Pause item under Read") << "Read" << true;
        QTest::newRow("Start item under Read") << "Read" << false;
    }
    void menuDoesNothingUnderAnotherCaption() {
        // Catches a menu item that acts while the button offers the other action.
        QFETCH(QString, caption);
        QFETCH(bool, pauseItem);
        Form1& form = *f->form;
        form.Command5->setText(caption);
        form.acq_on = 1;
        form.alarm_hit = 100;
        (pauseItem ? form.zt_1 : form.jx_11)->trigger();
        QCOMPARE(form.Command5->text(), caption);
        QCOMPARE(form.acq_on, uint8_t(1));
        QVERIFY(form.Timer2->isActive());
    }

    void startShowsFramesAfterItsSkip_data() {
        QTest::addColumn<bool>("button");
        QTest::addColumn<int>("hidden"); // frames that leave the display unchanged
        QTest::newRow("button start hides two") << true << 2;
        QTest::newRow("menu start with the counter at 9 hides none") << false << 0;
    }
    void startShowsFramesAfterItsSkip() {
        // Catches a start that shows the frames it should hide, or hides the ones it should show.
        QFETCH(bool, button);
        QFETCH(int, hidden);
        Form1& form = *f->form;
        form.live_skip = 9;
        feed(form, "007B41");
        QCOMPARE(form.Text29->text(), QStringLiteral("12.3mA"));
        button ? form.Command5_Click() : form.menu_pause();
        QCOMPARE(form.Command5->text(), QStringLiteral("Start"));
        button ? form.Command5_Click() : form.jx_11->trigger();
        QCOMPARE(form.Command5->text(), QStringLiteral("Pause"));
        for (int k = 0; k < hidden; ++k) {
            feed(form, "00C841");
            QCOMPARE(form.Text29->text(), QStringLiteral("12.3mA"));
            QCOMPARE(form.Label1->text(), QStringLiteral("Max: 12.3mA"));
        }
        feed(form, "00C841");
        QCOMPARE(form.Text29->text(), QStringLiteral("20.0mA"));
        QCOMPARE(form.Label1->text(), QStringLiteral("Max: 20mA"));
    }

    void pauseKeepsWhatIsOnScreen() {
        // Catches a pause that clears the curve, the statistics or the last reading.
        Form1& form = *f->form;
        form.live_skip = 9;
        feed(form, "007B41");
        form.Command5_Click();
        QCOMPARE(form.Text29->text(), QStringLiteral("12.3mA"));
        QCOMPARE(form.Label5->text(), QStringLiteral("Average: 12.3mA"));
        QCOMPARE(form.live_samples[400], 1230.0);
    }

    void pollAfterStartRequestsAReading() {
        // Catches a start whose next poll tick sends nothing, or a paused poll that still sends.
        openPort();
        Form1& form = *f->form;
        form.Text40->setText(QStringLiteral("Connect Success"));
        form.Command5_Click(); // pause
        form.Timer2_Timer();
        QCOMPARE(form.link_state, int16_t(2));
        form.Command5_Click(); // start
        form.Timer2_Timer();
        QCOMPARE(pty->readAtLeast(4, 10000), QByteArray::fromHex("001B0058"));
        QCOMPARE(form.link_state, int16_t(1));
        QCOMPARE(form.link_phase, int16_t(3));
        QCOMPARE(form.MSComm1->RThreshold(), 3);
    }

    void pollSendsNothingAfterAFailedCheck() {
        // Catches live requests sent while the meter failed its port check.
        openPort();
        Form1& form = *f->form;
        form.Text40->setText(QStringLiteral("Connect Fail"));
        form.link_state = 1;
        form.link_phase = 2;
        form.dl_session = 3;
        form.Timer2_Timer();
        QCOMPARE(form.link_state, int16_t(2));
        QCOMPARE(form.dl_session, uint8_t(0));
        QCOMPARE(form.MSComm1->RThreshold(), 2); // never armed for a live reply
        QCOMPARE(form.link_phase, int16_t(2));
    }
};

QTEST_MAIN(TstPauseStart)
#include "tst_pause_start.moc"
