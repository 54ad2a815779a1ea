// The windows without a mouse: keys that enter the splash, click buttons, confirm entries, open menus.
#include "app/form1.h"
#include "app/form2.h"
#include "platform/user_seam.h"
#include "support/form_fixture.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

using namespace tessaro;

class TstKeyboard : public QObject {
    Q_OBJECT

private slots:
    void splashKeys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("enters");
        QTest::newRow("Return") << int(Qt::Key_Return) << true;
        QTest::newRow("Enter") << int(Qt::Key_Enter) << true;
        QTest::newRow("Space") << int(Qt::Key_Space) << true;
        QTest::newRow("Escape") << int(Qt::Key_Escape) << true;
        QTest::newRow("letter") << int(Qt::Key_A) << false;
        QTest::newRow("Tab") << int(Qt::Key_Tab) << false;
    }
    void splashKeys() {
        // Catches a splash that cannot be passed without a mouse, or that enters on any key.
        QFETCH(int, key);
        QFETCH(bool, enters);
        Form2 splash;
        splash.show();
        QApplication::setActiveWindow(&splash);
        QVERIFY(QTest::qWaitForWindowActive(&splash));
        QSignalSpy entered(&splash, &Form2::entered);
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &splash, Qt::Key(key));
        QCOMPARE(entered.count(), enters ? 1 : 0);
        QTest::keyClick(&splash, Qt::Key_Return); // a second key before the window is gone enters nothing more
        QCOMPARE(entered.count(), 1);
    }

    void splashClicks_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("outside"); // released away from the control
        QTest::addColumn<bool>("enters");
        QTest::addColumn<bool>("opens");
        QTest::newRow("left on the picture") << "Picture1" << int(Qt::LeftButton) << false << true << false;
        QTest::newRow("right on the picture") << "Picture1" << int(Qt::RightButton) << false << false << false;
        QTest::newRow("right on the window") << "Image1" << int(Qt::RightButton) << false << false << false;
        QTest::newRow("middle on the window") << "Image1" << int(Qt::MiddleButton) << false << false << false;
        QTest::newRow("left released outside") << "Picture1" << int(Qt::LeftButton) << true << false << false;
        QTest::newRow("left on the web area") << "Image2" << int(Qt::LeftButton) << false << false << true;
        QTest::newRow("right on the web area") << "Image2" << int(Qt::RightButton) << false << false << false;
    }
    void splashClicks() {
        // Catches a right or middle click that enters or opens the web page, or a press dragged off
        // the control that still counts as a click on it.
        QFETCH(QString, target);
        QFETCH(int, button);
        QFETCH(bool, outside);
        QFETCH(bool, enters);
        QFETCH(bool, opens);
        test::ScriptedUser user;
        Form2 splash;
        QSignalSpy entered(&splash, &Form2::entered);
        QWidget* w = splash.findChild<QWidget*>(target);
        QVERIFY(w);
        const QPoint centre = w->rect().center();
        QTest::mousePress(w, Qt::MouseButton(button), {}, centre);
        QTest::mouseRelease(w, Qt::MouseButton(button), {}, outside ? QPoint(-5, -5) : centre);
        QCOMPARE(entered.count(), enters ? 1 : 0);
        QCOMPARE(user.urls.size(), opens && *kWebAddress ? 1 : 0); // a build without an address opens nothing
    }

    void webStripTakesOnlyTheLeftButton() {
        // Catches the main window's web strip opening the page on a right click or a release elsewhere.
        test::FormFixture f;
        QTest::mouseClick(f.form->Label4, Qt::RightButton);
        QTest::mousePress(f.form->Label4, Qt::LeftButton);
        QTest::mouseRelease(f.form->Label4, Qt::LeftButton, {}, QPoint(-20, -20));
        QVERIFY(f.user.urls.isEmpty());
        QTest::mouseClick(f.form->Label4, Qt::LeftButton);
        QCOMPARE(f.user.urls.size(), *kWebAddress ? 1 : 0);
    }

    void enterClicksTheFocusedButton_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("Enter") << int(Qt::Key_Enter);
        QTest::newRow("Space") << int(Qt::Key_Space);
    }
    void enterClicksTheFocusedButton() {
        // Catches a button that Enter or Return cannot press (a window without dialog default buttons).
        QFETCH(int, key);
        test::FormFixture f;
        Form1& form = *f.form;
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.Command9->setFocus(Qt::TabFocusReason);
        QTest::keyClick(form.Command9, Qt::Key(key));
        QTRY_VERIFY(form.Option2->isChecked());
        QCOMPARE(form.Command5->text(), QStringLiteral("Read"));
        form.Command11->setFocus(Qt::TabFocusReason);
        QTest::keyClick(form.Command11, Qt::Key(key));
        QTRY_VERIFY(form.Option1->isChecked());
        // A disabled button stays unpressed.
        form.Command2->setEnabled(false);
        QTest::keyClick(form.Command2, Qt::Key(key));
        QVERIFY(f.user.messages.isEmpty());
    }

    void enterInTheEntries() {
        // Catches Enter in the go-to box not going to the page, or Enter in the alarm entry not locking.
        test::FormFixture f;
        Form1& form = *f.form;
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.Command9_Click();
        form.Text27->setFocus(Qt::TabFocusReason);
        form.Text27->selectAll();
        QTest::keyClicks(form.Text27, QStringLiteral("abc"));
        QTest::keyClick(form.Text27, Qt::Key_Return);
        QCOMPARE(form.Text27->text(), QStringLiteral("1"));
        QCOMPARE(form.Text41->text(), QStringLiteral("1/1Page   0No"));

        form.Command11_Click();
        form.Text35->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(form.Text35, QStringLiteral("10"));
        QTest::keyClick(form.Text35, Qt::Key_Enter);
        QCOMPARE(form.Command6->text(), QStringLiteral("Unlock"));
        QCOMPARE(form.lock_on, uint8_t(100));
        QVERIFY(!form.Text35->isEnabled());
        // Enter again cannot unlock: the entry is disabled while locked.
        QTest::keyClick(form.Text35, Qt::Key_Return);
        QCOMPARE(form.Command6->text(), QStringLiteral("Unlock"));
    }

    void altOpensTheMenus_data() {
        QTest::addColumn<int>("letter");
        QTest::addColumn<QString>("menu");
        QTest::newRow("Alt+F") << int(Qt::Key_F) << "wj";
        QTest::newRow("Alt+S") << int(Qt::Key_S) << "ssjk";
        QTest::newRow("Alt+L") << int(Qt::Key_L) << "lscx";
        QTest::newRow("Alt+D") << int(Qt::Key_D) << "daying_1";
    }
    void altOpensTheMenus() {
        // Catches a menu that the letter in its caption cannot open, or captions changed to get one.
        QFETCH(int, letter);
        QFETCH(QString, menu);
        test::FormFixture f;
        Form1& form = *f.form;
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(&form, Qt::Key(letter), Qt::AltModifier);
        QTRY_VERIFY(QApplication::activePopupWidget());
        QCOMPARE(QApplication::activePopupWidget()->objectName(), menu);
        QVERIFY(!static_cast<QMenu*>(QApplication::activePopupWidget())->title().contains(QLatin1Char('&')));
        QApplication::activePopupWidget()->close();
    }
};

QTEST_MAIN(TstKeyboard)
#include "tst_keyboard.moc"
