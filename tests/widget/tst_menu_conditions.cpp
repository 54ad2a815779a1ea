// The menu items run their button's click procedure only under the condition of the menu table.
#include "support/form_fixture.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace tessaro;

class TstMenuConditions : public QObject {
    Q_OBJECT

private slots:
    void readNeedsTheReadCaption() {
        // Catches Read from the menu acting as Pause while the button reads "Pause".
        test::FormFixture f;
        Form1& form = *f.form;
        QCOMPARE(form.Command5->text(), QStringLiteral("Pause"));
        form.u->trigger();
        form.ducu->trigger();
        QCOMPARE(form.Command5->text(), QStringLiteral("Pause"));
        QCOMPARE(form.acq_on, uint8_t(1));
        QVERIFY(f.user.messages.isEmpty());

        // In the history view the caption reads "Read": the menu runs Read, which refuses
        // on a closed port with the "Connect Fail" message.
        form.Command9_Click();
        form.u->trigger();
        QCOMPARE(f.user.messages.size(), 1);
        QCOMPARE(f.user.messages.last().text, QStringLiteral("Connect Fail"));
    }

    void saveRunsEvenWhileTheButtonIsDisabled() {
        // Catches the menu's Save following the button's enabled state.
        test::FormFixture f;
        Form1& form = *f.form;
        form.Command1->setEnabled(false);
        form.k->trigger();
        form.baoc___1->trigger();
        QCOMPARE(f.user.saves.size(), 2);
    }

    void itemsFollowTheirButton_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("button");
        QTest::newRow("qikon Empty") << "qikon" << "Command2";
        QTest::newRow("shengcuq Ascend") << "shengcuq" << "Command12";
        QTest::newRow("jianxun Descend") << "jianxun" << "Command13";
        QTest::newRow("huaiyuan Restore") << "huaiyuan" << "Command7";
    }
    void itemsFollowTheirButton() {
        // Catches a menu item that runs its command while the button is disabled, or not at all.
        QFETCH(QString, item);
        QFETCH(QString, button);
        test::FormFixture f;
        Form1& form = *f.form;
        form.Command9_Click();
        auto* action = form.findChild<QAction*>(item);
        auto* b = form.findChild<QPushButton*>(button);
        QVERIFY(action && b);
        form.Text41->setText(QStringLiteral("untouched"));
        b->setEnabled(false);
        action->trigger();
        QCOMPARE(form.Text41->text(), QStringLiteral("untouched"));
        QVERIFY(f.user.messages.isEmpty());
        b->setEnabled(true);
        action->trigger();
        // Each of these commands either asks (Empty) or writes the page status.
        QVERIFY(!f.user.messages.isEmpty() || form.Text41->text() != QStringLiteral("untouched"));
    }

    void pauseAndStartFollowTheCaption() {
        // Catches the menu's Pause or Start acting under the other caption.
        test::FormFixture f;
        Form1& form = *f.form;
        form.jx_11->trigger(); // "Start" while the caption reads "Pause": nothing
        QCOMPARE(form.Command5->text(), QStringLiteral("Pause"));
        form.zt_1->trigger();
        QCOMPARE(form.Command5->text(), QStringLiteral("Start"));
        form.zt_1->trigger(); // "Pause" while it reads "Start": nothing
        QCOMPARE(form.Command5->text(), QStringLiteral("Start"));
        form.jx_11->trigger();
        QCOMPARE(form.Command5->text(), QStringLiteral("Pause"));
    }

    void viewItems() {
        // Catches the view items not running the view commands.
        test::FormFixture f;
        Form1& form = *f.form;
        form.lscq->trigger();
        QCOMPARE(form.Command5->text(), QStringLiteral("Read"));
        QVERIFY(form.Option2->isChecked());
        form.sjk->trigger();
        QCOMPARE(form.Command5->text(), QStringLiteral("Pause"));
        QVERIFY(form.Option1->isChecked());
    }
};

QTEST_MAIN(TstMenuConditions)
#include "tst_menu_conditions.moc"
