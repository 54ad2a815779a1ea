// The publisher on its own against a real mosquitto: the bounded queue while the broker is away.
#include "publish/mqtt_publisher.h"
#include "support/generous_wait.h"
#include "support/pty_pair.h"
#include "support/test_broker.h"

#include <QSignalSpy>
#include <QTest>

using namespace tessaro;
using tessaro::test::kWaitMs;
using tessaro::test::Subscriber;
using tessaro::test::TempXdg;
using tessaro::test::TestBroker;

class TstMqttPublisher : public QObject {
    Q_OBJECT
private slots:
    void fullQueueDropsTheOldest() {
        // Catches a queue that grows without bound while the broker is away, drops the newest
        // instead of the oldest, loses the kept ones' order, or does not count what it dropped.
        TempXdg xdg;
        TestBroker broker(xdg.root());
        // A persistent subscriber, known to the broker before it goes away, gets what is
        // published as soon as the broker is back.
        QVERIFY(broker.start());
        Subscriber sub(broker.port(), {"test/q/reading"}, "tst-q");
        QVERIFY(sub.waitReady());
        broker.stop();
        MqttSettings s;
        QString error;
        s.target = *parse_mqtt_url(broker.url(), error);
        s.name = "q";
        s.queue_limit = 5;
        MqttPublisher publisher(s);
        QSignalSpy dropped(&publisher, &MqttPublisher::readingsDropped);
        QSignalSpy problems(&publisher, &MqttPublisher::problem);
        QVERIFY(publisher.start());
        for (int i = 1; i <= 8; ++i) publisher.publishReading(QByteArray::number(i));
        QCOMPARE(publisher.status().queued, 5);
        QCOMPARE(publisher.status().dropped, 3);
        QCOMPARE(dropped.count(), 3);
        QCOMPARE(dropped.last().at(0).toLongLong(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(publisher.status().state, MqttState::Waiting, kWaitMs);
        QCOMPARE(problems.count(), 1);
        QCOMPARE(problems.first().at(0).value<MqttProblem>(), MqttProblem::Unreachable);

        QVERIFY(broker.start());
        // The next attempt comes within 30 s.
        QTRY_COMPARE_WITH_TIMEOUT(sub.messages("test/q/reading"),
                                  (QList<QByteArray>{"4", "5", "6", "7", "8"}), kWaitMs);
        QCOMPARE(publisher.status().queued, 0);
        QCOMPARE(publisher.status().published, 5);
        QCOMPARE(problems.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TstMqttPublisher)
#include "tst_mqtt_publisher.moc"
