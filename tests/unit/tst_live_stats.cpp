// Live statistics: maximum, minimum, exact average, their labels, and the realtime view's label rules.
#include "link/live_stats.h"

#include <QTest>

using namespace tessaro;

Q_DECLARE_METATYPE(tessaro::Shown)

namespace {

// Enters frames written as "count/range count/range ..." and returns the last frame's count.
int enter_frames(LiveStats& stats, const QString& frames) {
    int last = 0;
    for (const QString& f : frames.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = f.split(QLatin1Char('/'));
        last = parts[0].toInt();
        stats.enter(last, uint8_t(parts[1].toInt()));
    }
    return last;
}

bool same_shown(const Shown& a, const Shown& b) { return a == b; }

} // namespace

class TstLiveStats : public QObject {
    Q_OBJECT
private slots:
    void frames_data();
    void frames();
    void shown_values();
    void long_run_average_stays_exact();
    void reset_extremes_keeps_average();
    void view_labels_rules_data();
    void view_labels_rules();
    void restart_data();
    void restart();
};

void TstLiveStats::frames_data() {
    QTest::addColumn<QString>("frames");
    QTest::addColumn<QString>("max");
    QTest::addColumn<QString>("min");
    QTest::addColumn<QString>("avg"); // "-" when the average label stays as it was

    QTest::newRow("nothing yet") << "" << "Max: 0mA" << "Min: 0mA" << "-";
    QTest::newRow("6500 first is no maximum") << "6500/66" << "Max: 0mA" << "Min: 65mA" << "Average: 65mA";
    QTest::newRow("6500 twice still none") << "6500/66 6500/66" << "Max: 0mA" << "Min: 65mA" << "Average: 65mA";
    QTest::newRow("next reading becomes maximum") << "6500/66 100/66" << "Max: 1mA" << "Min: 1mA" << "Average: 33mA";
    QTest::newRow("6500 after a maximum counts") << "100/66 6500/66" << "Max: 65mA" << "Min: 1mA" << "Average: 33mA";
    QTest::newRow("40.0A reads as OL maximum") << "400/49" << "Max: 23.7A" << "Min: 40A" << "Average: 40A";
    QTest::newRow("steady 15A minimum") << "150/49 150/49 150/49" << "Max: 15A" << "Min: 15A" << "Average: 15A";
    QTest::newRow("maximum of 1") << "1/66" << "Max: .01mA" << "Min: .01mA" << "Average: .01mA";
    QTest::newRow("1234.5mA in A cut") << "12345/65" << "Max: 1.23A" << "Min: 1.23A" << "Average: 1.23A";
    QTest::newRow("45.67mA") << "4567/66" << "Max: 45.67mA" << "Min: 45.67mA" << "Average: 45.67mA";
    QTest::newRow("max and min track") << "500/66 900/66 200/66" << "Max: 9mA" << "Min: 2mA" << "Average: 5.33mA";
    QTest::newRow("mixed ranges exact mean") << "12345/65 5/66" << "Max: 1.23A" << "Min: .05mA" << "Average: 617.27mA";
    QTest::newRow("mean truncates") << "1/66 2/66" << "Max: .02mA" << "Min: .01mA" << "Average: .01mA";
    QTest::newRow("at or above 23.7A no maximum") << "2370/50" << "Max: 0mA" << "Min: 23.7A" << "Average: 23.7A";
    QTest::newRow("OL in range 50 while in overload") << "4000/50" << "Max:  OL" << "Min:  OL" << "Average:  OL";
    QTest::newRow("after OL the maximum is 23.7A") << "4000/50 150/49" << "Max: 23.7A" << "Min: 15A" << "Average: 15A";
    QTest::newRow("OL keeps out of the average") << "100/66 4000/66" << "Max: 40mA" << "Min: 1mA" << "Average: 1mA";
    QTest::newRow("big average in overload") << "150/49 4000/50" << "Max:  OL" << "Min:  OL" << "Average:  OL";
    QTest::newRow("O  L enters nothing") << "10000/50" << "Max: 0mA" << "Min: 0mA" << "-";
    QTest::newRow("O  L after a reading") << "100/66 10000/50" << "Max: 1mA" << "Min: 1mA" << "Average: 1mA";
    QTest::newRow("range 67 enters nothing") << "500/67" << "Max: 0mA" << "Min: 0mA" << "-";
    QTest::newRow("range 67 bare count no minimum") << "100/66 5/67" << "Max: 1mA" << "Min: 1mA" << "Average: 1mA";
    QTest::newRow("unknown range no maximum") << "100/66 3000/70" << "Max: 1mA" << "Min: 1mA" << "Average: 1mA";
}

