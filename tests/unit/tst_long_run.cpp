// A day of live frames in accelerated time: the statistics stay exact and the heap does not grow.
#include "app/form1.h"
#include "support/form_fixture.h"
#include "support/heap_use.h"

#include <QTest>

#include <algorithm>
#include <cstdint>
#include <deque>

namespace {

constexpr int kFramesPerDay = 2 * 60 * 60 * 24; // one every 500 ms
constexpr double kMaxCeiling = 2370000.0;
constexpr size_t kHeapTolerance = 256 * 1024;

using tessaro::test::heap_in_use;

struct Frame {
    int count;
    uint8_t range;
};

// Range codes with their factor to 0.01 mA and the largest count that stays below 23.7 A.
struct Range {
    uint8_t code;
    int64_t factor;
    int max_count;
};
constexpr Range kRanges[] = {{0x30, 100000, 23}, {0x31, 10000, 236}, {0x32, 1000, 2369}, {0x33, 100, 3999},
                             {0x40, 100, 3999},  {0x41, 10, 3999},   {0x42, 1, 3999}};

// A reproducible day: mixed ranges, about 1 % overloads in the mA ranges, a few low-battery frames.
class DayOfFrames {
public:
    Frame next(int i) {
        if (i == 0) return {100, 0x41}; // a known first reading (never the 6500 of the port check)
        const Range& r = kRanges[rand() % std::size(kRanges)];
        if (r.code >= 0x40 && rand() % 100 == 0) return {4000, r.code};
        int c = static_cast<int>(rand() % static_cast<uint32_t>(r.max_count + 1));
        if (c == 4000) c = 3999;
        return {c, r.code};
    }

private:
    uint32_t state_ = 12345;
    uint32_t rand() { return state_ = state_ * 1103515245u + 12345u, (state_ >> 8) & 0xFFFFFF; }
};

int64_t factor_of(uint8_t code) {
    for (const Range& r : kRanges)
        if (r.code == code) return r.factor;
    return 1;
}

} // namespace

class TstLongRun : public QObject {
    Q_OBJECT

private slots:
    void dayOfLiveFrames();
};

// Catches statistics that drift over a long run (a saturating count, a float sum, an overload in the
// average), a curve window that loses or misorders samples, and memory that grows with every frame.
void TstLongRun::dayOfLiveFrames() {
    tessaro::test::FormFixture f;
    tessaro::Form1& form = *f.form;
    form.live_skip = 9; // past the two frames every restart hides

    DayOfFrames day;
    int64_t sum = 0, n = 0;
    double max = 0.0, min = 0.0;
    bool have_min = false;
    std::deque<double> window;
    size_t heap_half = 0;

    for (int i = 0; i < kFramesPerDay; ++i) {
        const Frame fr = day.next(i);
        const int64_t scaled = fr.count * factor_of(fr.range);
        const bool overload = fr.count == 4000;
        if (!overload) {
            sum += scaled;
            ++n;
        }
        if (scaled < kMaxCeiling && scaled > max) max = static_cast<double>(scaled);
        if (!have_min || scaled < min) min = static_cast<double>(scaled), have_min = true;
        window.push_back(overload ? 2370000.0 : static_cast<double>(scaled));
        if (window.size() > 401) window.pop_front();

        const char bytes[3] = {static_cast<char>((fr.count >> 8) | (i % 997 == 0 ? 0x80 : 0)),
                               static_cast<char>(fr.count & 0xFF), static_cast<char>(fr.range)};
        form.rx_bytes = QByteArray(bytes, 3);
        form.live_frame();
        if (i == kFramesPerDay / 2 - 1) heap_half = heap_in_use();
    }
    const size_t heap_end = heap_in_use();

    QCOMPARE(form.live_stats.average_count(), n);
    QCOMPARE(form.live_stats.average().value_or(-1), sum / n);
    QCOMPARE(form.live_stats.stat_max(), max);
    QCOMPARE(form.live_stats.stat_min().value_or(-1), min);
    for (int k = 0; k < 401; ++k) QCOMPARE(form.live_samples[static_cast<size_t>(k)], window[static_cast<size_t>(k)]);
    QVERIFY2(heap_end <= heap_half + kHeapTolerance,
             qPrintable(QStringLiteral("heap grew by %1 bytes over the second half of the day").arg(qint64(heap_end) - qint64(heap_half))));
    qInfo("frames %d, averaged %lld, heap after half a day %zu bytes, after the day %zu bytes", kFramesPerDay,
          static_cast<long long>(n), heap_half, heap_end);
}

QTEST_MAIN(TstLongRun)
#include "tst_long_run.moc"
