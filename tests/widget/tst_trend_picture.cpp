// The trend picture: the envelope keeps spikes at every zoom, gaps, marks, statistics, PNG and SVG.
#include "trend/trend_export.h"
#include "trend/trend_painter.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTest>

#include <cmath>

using namespace tessaro::trend;

namespace {

const QTimeZone kZone("Europe/Berlin");
constexpr int64_t kStart = 1'796'900'000'000; // 2026-12-10 11:53:20 CET
const QRectF kTarget(0, 0, 800, 400);

TrendRequest request(int64_t t0, int64_t t1) {
    TrendRequest r;
    r.t0 = t0;
    r.t1 = t1;
    r.zone = kZone;
    return r;
}

QImage paint(const Recording& rec, const TrendRequest& req, TrendPicture* pic = nullptr) {
    QImage image(kTarget.size().toSize(), QImage::Format_RGB32);
    QPainter p(&image);
    const TrendPicture got = paint_trend(p, kTarget, rec, req, QGuiApplication::font());
    if (pic) *pic = got;
    return image;
}

bool bluish(QRgb c) { return qBlue(c) > qRed(c) + 40; }

// Whether a data pixel (band or line) lies within r pixels of (x, y).
bool data_near(const QImage& img, double x, double y, int r = 2) {
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) {
            const int px = int(std::floor(x)) + dx, py = int(std::floor(y)) + dy;
            if (img.rect().contains(px, py) && bluish(img.pixel(px, py))) return true;
        }
    return false;
}

} // namespace

class TestTrendPicture : public QObject {
    Q_OBJECT
private slots:
    void spikeVisibleAtEveryZoom_data() {
        QTest::addColumn<double>("where"); // the spike's place in the view, 0 left .. 1 right
        QTest::newRow("middle") << 0.5;
        QTest::newRow("near the left") << 0.03;
        QTest::newRow("near the right") << 0.97;
    }
    void spikeVisibleAtEveryZoom() {
        // Catches a spike lost when many readings share a pixel column (decimation instead of an envelope).
        QFETCH(double, where);
        Recording rec;
        const int n = 172'800; // a day at two readings a second
        const size_t spike = 100'003;
        for (int i = 0; i < n; ++i)
            rec.append(kStart + int64_t(i) * 500, size_t(i) == spike ? 5.0f : 0.010f + 0.002f * float(std::sin(i / 300.0)), 0);
        rec.update();
        const int64_t ts = rec.time(spike);
        for (int64_t span = int64_t(n) * 500; span >= 10'000; span /= 3) {
            const int64_t t0 = ts - int64_t(double(span) * where);
            TrendPicture pic;
            const QImage img = paint(rec, request(t0, t0 + span), &pic);
            const EnvelopeColumn* col = nullptr;
            for (const EnvelopeColumn& c : pic.envelope.columns)
                if (!c.outside && c.first <= spike && spike <= c.last) col = &c;
            QVERIFY2(col, qPrintable(QString::number(span)));
            QCOMPARE(col->summary.max, 5.0f);
            QVERIFY(pic.value.hi >= 5.0);
            const double x = pic.plot.left() + (col->first == col->last ? col->x : std::floor(col->x) + 0.5);
            QVERIFY2(data_near(img, x, pic.y_of(5.0)), qPrintable(QStringLiteral("span %1 ms: no spike drawn").arg(span)));
        }
    }

    void gapRule_data() {
        QTest::addColumn<int>("pause_intervals");
        QTest::addColumn<bool>("joined");
        QTest::newRow("4 intervals: joined") << 4 << true;
        QTest::newRow("5 intervals: joined") << 5 << true;
        QTest::newRow("6 intervals: a gap") << 6 << false;
        QTest::newRow("an hour: a gap") << 7200 << false;
    }
    void gapRule() {
        // Catches a pause in the recording drawn as a straight line across it, or short pauses broken up.
        QFETCH(int, pause_intervals);
        QFETCH(bool, joined);
        Recording rec;
        int64_t t = kStart;
        for (int i = 0; i < 40; ++i) {
            rec.append(t, 0.010f, 0);
            t += i == 19 ? int64_t(pause_intervals) * 500 : 500;
        }
        rec.update();
        const int64_t a = rec.time(19), b = rec.time(20);
        const int64_t pad = (b - a) * 2;
        TrendPicture pic;
        const QImage img = paint(rec, request(a - pad, b + pad), &pic);
        const EnvelopeColumn* after = nullptr;
        for (const EnvelopeColumn& c : pic.envelope.columns)
            if (c.first == 20) after = &c;
        QVERIFY(after);
        QCOMPARE(after->joined, joined);
        const double mid = (pic.x_of(a) + pic.x_of(b)) / 2;
        QCOMPARE(data_near(img, mid, pic.y_of(0.010), 1), joined);
    }

    void statisticsOfSpan() {
        // Catches wrong statistics under the plot: count, extremes, mean without OL, time at or above the threshold.
        Recording rec;
        const float ma[] = {1, 2, 0, 4, 5};
        for (int i = 0; i < 5; ++i) {
            uint8_t f = i >= 3 ? kAlarm : kNormal;
            if (i == 2) f |= kOverload | kNoValue;
            rec.append(kStart + i * 1000, ma[i] / 1000.0f, f);
        }
        rec.update();
        const Summary all = summarize_span(rec, kStart, kStart + 4000);
        QCOMPARE(all.count, size_t(5));
        QCOMPARE(all.valued, size_t(4));
        QCOMPARE(all.min, 0.001f);
        QCOMPARE(all.max, 0.005f);
        QVERIFY(std::abs(all.mean() - 0.003) < 1e-9);
        QCOMPARE(all.alarm_ms, int64_t(2000)); // reading 3 until 4, reading 4 for one interval
        QVERIFY(all.flags & kOverload);
        const Summary inner = summarize_span(rec, kStart + 1000, kStart + 3000);
        QCOMPARE(inner.count, size_t(3));
        QCOMPARE(inner.min, 0.002f);
        QCOMPARE(inner.max, 0.004f);
        QVERIFY(std::abs(inner.mean() - 0.003) < 1e-9);
        QCOMPARE(inner.alarm_ms, int64_t(1000));
        QCOMPARE(summarize_span(rec, kStart + 4001, kStart + 9000).count, size_t(0));
    }