void TstLiveStats::frames() {
    // Catches a broken max/min rule (6500, OL, 23.7 A ceiling), a minimum stuck at a start value, an
    // average skewed by overloads or bare counts, or a wrong label text.
    QFETCH(QString, frames);
    QFETCH(QString, avg);
    LiveStats stats;
    const int c = enter_frames(stats, frames);
    const FrameLabels labels = stats.labels(c);
    QTEST(labels.max.text, "max");
    QTEST(labels.min.text, "min");
    QCOMPARE(labels.avg.has_value(), avg != QLatin1String("-"));
    if (labels.avg) QCOMPARE(labels.avg->text, avg);
    // What the labels leave as shown redraws the same text in the realtime view, except for the
    // average, whose view text has no blank after the colon, and a value of exactly 40 A, which the
    // shown encoding cannot tell from the OL marker.
    const StatLabels view = view_labels(labels.max.shown, labels.min.shown, labels.avg ? labels.avg->shown : Shown{});
    const auto redrawn = [](const ShownLabel& l, const QString& ol) {
        return shown_value(l.shown) == kShownOverload ? ol : l.text;
    };
    QCOMPARE(view.max, redrawn(labels.max, QStringLiteral("Max:  OL")));
    QCOMPARE(view.min, redrawn(labels.min, QStringLiteral("Min:  OL")));
    if (labels.avg && avg != QLatin1String("Average:  OL"))
        QCOMPARE(view.avg, QString(avg).replace(QLatin1String("Average: "), QLatin1String("Average:")));
    else if (labels.avg)
        QCOMPARE(view.avg, avg);
}

void TstLiveStats::shown_values() {
    // Catches shown values stored in the wrong form (the view rules tell text from number and OL).
    LiveStats stats;
    stats.enter(12345, 65);
    FrameLabels l = stats.labels(12345);
    QVERIFY(same_shown(l.max.shown, Shown{123450.0}));
    QVERIFY(same_shown(l.avg->shown, Shown{QStringLiteral("1234.5")}));
    stats.enter(4000, 50);
    l = stats.labels(4000);
    QVERIFY(same_shown(l.max.shown, Shown{kShownOverload}));
    QVERIFY(same_shown(l.avg->shown, Shown{kShownOverload}));
    // The minimum keeps 1234.5 mA; its label reads OL only while the overload lasts.
    QVERIFY(same_shown(l.min.shown, Shown{kShownOverload}));
    QCOMPARE(stats.stat_min().value(), 123450.0);
    QCOMPARE(stats.stat_max(), 2370000.0);
    QCOMPARE(stats.labels(12345).min.text, QStringLiteral("Min: 1.23A"));

    LiveStats fresh;
    QVERIFY(std::holds_alternative<std::monostate>(fresh.labels(0).min.shown));
}

void TstLiveStats::long_run_average_stays_exact() {
    // Catches an accumulator whose count saturates or whose sum loses precision over a long run.
    LiveStats stats;
    for (int i = 0; i < 200000; ++i) stats.enter(2501, 66);
    QCOMPARE(stats.average_count(), qint64(200000));
    QCOMPARE(stats.average().value(), qint64(2501));
    QCOMPARE(stats.labels(2501).avg->text, QStringLiteral("Average: 25.01mA"));

    // Mixed readings: the mean of 0.5 A, 1.23 mA and 7 mA over a long run, checked against the sum.
    LiveStats mixed;
    qint64 sum = 0;
    for (int i = 0; i < 30000; ++i) {
        mixed.enter(50, 50);  // 50000
        mixed.enter(123, 66); // 123
        mixed.enter(7, 64);   // 700
        sum += 50000 + 123 + 700;
    }
    QCOMPARE(mixed.average().value(), sum / 90000);
    QCOMPARE(mixed.labels(7).avg->text, QStringLiteral("Average: 169.41mA"));
}

