// Live frames through the main window: reading text, low power, curve samples and the statistics labels.
#include "app/form1.h"
#include "live_feed.h"
#include "support/form_fixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace tessaro;
using tessaro::test::FormFixture;

namespace {

using tessaro::test::feed_live;
using tessaro::test::live_frame_bytes;

constexpr double kEmpty = 4200000.0; // a curve entry without a sample

struct Labels {
    QString max, min, avg;
};
Labels labels(const Form1& form) { return {form.Label1->text(), form.Label2->text(), form.Label5->text()}; }

} // namespace

class TstLiveFrames : public QObject {
    Q_OBJECT

    std::unique_ptr<FormFixture> f;

private slots:
    void init() {
        f = std::make_unique<FormFixture>();
        f->form->live_skip = 9; // past the two frames every restart hides
    }
    void cleanup() { f.reset(); }

    void oneFrame_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reading");
        QTest::addColumn<QString>("status");
        QTest::addColumn<double>("sample");
        QTest::addColumn<QString>("max");
        QTest::addColumn<QString>("min");
        QTest::addColumn<QString>("avg");
        auto hex = [](const char* h) { return QByteArray::fromHex(h); };
        QTest::newRow("12.3 mA") << hex("007B41") << "12.3mA" << "" << 1230.0 << "Max: 12.3mA" << "Min: 12.3mA"
                                 << "Average: 12.3mA";
        QTest::newRow("12.0 mA") << hex("007841") << "12.0mA" << "" << 1200.0 << "Max: 12mA" << "Min: 12mA"
                                 << "Average: 12mA";
        QTest::newRow("0.0 A") << hex("000031") << "0.0A" << "" << 0.0 << "Max: 0mA" << "Min: 0mA"
                               << "Average: 0mA";
        QTest::newRow("0.05 mA") << hex("000542") << "0.05mA" << "" << 5.0 << "Max: .05mA" << "Min: .05mA"
                                 << "Average: .05mA";
        QTest::newRow("0.01 mA max") << hex("000142") << "0.01mA" << "" << 1.0 << "Max: .01mA" << "Min: .01mA"
                                     << "Average: .01mA";
        QTest::newRow("low power") << hex("800A40") << "10mA" << "Low power" << 1000.0 << "Max: 10mA"
                                   << "Min: 10mA" << "Average: 10mA";
        QTest::newRow("O  L") << hex("271032") << "O  L" << "" << kEmpty << "Max: 0mA" << "Min: 0mA"
                              << "Average: 0mA";
        QTest::newRow("overload mA") << hex("0FA041") << "   OL   mA" << "" << 2370000.0 << "Max: 400mA"
                                     << "Min: 400mA" << "Average:  OL";
        QTest::newRow("scaled 4000000 is OL max") << hex("019031") << "40.0A" << "" << kEmpty << "Max: 23.7A"
                                                  << "Min: 40A" << "Average: 40A";
        QTest::newRow("1234.5 mA") << hex("303941") << "1234.5mA" << "" << 123450.0 << "Max: 1.23A"
                                   << "Min: 1.23A" << "Average: 1.23A";
        // Ranges without a factor: no text, and the bare count enters neither curve nor statistics.
        QTest::newRow("range 67") << hex("000A43") << "" << "" << kEmpty << "Max: 0mA" << "Min: 0mA"
                                  << "Average: 0mA";
        QTest::newRow("unknown range") << hex("0FA07A") << "" << "" << kEmpty << "Max: 0mA" << "Min: 0mA"
                                       << "Average: 0mA";
    }
    void oneFrame() {
        // Catches a wrong reading text, a lost low-power notice, a misplaced sample or a wrong label.
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reading);
        QFETCH(QString, status);
        QFETCH(double, sample);
        QFETCH(QString, max);
        QFETCH(QString, min);
        QFETCH(QString, avg);
        Form1& form = *f->form;
        QPalette p = form.Text29->palette();
        p.setColor(QPalette::Text, Qt::red);
        form.Text29->setPalette(p);
        form.Text41->setText(QStringLiteral("stale"));

        feed_live(form, bytes);

        QCOMPARE(form.Text29->text(), reading);
        QCOMPARE(form.Text29->palette().color(QPalette::Text), QColor(0, 128, 0));
        QCOMPARE(form.Text41->text(), status);
        QCOMPARE(form.live_samples[400], sample);
        QCOMPARE(form.live_samples[399], kEmpty);
        QCOMPARE(form.live_samples[401], kEmpty); // beyond the window nothing moves
        QCOMPARE(form.Label1->text(), max);
        QCOMPARE(form.Label2->text(), min);
        QCOMPARE(form.Label5->text(), avg);
    }

    void brokenFramesChangeNothing_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("one byte") << QByteArray::fromHex("80");
        QTest::newRow("two bytes") << QByteArray::fromHex("007B");
        QTest::newRow("range 255") << QByteArray::fromHex("007BFF");
    }
    void brokenFramesChangeNothing() {
        // Catches a short or no-reading frame that reaches the display, the curve or the statistics.
        QFETCH(QByteArray, bytes);
        Form1& form = *f->form;
        feed_live(form, live_frame_bytes(123, 65));
        const Labels before = labels(form);
        form.Command5->setEnabled(false);
        feed_live(form, bytes);
        QCOMPARE(form.Text29->text(), QStringLiteral("12.3mA"));
        QCOMPARE(form.live_samples[400], 1230.0);
        QCOMPARE(form.live_samples[399], kEmpty);
        QCOMPARE(labels(form).max, before.max);
        QCOMPARE(labels(form).avg, before.avg);
        QVERIFY(form.Command5->isEnabled()); // a download's disabling ends with any third frame
        QCOMPARE(form.live_skip, uint8_t(9));
        QCOMPARE(form.low_batt, uint8_t(bytes.isEmpty() ? 0 : (uchar(bytes[0]) >> 7)));
    }

    void firstTwoFramesOnlyUpdateLowBattery() {
        // Catches frames shown during the two that every restart of acquisition hides.
        Form1& form = *f->form;
        form.live_skip = 0;
        form.Command5->setEnabled(false);
        feed_live(form, live_frame_bytes(123, 65, true));
        QCOMPARE(form.low_batt, uint8_t(1));
        QCOMPARE(form.live_skip, uint8_t(1));
        feed_live(form, live_frame_bytes(124, 65, false));
        QCOMPARE(form.low_batt, uint8_t(0));
        QCOMPARE(form.live_skip, uint8_t(2));
        QCOMPARE(form.Text29->text(), QString());
        QCOMPARE(form.Text41->text(), QString());
        QCOMPARE(form.live_samples[400], kEmpty);
        QCOMPARE(form.Label1->text(), QStringLiteral("Max: 0mA"));
        QVERIFY(!form.Command5->isEnabled());
        feed_live(form, live_frame_bytes(125, 65, true));
        QCOMPARE(form.live_skip, uint8_t(9));
        QCOMPARE(form.Text29->text(), QStringLiteral("12.5mA"));
        QCOMPARE(form.Text41->text(), QStringLiteral("Low power"));
        QCOMPARE(form.live_samples[400], 1250.0);
        QVERIFY(form.Command5->isEnabled());
    }

    void samplesShiftTowardTheOldest() {
        // Catches a shift in the wrong direction or one that moves entries beyond the window.
        Form1& form = *f->form;
        for (int k = 1; k <= 402; ++k) feed_live(form, live_frame_bytes(k, 66));
        QCOMPARE(form.live_samples[400], 402.0);
        QCOMPARE(form.live_samples[1], 3.0);
        QCOMPARE(form.live_samples[0], 2.0);
        for (int i = 401; i <= 410; ++i) QCOMPARE(form.live_samples[size_t(i)], kEmpty);
        QCOMPARE(form.live_samples[411], 0.0);
    }

    void statisticsOverRuns_data() {
        QTest::addColumn<QList<QByteArray>>("frames");
        QTest::addColumn<QString>("max");
        QTest::addColumn<QString>("min");
        QTest::addColumn<QString>("avg");
        const QByteArray r6500 = live_frame_bytes(6500, 66), r100 = live_frame_bytes(100, 66);
        QTest::newRow("6500 is never a first maximum") << QList<QByteArray>{r6500} << "Max: 0mA" << "Min: 65mA"
                                                        << "Average: 65mA";
        QTest::newRow("the next reading is") << QList<QByteArray>{r6500, r100} << "Max: 1mA" << "Min: 1mA"
                                              << "Average: 33mA";
        QTest::newRow("6500 after another maximum") << QList<QByteArray>{r100, r6500} << "Max: 65mA"
                                                     << "Min: 1mA" << "Average: 33mA";
        const QByteArray a15 = live_frame_bytes(150, 49);
        QTest::newRow("steady 15 A shows its minimum")
            << QList<QByteArray>{a15, a15, a15, a15, a15} << "Max: 15A" << "Min: 15A" << "Average: 15A";
        QTest::newRow("OL maximum stays at 23.7 A")
            << QList<QByteArray>{live_frame_bytes(400, 49), live_frame_bytes(123, 65)} << "Max: 23.7A" << "Min: 12.3mA"
            << "Average: 20A";
        QTest::newRow("overload stays out of the average")
            << QList<QByteArray>{live_frame_bytes(123, 65), live_frame_bytes(4000, 65), live_frame_bytes(123, 65)} << "Max: 400mA"
            << "Min: 12.3mA" << "Average: 12.3mA";
    }
    void statisticsOverRuns() {
        // Catches a first maximum of 6500, a lost OL maximum, a minimum that a steady run never reaches,
        // and an average skewed by overloads.
        QFETCH(QList<QByteArray>, frames);
        QFETCH(QString, max);
        QFETCH(QString, min);
        QFETCH(QString, avg);
        for (const QByteArray& b : frames) feed_live(*f->form, b);
        QCOMPARE(f->form->Label1->text(), max);
        QCOMPARE(f->form->Label2->text(), min);
        QCOMPARE(f->form->Label5->text(), avg);
    }

    void longRunKeepsTheAverageExact() {
        // Catches a 16-bit count that saturates after hours and lets the average drift upward.
        Form1& form = *f->form;
        form.acq_on = 0; // no redraws: the run measures only the statistics
        const QByteArray low = live_frame_bytes(123, 65);  // 12.3 mA
        const QByteArray high = live_frame_bytes(124, 65); // 12.4 mA
        for (int k = 0; k < 200000; ++k) feed_live(form, (k % 4 == 0) ? high : low);
        QCOMPARE(form.Label5->text(), QStringLiteral("Average: 12.32mA"));
        QCOMPARE(form.live_stats.average_count(), int64_t(200000));
        QCOMPARE(form.Label1->text(), QStringLiteral("Max: 12.4mA"));
        QCOMPARE(form.Label2->text(), QStringLiteral("Min: 12.3mA"));
    }
};

QTEST_MAIN(TstLiveFrames)
#include "tst_live_frames.moc"
