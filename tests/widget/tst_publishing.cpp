// Realtime "Publish to MQTT…" on the main window against a real mosquitto of the test's own.
#include "app/form1.h"
#include "live_feed.h"
#include "platform/paths.h"
#include "publish/mqtt_publisher.h"
#include "support/form_fixture.h"
#include "support/generous_wait.h"
#include "support/test_broker.h"

#include <QAction>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

using namespace tessaro;
using tessaro::test::FormFixture;
using tessaro::test::kWaitMs;
using tessaro::test::Subscriber;
using tessaro::test::TestBroker;
using tessaro::test::feed_live;
using tessaro::test::live_frame_bytes;

class TstPublishing : public QObject {
    Q_OBJECT
    std::unique_ptr<FormFixture> f;
    std::unique_ptr<TestBroker> broker;

    PublishRequest entry(const QString& name = "bench-1") const {
        PublishRequest r;
        r.url = QString("mqtt://127.0.0.1:%1/test").arg(broker->port());
        r.name = name;
        r.user = "meter";
        r.password = "secret";
        r.ha_discovery = true;
        return r;
    }

private slots:
    void init() {
        f = std::make_unique<FormFixture>();
        f->form->live_skip = 9; // past the two frames every restart hides
        broker = std::make_unique<TestBroker>(f->xdg.root());
        QVERIFY(broker->requireLogin("meter", "secret"));
    }
    void cleanup() {
        f.reset();
        broker.reset();
    }

