// The trend's time axis: steps by span, ticks on the local calendar, daylight-saving changes.
#include "trend/time_axis.h"

#include <QDateTime>
#include <QTest>
#include <QTimeZone>

using namespace tessaro::trend;

namespace {
constexpr double kWidth = 1000, kCharPx = 7;
const char* const kBerlin = "Europe/Berlin";
} // namespace

class TestTimeAxis : public QObject {
    Q_OBJECT
private slots:
    void ticks_data() {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("start");  // local, in the zone
        QTest::addColumn<qint64>("span_ms");
        QTest::addColumn<int>("kind");          // StepKind
        QTest::addColumn<QStringList>("first_labels");
        QTest::addColumn<QStringList>("dates");
        const auto at = [](int y, int mo, int d, int h, int mi, int s = 0) { return QDateTime(QDate(y, mo, d), QTime(h, mi, s)); };
        QTest::newRow("10 s") << QByteArray(kBerlin) << at(2026, 12, 10, 17, 5, 3) << qint64(10'000) << int(StepKind::Seconds)
                              << QStringList{"17:05:03", "17:05:04"} << QStringList{"2026-12-10 CET"};
        QTest::newRow("1 h") << QByteArray(kBerlin) << at(2026, 12, 10, 17, 7) << qint64(3'600'000) << int(StepKind::Minutes)
                             << QStringList{"17:10", "17:15"} << QStringList{"2026-12-10 CET"};
        QTest::newRow("1 day") << QByteArray(kBerlin) << at(2026, 12, 10, 12, 0) << qint64(86'400'000) << int(StepKind::Hours)
                               << QStringList{"12:00"} << QStringList{"2026-12-10 CET", "2026-12-11"};
        QTest::newRow("1 week") << QByteArray(kBerlin) << at(2026, 12, 7, 12, 0) << qint64(7 * 86'400'000LL) << int(StepKind::Hours)
                                << QStringList{"12:00", "00:00", "12:00"}
                                << QStringList{"2026-12-07 CET", "2026-12-08", "2026-12-09", "2026-12-10", "2026-12-11",
                                               "2026-12-12", "2026-12-13", "2026-12-14"};
        QTest::newRow("1 month") << QByteArray(kBerlin) << at(2026, 12, 1, 0, 0) << qint64(30 * 86'400'000LL) << int(StepKind::Days)
                                 << QStringList{} << QStringList{"2026"};
        QTest::newRow("spring forward") << QByteArray(kBerlin) << at(2026, 3, 29, 0, 0) << qint64(4 * 3'600'000LL)
                                        << int(StepKind::Minutes)
                                        << QStringList{"00:00", "00:15", "00:30", "00:45", "01:00", "01:15", "01:30", "01:45", "03:00", "03:15"}
                                        << QStringList{"2026-03-29 CET", "2026-03-29 CEST"};
        QTest::newRow("fall back") << QByteArray(kBerlin) << at(2026, 10, 25, 1, 0) << qint64(4 * 3'600'000LL)
                                   << int(StepKind::Minutes)
                                   << QStringList{"01:00", "01:15", "01:30", "01:45", "02:00", "02:15", "02:30", "02:45",
                                                  "02:00", "02:15", "02:30", "02:45", "03:00"}
                                   << QStringList{"2026-10-25 CEST", "2026-10-25 CET"};
        QTest::newRow("quarter-hour zone") << QByteArray("Asia/Kathmandu") << at(2026, 12, 10, 9, 50) << qint64(12 * 3'600'000LL)
                                           << int(StepKind::Hours) << QStringList{"10:00", "11:00", "12:00"} << QStringList{};
    }
    void ticks() {
        // Catches ticks that follow UTC instead of the local clock, break at a daylight-saving
        // change, or a step that does not fit the span.
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, start);
        QFETCH(qint64, span_ms);
        QFETCH(int, kind);
        QFETCH(QStringList, first_labels);
        QFETCH(QStringList, dates);
        const QTimeZone tz(zone);
        QVERIFY(tz.isValid());
        const qint64 t0 = QDateTime(start.date(), start.time(), tz).toMSecsSinceEpoch();
        const TimeAxis axis = time_axis(t0, t0 + span_ms, kWidth, kCharPx, tz);
        QCOMPARE(int(axis.step.kind), kind);
        QVERIFY(axis.ticks.size() >= 3);
        QVERIFY(axis.ticks.size() <= 60);
        QStringList labels;
        for (size_t i = 0; i < axis.ticks.size(); ++i) {
            const TimeTick& t = axis.ticks[i];
            QVERIFY(t.t_ms >= t0 && t.t_ms <= t0 + span_ms);
            if (i > 0) QVERIFY(t.t_ms > axis.ticks[i - 1].t_ms);
            // The label is the wall clock at the tick, as the zone database tells it.
            const QDateTime local = QDateTime::fromMSecsSinceEpoch(t.t_ms, tz);
            const QString expected = axis.step.kind >= StepKind::Days ? local.toString(QStringLiteral("MM-dd"))
                                     : axis.step.kind == StepKind::Seconds ? local.toString(QStringLiteral("HH:mm:ss"))
                                                                           : local.toString(QStringLiteral("HH:mm"));
            QCOMPARE(t.label, expected);
            if (axis.step.kind >= StepKind::Days) QCOMPARE(local.time(), QTime(0, 0));
            labels << t.label;
        }
        QCOMPARE(labels.mid(0, first_labels.size()), first_labels);
        if (!dates.isEmpty()) {
            QStringList got;
            for (const DateMark& d : axis.dates) got << d.label;
            QCOMPARE(got, dates);
        }
    }

    void stepsKeepLabelsApart_data() {
        QTest::addColumn<qint64>("span_ms");
        for (qint64 span : {50LL, 2'000LL, 90'000LL, 7'200'000LL, 86'400'000LL * 3, 86'400'000LL * 40, 86'400'000LL * 800})
            QTest::newRow(qPrintable(QString::number(span))) << span;
    }
    void stepsKeepLabelsApart() {
        // Catches a step so short that labels overlap, or so long that the axis shows under two ticks.
        QFETCH(qint64, span_ms);
        const QTimeZone tz(kBerlin);
        const qint64 t0 = QDateTime(QDate(2026, 5, 4), QTime(9, 13, 7, 250), tz).toMSecsSinceEpoch();
        const TimeAxis axis = time_axis(t0, t0 + span_ms, kWidth, kCharPx, tz);
        QVERIFY2(axis.ticks.size() >= 2, qPrintable(QString::number(axis.ticks.size())));
        const double px_per_ms = kWidth / double(span_ms);
        for (size_t i = 1; i < axis.ticks.size(); ++i) {
            const double gap = double(axis.ticks[i].t_ms - axis.ticks[i - 1].t_ms) * px_per_ms;
            QVERIFY2(gap >= axis.ticks[i].label.size() * kCharPx * 0.9, qPrintable(axis.ticks[i].label));
        }
    }

    void durations() {
        // Catches a statistics duration in the wrong unit.
        QCOMPARE(duration_text(350), QStringLiteral("350 ms"));
        QCOMPARE(duration_text(12'500), QStringLiteral("12.5 s"));
        QCOMPARE(duration_text(185'000), QStringLiteral("3 min 05 s"));
        QCOMPARE(duration_text(7'380'000), QStringLiteral("2 h 03 min"));
        QCOMPARE(duration_text(3 * 86'400'000LL + 4 * 3'600'000LL), QStringLiteral("3 d 04 h"));
    }
};

QTEST_GUILESS_MAIN(TestTimeAxis)
#include "tst_time_axis.moc"