void TstLiveStats::reset_extremes_keeps_average() {
    // Catches a restart that clears the average or leaves a stale minimum behind.
    LiveStats stats;
    enter_frames(stats, QStringLiteral("100/66 900/66"));
    stats.reset_extremes();
    QCOMPARE(stats.stat_max(), 0.0);
    QVERIFY(!stats.stat_min());
    QCOMPARE(stats.average().value(), qint64(500));
    stats.enter(300, 66);
    QCOMPARE(stats.labels(300).max.text, QStringLiteral("Max: 3mA"));
    QCOMPARE(stats.labels(300).min.text, QStringLiteral("Min: 3mA"));
}

void TstLiveStats::view_labels_rules_data() {
    QTest::addColumn<Shown>("max_shown");
    QTest::addColumn<Shown>("min_shown");
    QTest::addColumn<Shown>("avg_shown");
    QTest::addColumn<QString>("max");
    QTest::addColumn<QString>("min");
    QTest::addColumn<QString>("avg");
    const Shown unset;
    QTest::newRow("never set") << unset << unset << unset << "Max: 0mA" << "Min: 0mA" << "Average: 0mA";
    QTest::newRow("A cut to two decimals") << Shown{123456.0} << Shown{100000.0} << Shown{QStringLiteral("1234.5")}
                                           << "Max: 1.23A" << "Min: 1A" << "Average:1.23A";
    QTest::newRow("fraction of mA") << Shown{4567.8} << Shown{1.0} << Shown{QStringLiteral("12.5")}
                                    << "Max: 45.678mA" << "Min: .01mA" << "Average:12.5mA";
    QTest::newRow("OL markers") << Shown{kShownOverload} << Shown{kShownOverload} << Shown{kShownOverload}
                                << "Max:  OL" << "Min:  OL" << "Average:  OL";
    QTest::newRow("just below A") << Shown{99999.0} << Shown{0.0} << Shown{QStringLiteral("999.99")}
                                  << "Max: 999.99mA" << "Min: 0mA" << "Average:999.99mA";
    QTest::newRow("23.7A") << Shown{2370000.0} << Shown{1500000.0} << Shown{QStringLiteral("15000")}
                           << "Max: 23.7A" << "Min: 15A" << "Average:15A";
    QTest::newRow("average text zero") << unset << unset << Shown{QStringLiteral("0")}
                                       << "Max: 0mA" << "Min: 0mA" << "Average:0mA";
}

void TstLiveStats::view_labels_rules() {
    // Catches a blank after "Average:", a rounded instead of cut ampere text, a lost OL marker,
    // a float-printed fraction, or an unset value not shown as 0.
    QFETCH(Shown, max_shown);
    QFETCH(Shown, min_shown);
    QFETCH(Shown, avg_shown);
    const StatLabels l = view_labels(max_shown, min_shown, avg_shown);
    QTEST(l.max, "max");
    QTEST(l.min, "min");
    QTEST(l.avg, "avg");
}

void TstLiveStats::restart_data() {
    QTest::addColumn<Shown>("avg_shown");
    QTest::addColumn<bool>("restart");
    QTest::newRow("never set") << Shown{} << true;
    QTest::newRow("text 0") << Shown{QStringLiteral("0")} << true;
    QTest::newRow("number 0") << Shown{0.0} << true;
    QTest::newRow("text .01") << Shown{QStringLiteral(".01")} << false;
    QTest::newRow("OL") << Shown{kShownOverload} << false;
}

void TstLiveStats::restart() {
    // Catches extremes restarted while an average is shown, or kept while none is.
    QFETCH(Shown, avg_shown);
    QTEST(restart_extremes(avg_shown), "restart");
}

QTEST_GUILESS_MAIN(TstLiveStats)
#include "tst_live_stats.moc"