    void publishesTheWindowsReadings() {
        // Catches window readings not published, published under other topics or fields than the
        // command-line monitor's, a password file others can read, or "Stop publishing" that leaves
        // the meter "online".
        QVERIFY(broker->start());
        Subscriber sub(broker->port(), {"test/#", "homeassistant/#"}, {}, {"meter", "secret"});
        QVERIFY(sub.waitReady());
        Form1& form = *f->form;
        f->user.publish_entries.enqueue(entry());
        form.publish_action->trigger();
        QVERIFY(form.publisher);
        QVERIFY(!form.publish_action->isEnabled());
        QVERIFY(form.stop_publish_action->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(sub.last("test/bench-1/status"), QByteArray("online"), kWaitMs);

        feed_live(form, live_frame_bytes(123, 0x41));
        feed_live(form, live_frame_bytes(4000, 0x41, true));
        QTRY_COMPARE_WITH_TIMEOUT(sub.messages("test/bench-1/reading").size(), 2, kWaitMs);
        const QJsonObject first = QJsonDocument::fromJson(sub.messages("test/bench-1/reading").at(0)).object();
        QCOMPARE(first.value("current_a").toDouble(), 0.0123);
        QCOMPARE(first.value("shown").toString(), "12.3mA");
        QCOMPARE(first.value("alarm").toString(), "not locked");
        const QJsonObject second = QJsonDocument::fromJson(sub.messages("test/bench-1/reading").at(1)).object();
        QVERIFY(second.value("current_a").isNull());
        QVERIFY(second.value("overload").toBool());
        QVERIFY(second.value("low_battery").toBool());
        QVERIFY(!sub.last("homeassistant/sensor/tessaro_bench-1/current/config").isEmpty());
        QVERIFY(!sub.last("test/bench-1/meter").isEmpty());

        QTRY_VERIFY_WITH_TIMEOUT(form.stop_publish_action->toolTip().contains("connected, 2 readings published"), kWaitMs);
        QVERIFY(form.Text40->toolTip().contains("Publishing to mqtt://"));

        // Kept for the next time; the password only for its owner.
        const QFileInfo password(paths::config_dir() + "/mqtt-password");
        QVERIFY(password.exists());
        QCOMPARE(password.permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
                 QFile::Permissions());
        form.stop_publishing();
        QVERIFY(!form.publisher);
        QVERIFY(form.publish_action->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(sub.last("test/bench-1/status"), QByteArray("offline"), kWaitMs);
        form.publish_action->trigger(); // cancelled
        QCOMPARE(f->user.publish_proposals.size(), 2);
        const PublishRequest again = f->user.publish_proposals.last();
        QCOMPARE(again.url, entry().url);
        QCOMPARE(again.name, "bench-1");
        QCOMPARE(again.password, "secret");
        QVERIFY(again.ha_discovery);
        QVERIFY(!form.publisher);
    }

    void brokerAwayQueuesAndTells() {
        // Catches readings lost while the broker is down at the start, or a state the tooltips do not tell.
        Form1& form = *f->form;
        f->user.publish_entries.enqueue(entry());
        form.start_publishing();
        QVERIFY(form.publisher);
        feed_live(form, live_frame_bytes(100, 0x41));
        feed_live(form, live_frame_bytes(200, 0x41));
        feed_live(form, live_frame_bytes(300, 0x41));
        QTRY_VERIFY_WITH_TIMEOUT(form.stop_publish_action->toolTip().contains("reconnecting (cannot reach the broker"), kWaitMs);
        QVERIFY2(form.Text29->toolTip().contains("3 queued"), qPrintable(form.Text29->toolTip()));
        QVERIFY(broker->start());
        Subscriber sub(broker->port(), {"test/#"}, {}, {"meter", "secret"});
        QVERIFY(sub.waitReady());
        QTRY_COMPARE_WITH_TIMEOUT(sub.messages("test/bench-1/reading").size(), 3, kWaitMs);
        QCOMPARE(QJsonDocument::fromJson(sub.messages("test/bench-1/reading").at(2)).object().value("count").toInt(), 300);
        // No box for a broker that is merely away.
        QCOMPARE(f->user.messages.size(), 0);
    }

    void refusalsAreTold_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("told");
        QTest::newRow("wrong password") << "" << "wrong" << "check the user name \"meter\"";
        QTest::newRow("unknown host") << "mqtt://no-such-host.invalid/test" << "secret" << "unknown broker host";
    }
    void refusalsAreTold() {
        // Catches a wrong password or host that publishing hides, or tells again at every retry.
        QFETCH(QString, url);
        QFETCH(QString, password);
        QFETCH(QString, told);
        QVERIFY(broker->start());
        PublishRequest r = entry();
        if (!url.isEmpty()) r.url = url;
        r.password = password;
        f->user.publish_entries.enqueue(r);
        f->form->start_publishing();
        QTRY_COMPARE_WITH_TIMEOUT(f->user.messages.size(), 1, kWaitMs);
        QVERIFY2(f->user.messages[0].text.contains(told), qPrintable(f->user.messages[0].text));
        QTRY_VERIFY_WITH_TIMEOUT(f->form->stop_publish_action->toolTip().contains(told), kWaitMs);
        // Two more attempts fail without another box.
        QSignalSpy attempts(f->form->publisher, &MqttPublisher::stateChanged);
        QTRY_VERIFY_WITH_TIMEOUT(attempts.count() >= 4, kWaitMs);
        QCOMPARE(f->user.messages.size(), 1);
    }

    void badEntriesAreRefused_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("name");
        QTest::newRow("not mqtt") << "http://host" << "m";
        QTest::newRow("password in URL") << "mqtt://u:p@host" << "m";
        QTest::newRow("bad name") << "mqtt://host" << "a b";
    }
    void badEntriesAreRefused() {
        // Catches an entry that cannot work accepted and publishing started with it.
        QFETCH(QString, url);
        QFETCH(QString, name);
        PublishRequest r = entry();
        r.url = url;
        r.name = name;
        f->user.publish_entries.enqueue(r);
        f->form->start_publishing();
        QCOMPARE(f->user.publish_problems.size(), 1);
        QVERIFY(!f->form->publisher);
        QVERIFY(!QFileInfo::exists(paths::config_dir() + "/mqtt.json"));
    }
};

QTEST_MAIN(TstPublishing)
#include "tst_publishing.moc"