    void overloadAndLowBatteryAreMarked() {
        // Catches OL readings or low-battery spans that leave no trace on the picture.
        Recording rec;
        for (int i = 0; i < 200; ++i) {
            uint8_t f = 0;
            if (i == 50) f = kOverload | kNoValue;
            if (i >= 120 && i < 160) f |= kLowBattery;
            rec.append(kStart + i * 500, 0.010f, f);
        }
        rec.update();
        TrendPicture pic;
        const QImage img = paint(rec, request(kStart, kStart + 199 * 500), &pic);
        const TrendColours colours;
        const int ol_x = int(pic.x_of(rec.time(50)));
        const QRgb top = img.pixel(ol_x, int(pic.plot.top()) + 3);
        QVERIFY2(qRed(top) > 150 && qGreen(top) < 100, qPrintable(QString::number(top, 16)));
        const int lb_x = int(pic.x_of(rec.time(140)));
        QCOMPARE(QColor(img.pixel(lb_x, int(pic.plot.top() + pic.plot.height() / 4))), colours.low_battery);
        const int ok_x = int(pic.x_of(rec.time(90)));
        QCOMPARE(QColor(img.pixel(ok_x, int(pic.plot.top() + pic.plot.height() / 4))), colours.background);
        // The line breaks at the reading without a value.
        QVERIFY(!data_near(img, pic.x_of(rec.time(50)), pic.y_of(0.010), 0));
    }

    void timeGoingBackIsDrawnInFileOrderWithAMark() {
        // Catches a step back in time that crashes, joins the two runs, or leaves no mark.
        Recording rec;
        for (int i = 0; i < 100; ++i) rec.append(kStart + i * 500, 0.010f, 0);
        for (int i = 0; i < 100; ++i) rec.append(kStart + 20'000 + i * 500, 0.020f, 0); // back by 29.5 s
        rec.update();
        QCOMPARE(rec.runs(), size_t(2));
        TrendPicture pic;
        const QImage img = paint(rec, request(kStart, kStart + 70'000), &pic);
        for (const EnvelopeColumn& c : pic.envelope.columns)
            if (c.first == 100) QVERIFY(!c.joined);
        const int x = int(pic.x_of(rec.time(100)));
        bool mark = false;
        for (int dx = -1; dx <= 1 && !mark; ++dx)
            for (int y = int(pic.plot.top()) + 2; y < int(pic.plot.bottom()) && !mark; ++y)
                mark = QColor(img.pixel(x + dx, y)) == TrendColours().backwards;
        QVERIFY(mark);
        // Both runs are drawn where their times put them.
        QVERIFY(data_near(img, pic.x_of(kStart + 40'000), pic.y_of(0.010)));
        QVERIFY(data_near(img, pic.x_of(kStart + 40'000), pic.y_of(0.020)));
    }

    void exportsDecodeAndShowTheData_data() {
        QTest::addColumn<int>("format");
        QTest::newRow("png") << int(PictureFormat::Png);
        QTest::newRow("svg") << int(PictureFormat::Svg);
    }
    void exportsDecodeAndShowTheData() {
        // Catches an exported file that does not decode, has the wrong size or lacks the curve.
        QFETCH(int, format);
        Recording rec;
        for (int i = 0; i < 3600; ++i) rec.append(kStart + i * 1000, 0.010f + 0.005f * float(i % 600) / 600.0f, 0);
        rec.update();
        TrendRequest req = request(rec.earliest(), rec.latest());
        req.title = QStringLiteral("bench.csv");
        const QSize size(900, 450);
        const QByteArray bytes = render_picture(PictureFormat(format), size, rec, req, QGuiApplication::font());
        QVERIFY(!bytes.isEmpty());
        QImage img;
        if (PictureFormat(format) == PictureFormat::Png) {
            QVERIFY(img.loadFromData(bytes, "PNG"));
        } else {
            QVERIFY(bytes.contains("<svg"));
            QVERIFY(bytes.contains("2026-12-10")); // the date under the axis, as text
            QSvgRenderer svg(bytes);
            QVERIFY(svg.isValid());
            QCOMPARE(svg.viewBox().size(), size);
            img = QImage(size, QImage::Format_RGB32);
            img.fill(Qt::white);
            QPainter p(&img);
            svg.render(&p);
        }
        QCOMPARE(img.size(), size);
        // The same layout as the renderer's: the line at the middle reading.
        QImage probe(size, QImage::Format_RGB32);
        QPainter pp(&probe);
        const TrendPicture pic = paint_trend(pp, QRectF(QPointF(0, 0), QSizeF(size)), rec, req, QGuiApplication::font());
        pp.end();
        const size_t mid = 1800;
        QVERIFY(data_near(img, pic.x_of(rec.time(mid)), pic.y_of(rec.value(mid)), 3));
    }
};

QTEST_MAIN(TestTrendPicture)
#include "tst_trend_picture.moc"
