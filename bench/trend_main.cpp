// tessaro-trend-bench: the trend of a week-long recording: open to first picture, redraws at every
// zoom level, memory a reading. `--make FILE` writes the recording (a week at two readings a second).
#include "trend/recording_file.h"
#include "trend/trend_export.h"
#include "trend/trend_painter.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace tessaro::trend;

namespace {

constexpr int64_t kReadings = 7LL * 24 * 3600 * 2;
constexpr int64_t kIntervalMs = 500;
const QSize kPicture(1000, 500);

// The live log of a week: a slow wave with noise, a spike now and then, OL, a low battery and an
// alarm threshold locked for the second half.
bool make_week(const char* path) {
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    std::fputs("time,current_a,shown,overload,low_battery,alarm\r\n", f);
    const int64_t day0 = 20'794; // 2026-12-07, a Monday
    char line[128];
    uint32_t noise = 12345;
    for (int64_t i = 0; i < kReadings; ++i) {
        const int64_t ms = i * kIntervalMs;
        const int64_t s = ms / 1000;
        const int64_t day = s / 86400;
        noise = noise * 1103515245u + 12345u;
        int count = 1000 + int(600 * std::sin(double(i) / 7200.0)) + int((noise >> 16) % 40);
        if (i % 100'003 == 0) count = 9000;
        const bool ol = i % 250'000 == 77;
        const bool low = i > 5 * 172'800 && i < 5 * 172'800 + 7200;
        const bool locked = i > kReadings / 2;
        const char* alarm = !locked ? "not locked" : count >= 1500 ? "alarm" : "normal";
        int64_t y;
        unsigned mo, d;
        civil_from_days(day0 + day, y, mo, d);
        const int n = ol ? std::snprintf(line, sizeof line, "%04lld-%02u-%02uT%02lld:%02lld:%02lld.%03lld+01:00,,OL   mA,1,%d,%s\r\n",
                                         (long long)y, mo, d, (long long)(s / 3600 % 24), (long long)(s / 60 % 60),
                                         (long long)(s % 60), (long long)(ms % 1000), low ? 1 : 0, alarm)
                         : std::snprintf(line, sizeof line, "%04lld-%02u-%02uT%02lld:%02lld:%02lld.%03lld+01:00,0.%04d,%d.%dmA,0,%d,%s\r\n",
                                         (long long)y, mo, d, (long long)(s / 3600 % 24), (long long)(s / 60 % 60),
                                         (long long)(s % 60), (long long)(ms % 1000), count, count / 10, count % 10,
                                         low ? 1 : 0, alarm);
        if (std::fwrite(line, 1, size_t(n), f) != size_t(n)) {
            std::fclose(f);
            return false;
        }
    }
    return std::fclose(f) == 0;
}

long rss_kb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? NAN : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double paint_ms(const Recording& rec, Span s, QImage& image) {
    QElapsedTimer t;
    t.start();
    QPainter p(&image);
    TrendRequest r;
    r.t0 = s.t0;
    r.t1 = s.t1;
    paint_trend(p, QRectF(QPointF(0, 0), QSizeF(image.size())), rec, r, QGuiApplication::font());
    p.end();
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && QByteArray(argv[1]) == "--make") return make_week(argv[2]) ? 0 : 1;
    if (argc != 2) {
        std::fprintf(stderr, "Usage: tessaro-trend-bench --make FILE | tessaro-trend-bench FILE\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString path = QString::fromLocal8Bit(argv[1]);
    QImage image(kPicture, QImage::Format_RGB32);
    paint_ms(Recording(), {0, 1000}, image); // fonts and painter warmed up once, as a running window has them

    // Open to first picture, five times (the file in the page cache as after wc -l).
    std::vector<double> open_ms;
    long rss_growth = 0; // of the first run: later runs reuse what the allocator kept
    size_t readings = 0, store_bytes = 0;
    for (int run = 0; run < 5; ++run) {
        const long rss_before = rss_kb();
        QElapsedTimer t;
        t.start();
        RecordingFile file;
        if (file.open(path) || file.read_all() != RecordingFile::Step::AtEnd) {
            std::fprintf(stderr, "tessaro-trend-bench: cannot read %s\n", argv[1]);
            return 1;
        }
        paint_ms(file.recording(), fit_all(file.recording()), image);
        open_ms.push_back(double(t.nsecsElapsed()) / 1e6);
        if (run == 0) rss_growth = rss_kb() - rss_before;
        readings = file.recording().size();
        store_bytes = file.recording().memory_bytes();
    }
    std::printf("trend_open_first_picture_ms %.1f ms\n", median(open_ms));
    std::printf("trend_bytes_per_reading %.1f B\n", double(rss_growth) * 1024.0 / double(readings));
    std::printf("trend_store_bytes_per_reading %.1f B\n", double(store_bytes) / double(readings));

    // Redraws: zoom levels from the week to 10 s, each panned across the week.
    RecordingFile file;
    file.open(path);
    file.read_all();
    const Recording& rec = file.recording();
    double worst = 0;
    for (int64_t span : {int64_t(7) * 86'400'000, int64_t(86'400'000), int64_t(3'600'000), int64_t(60'000), int64_t(10'000)}) {
        std::vector<double> ms;
        for (int k = 0; k < 21; ++k) {
            const int64_t t0 = rec.earliest() + (rec.latest() - rec.earliest() - span) * k / 20;
            ms.push_back(paint_ms(rec, {t0, t0 + span}, image));
        }
        const double m = median(ms);
        worst = std::max(worst, m);
        std::printf("trend_redraw_%llds_ms %.2f ms\n", (long long)(span / 1000), m);
    }
    std::printf("trend_redraw_worst_ms %.2f ms\n", worst);
    return 0;
}
