// The print options window: its controls, its answers and every way of closing it.
#include "output/form3.h"
#include "support/scripted_user.h"

#include <QtTest>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace tessaro;

namespace {

struct Answered {
    int dayinlin, dakai, dajie;
};

Answered answer_of(const QSignalSpy& spy) {
    const QList<QVariant> args = spy.first();
    return {args[0].toInt(), args[1].toInt(), args[2].toInt()};
}

} // namespace

class TstForm3 : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void loads_with_counts_and_designed_controls();
    void controls_sit_at_their_twips_data();
    void controls_sit_at_their_twips();
    void tab_order_follows_the_design();
    void print_range_corrects_last_and_answers();
    void wrong_entry_keeps_window_open();
    void all_sheets_without_records_cancels_silently();
    void every_way_of_closing_answers_cancel_once_data();
    void every_way_of_closing_answers_cancel_once();

private:
    std::unique_ptr<test::ScriptedUser> user_;
};

void TstForm3::init() { user_ = std::make_unique<test::ScriptedUser>(); }
void TstForm3::cleanup() { user_.reset(); }

void TstForm3::loads_with_counts_and_designed_controls() {
    // Catches stale designer captions, a wrong client size or a window that opens on a range.
    Form3 form(251);
    QCOMPARE(form.windowTitle(), QStringLiteral("打印选项"));
    QCOMPARE(form.size(), QSize(544, 302));
    QCOMPARE(form.findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("共有:250组"));
    QCOMPARE(form.findChild<QLabel*>(QStringLiteral("Label3"))->text(), QStringLiteral("结束页数:2页"));
    QCOMPARE(form.findChild<QLabel*>(QStringLiteral("Label2"))->text(), QStringLiteral("开始页数:1"));
    QCOMPARE(form.findChild<QLabel*>(QStringLiteral("Label4"))->text(), QStringLiteral("每页有:156组"));
    QCOMPARE(form.findChild<QGroupBox*>(QStringLiteral("Frame1"))->title(), QStringLiteral("打印信息"));
    QCOMPARE(form.findChild<QGroupBox*>(QStringLiteral("Frame2"))->title(), QStringLiteral("选项"));
    QCOMPARE(form.findChild<QPushButton*>(QStringLiteral("Command2"))->text(), QStringLiteral("打  印"));
    QCOMPARE(form.findChild<QPushButton*>(QStringLiteral("Command3"))->text(), QStringLiteral("取  消"));
    QVERIFY(form.findChild<QRadioButton*>(QStringLiteral("Option2"))->isChecked());
    QVERIFY(!form.findChild<QRadioButton*>(QStringLiteral("Option1"))->isChecked());
    QVERIFY(form.Text1->text().isEmpty());
    QVERIFY(form.Text2->text().isEmpty());
    QCOMPARE(form.Text1->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
}

void TstForm3::controls_sit_at_their_twips_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("Frame1") << "Frame1" << QRect(24, 56, 113, 129);
    QTest::newRow("Label3") << "Label3" << QRect(8, 72, 81, 25);
    QTest::newRow("Frame2") << "Frame2" << QRect(184, 56, 305, 129);
    QTest::newRow("Text1") << "Text1" << QRect(104, 24, 49, 25);
    QTest::newRow("Text2") << "Text2" << QRect(192, 24, 57, 25);
    QTest::newRow("Option2") << "Option2" << QRect(16, 72, 65, 33);
    QTest::newRow("Command3") << "Command3" << QRect(344, 240, 73, 33);
}

void TstForm3::controls_sit_at_their_twips() {
    // Catches a control placed in the wrong container or at an unconverted position.
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    Form3 form(10);
    QWidget* w = form.findChild<QWidget*>(name);
    QVERIFY(w);
    QCOMPARE(w->geometry(), geometry);
}

void TstForm3::tab_order_follows_the_design() {
    // Catches a tab order that follows creation order instead of the design.
    Form3 form(10);
    QStringList order;
    QWidget* w = form.Command2;
    for (int i = 0; i < 40 && order.size() < 6; ++i, w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus) order << w->objectName();
    QCOMPARE(order, (QStringList{"Command2", "Command3", "Option1", "Option2", "Text1", "Text2"}));
}

void TstForm3::print_range_corrects_last_and_answers() {
    // Catches a missed correction of the last sheet or an answer without closing the window.
    Form3 form(201);
    QSignalSpy spy(&form, &Form3::answered);
    form.show();
    form.Option1->setChecked(true);
    form.Text1->setText(QStringLiteral("1"));
    form.Text2->setText(QStringLiteral("999"));
    form.Command2->click();
    QCOMPARE(spy.count(), 1);
    const Answered a = answer_of(spy);
    QCOMPARE(a.dayinlin, 10);
    QCOMPARE(a.dakai, 0);
    QCOMPARE(a.dajie, 2);
    QCOMPARE(form.Text2->text(), QStringLiteral("2"));
    QVERIFY(form.isHidden());
    QVERIFY(user_->messages.isEmpty());
}

void TstForm3::wrong_entry_keeps_window_open() {
    // Catches a wrong title, a missing message or a window that answers on a bad entry.
    Form3 form(201);
    QSignalSpy spy(&form, &Form3::answered);
    form.show();
    form.Option1->setChecked(true);
    form.Text1->setText(QStringLiteral("abc"));
    form.Text2->setText(QStringLiteral("3"));
    form.Command2->click();
    QCOMPARE(spy.count(), 0);
    QVERIFY(form.isVisible());
    QCOMPARE(user_->messages.size(), 2);
    QCOMPARE(user_->messages[0].text, QStringLiteral("所输入的数据类型不对"));
    QCOMPARE(user_->messages[1].text, QStringLiteral("打印开始页数不能为0"));
    for (const MessageRequest& m : user_->messages) {
        QCOMPARE(m.title, QStringLiteral("系统提示"));
        QVERIFY(!m.yes_no);
    }
    form.Text1->setText(QStringLiteral("1"));
    form.Command2->click();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(answer_of(spy).dayinlin, 10);
}

void TstForm3::all_sheets_without_records_cancels_silently() {
    // Catches printing (or a message) when there is nothing to print.
    Form3 form(1);
    QSignalSpy spy(&form, &Form3::answered);
    form.show();
    form.Command2->click();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(answer_of(spy).dayinlin, 9);
    QVERIFY(user_->messages.isEmpty());
    QVERIFY(form.isHidden());
}

void TstForm3::every_way_of_closing_answers_cancel_once_data() {
    QTest::addColumn<int>("way");
    QTest::newRow("cancel button") << 0;
    QTest::newRow("window frame") << 1;
    QTest::newRow("Escape key") << 2;
    QTest::newRow("closed before shown") << 3;
}

void TstForm3::every_way_of_closing_answers_cancel_once() {
    // Catches a way of closing that never answers (the print command would wait forever with the
    // main window gone), an answer sent twice, or closing the window ending the program.
    QFETCH(int, way);
    Form3 form(500);
    QSignalSpy spy(&form, &Form3::answered);
    QSignalSpy last_window(qApp, &QGuiApplication::lastWindowClosed);
    if (way != 3) {
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }
    switch (way) {
    case 0: form.Command3->click(); break;
    case 1: form.close(); break;
    case 2: QTest::keyClick(&form, Qt::Key_Escape); break;
    case 3: form.close(); break;
    }
    QCOMPARE(spy.count(), 1);
    QCOMPARE(answer_of(spy).dayinlin, 9);
    QVERIFY(form.isHidden());
    form.close();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(last_window.count(), 0);
}

QTEST_MAIN(TstForm3)
#include "tst_form3.moc"
