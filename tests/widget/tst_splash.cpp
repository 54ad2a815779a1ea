// The splash window: its blink rhythm and the three entering clicks against the web area.
#include "app/form2.h"
#include "support/scripted_user.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using tessaro::Form2;

class TstSplash : public QObject {
    Q_OBJECT

private slots:
    void loadShowsTheFirstPicture() {
        // Catches a splash that starts on the wrong picture or with the wrong first interval.
        Form2 splash;
        QVERIFY(!splash.Picture1->isHidden());
        QVERIFY(splash.Picture2->isHidden());
        QCOMPARE(splash.Timer1->interval(), 2000);
        QVERIFY(splash.Timer1->isActive());
        QCOMPARE(splash.size(), QSize(803, 467));
        QCOMPARE(splash.windowTitle(), QStringLiteral("Form2"));
    }

    void picturesAreTheFilesAtRatioOne() {
        // Catches the splash's pictures changing on an ordinary screen when they are drawn for high DPI.
        Q_INIT_RESOURCE(resources);
        Form2 splash;
        const std::pair<const char*, const char*> pictures[] = {{"background", ":/splash_background.png"},
                                                               {"Picture1", ":/splash_button1.jpg"},
                                                               {"Picture2", ":/splash_button2.jpg"}};
        for (const auto& [name, file] : pictures) {
            const QPixmap shown = splash.findChild<QLabel*>(QString::fromLatin1(name))->pixmap();
            const QImage expected(QString::fromLatin1(file));
            QVERIFY2(!expected.isNull(), file);
            QCOMPARE(shown.devicePixelRatio(), 1.0);
            QCOMPARE(shown.toImage().convertToFormat(QImage::Format_RGB32), expected.convertToFormat(QImage::Format_RGB32));
        }
    }

    void blinkCycle() {
        // Catches a blink sequence out of rhythm over two full cycles.
        Form2 splash;
        struct Step { int blink; int visible; int interval; };
        const Step cycle[] = {{1, 1, 100}, {2, 2, 100}, {3, 1, 100}, {4, 2, 100}, {5, 1, 1500},
                              {6, 1, 1500}, {0, 2, 100}};
        for (int round = 0; round < 2; ++round) {
            for (const Step& s : cycle) {
                splash.Timer1_Timer();
                QCOMPARE(int(splash.blink_step), s.blink);
                QCOMPARE(splash.Picture1->isHidden(), s.visible != 1);
                QCOMPARE(splash.Picture2->isHidden(), s.visible != 2);
                QCOMPARE(splash.Timer1->interval(), s.interval);
            }
        }
    }

    void clicks_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("enters");
        QTest::newRow("button picture 1") << "Picture1" << true;
        QTest::newRow("whole window") << "Image1" << true;
        QTest::newRow("web area") << "Image2" << false;
    }
    void clicks() {
        // Catches a click on the web area that enters, or a click elsewhere that does not; the web
        // area opens the page only when the build has an address for it.
        QFETCH(QString, target);
        QFETCH(bool, enters);
        tessaro::test::ScriptedUser user;
        Form2 splash;
        QSignalSpy entered(&splash, &Form2::entered);
        QWidget* w = splash.findChild<QWidget*>(target);
        QVERIFY(w);
        QTest::mouseClick(w, Qt::LeftButton);
        QCOMPARE(entered.count(), enters ? 1 : 0);
        QCOMPARE(user.urls.size(), enters || *tessaro::kWebAddress == '\0' ? 0 : 1);
    }

    void secondPictureAlsoEnters() {
        // Catches the second button state not reacting while it is the one on show.
        Form2 splash;
        QSignalSpy entered(&splash, &Form2::entered);
        splash.Timer1_Timer();
        splash.Timer1_Timer();
        QVERIFY(!splash.Picture2->isHidden());
        QTest::mouseClick(splash.Picture2, Qt::LeftButton);
        QCOMPARE(entered.count(), 1);
    }
};

QTEST_MAIN(TstSplash)
#include "tst_splash.moc"
