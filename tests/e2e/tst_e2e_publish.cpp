// End-to-end: the real program on its own Xvfb publishes its live readings to a mosquitto of the test's own.
#include "e2e_session.h"
#include "support/test_broker.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTest>

using e2e::Session;
using tessaro::test::Subscriber;
using tessaro::test::TestBroker;
using namespace std::chrono_literals;

class TestE2ePublish : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        for (const char* tool : {"Xvfb", "xdotool", "mosquitto", "mosquitto_sub"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is not installed (tools/scripts/deps.sh installs it)").arg(tool)));
        QVERIFY2(QFileInfo::exists(QStringLiteral(TESSARO_EXE)), TESSARO_EXE);
    }

    void publishFromTheRealtimeMenu();

private:
    // Alt+S opens the Realtime menu; the item wanted is the last enabled one (Up from the top).
    // Styles differ in whether Up stops on a disabled item: one more Up then.
    bool chooseLastRealtimeItem(Session& s, const QString& window, const std::function<bool()>& done) {
        for (int ups = 1; ups <= 2; ++ups) {
            s.focus(window);
            s.keys({QStringLiteral("Escape"), QStringLiteral("Escape"), QStringLiteral("alt+s")});
            QTest::qWait(500);
            QStringList keys;
            for (int i = 0; i < ups; ++i) keys << QStringLiteral("Up");
            s.keys(keys);
            s.screenshot(QStringLiteral("publish-menu-%1.png").arg(ups));
            s.keys({QStringLiteral("Return")});
            if (QTest::qWaitFor(done, 5000)) return true;
        }
        return false;
    }
};

// Catches: a "Publish to MQTT…" item the operator cannot reach, a dialog that does not start
// publishing, readings of the real program not arriving, or "Stop publishing" leaving it "online".
void TestE2ePublish::publishFromTheRealtimeMenu() {
    Session s;
    QVERIFY(s.tmp.isValid());
    QVERIFY(s.startDisplay(QStringLiteral("1280x1024x24")));
    QVERIFY(s.makeHome());
    QVERIFY(QDir().mkpath(s.path(QStringLiteral("broker"))));
    TestBroker broker(s.path(QStringLiteral("broker")));
    QVERIFY(broker.start());
    Subscriber sub(broker.port(), {QStringLiteral("e2e/#")});
    QVERIFY(sub.waitReady());

    // Port 1 is the simulator; the last publishing settings name the test's broker.
    QVERIFY(QDir().mkpath(s.path(QStringLiteral("config/tessaro/ports"))));
    {
        QFile f(s.path(QStringLiteral("config/tessaro/myfile.txt")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("\x01\x00", 2));
        QFile settings(s.path(QStringLiteral("config/tessaro/mqtt.json")));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(QJsonDocument(QJsonObject{{"url", QString("mqtt://127.0.0.1:%1/e2e").arg(broker.port())},
                                                 {"name", "desk"}})
                           .toJson());
    }
    s.sim.setProcessEnvironment(s.env);
    s.sim.start(QStringLiteral(METER_SIM_EXE), {QStringLiteral("--link"), s.path(QStringLiteral("config/tessaro/ports/com1")),
                                                QStringLiteral("--live-wave"), QStringLiteral("ramp")});
    QVERIFY(s.sim.waitForStarted(5000));
    QVERIFY2(s.sim.waitForReadyRead(10000), "the simulator did not report its device");

    QProcessEnvironment app_env = s.env;
    app_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    s.app.setProcessEnvironment(app_env);
    QDir().mkpath(QStringLiteral(E2E_ARTIFACTS));
    s.app.setStandardErrorFile(QStringLiteral(E2E_ARTIFACTS "/tessaro-publish.stderr.txt"));
    s.app.start(QStringLiteral(TESSARO_EXE), {});
    QVERIFY(s.app.waitForStarted(5000));
    const QString splash = s.waitWindow(QStringLiteral("^Form2$"), QDeadlineTimer(30s));
    QVERIFY2(!splash.isEmpty(), "no splash window");
    s.focus(splash);
    s.keys({QStringLiteral("Return")});
    const QString main_window = s.waitWindow(QStringLiteral("^TessaroV1.0$"), QDeadlineTimer(30s));
    QVERIFY2(!main_window.isEmpty(), "no main window");
    QTRY_VERIFY_WITH_TIMEOUT(s.waitWindow(QStringLiteral("^Form2$"), QDeadlineTimer(0)).isEmpty(), 10000);

    // Realtime, "Publish to MQTT…": the dialog proposes the kept settings; Return publishes.
    QString dialog;
    QVERIFY2(chooseLastRealtimeItem(s, main_window, [&] {
                 dialog = s.waitWindow(QStringLiteral("^Publish to MQTT$"), QDeadlineTimer(0));
                 return !dialog.isEmpty();
             }),
             "the Realtime menu did not open the publishing dialog");
    s.focus(dialog);
    s.keys({QStringLiteral("Return")});
    QTRY_COMPARE_WITH_TIMEOUT(sub.last(QStringLiteral("e2e/desk/status")), QByteArray("online"), 60000);
    QTRY_VERIFY_WITH_TIMEOUT(sub.messages(QStringLiteral("e2e/desk/reading")).size() >= 4, 60000);
    const QJsonObject reading = QJsonDocument::fromJson(sub.messages(QStringLiteral("e2e/desk/reading")).last()).object();
    QVERIFY(reading.value(QStringLiteral("current_a")).isDouble());
    QVERIFY(!reading.value(QStringLiteral("shown")).toString().isEmpty());
    QCOMPARE(QJsonDocument::fromJson(sub.last(QStringLiteral("e2e/desk/meter"))).object().value(QStringLiteral("link")).toString(),
             QStringLiteral("Connect Success"));

    // Realtime, "Stop publishing" (now the last item that can be chosen): "offline".
    QVERIFY2(chooseLastRealtimeItem(s, main_window, [&] { return sub.last(QStringLiteral("e2e/desk/status")) == "offline"; }),
             "Stop publishing did not say offline");
    QCOMPARE(s.app.state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TestE2ePublish)
#include "tst_e2e_publish.moc"
