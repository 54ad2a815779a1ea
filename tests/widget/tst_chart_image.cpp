// The painted chart: size and format, pixels of axes, grid and curves, text placement and the snapshot file.
#include "chart/chart_geometry.h"
#include "chart/chart_painter.h"
#include "chart/snapshot_file.h"
#include "support/child_writer.h"

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QFont>
#include <QPainter>
#include <QTemporaryDir>

#include <atomic>
#include <thread>
#include <vector>

#include <csignal>

#include <sys/stat.h>

using namespace tessaro;

namespace {
// What the kernel sent while a reader opened the snapshot during a redraw.
std::atomic<int> sigio_count{0}, sigurg_count{0};
void count_signal(int sig) { ++(sig == SIGIO ? sigio_count : sigurg_count); }
} // namespace

class TstChartImage : public QObject {
    Q_OBJECT
private slots:
    void init();
    void image_format();
    void static_parts();
    void live_curve_pixels();
    void no_curve_without_samples();
    void curve_off_the_surface_is_clipped();
    void window_curve_pixels();
    void texts_placed_by_top_left();
    void snapshot_written_and_reloaded();
    void snapshot_rewritten_each_call();
    void snapshot_unwritable();
    void snapshot_never_follows_planted_links();
    void snapshot_on_full_disk_keeps_last_whole();
    void snapshot_reuses_its_files();
    void snapshot_written_in_pieces_data();
    void snapshot_written_in_pieces();
    void snapshot_whole_again_after_full_disk();
    void snapshot_reader_never_sees_partial();
    void snapshot_readers_never_end_the_program();
    void renderer_matches_full_drawing();
    void bitmap_bytes();
    void bitmap_pixels_data();
    void bitmap_pixels();

private:
    QImage render() { return render_chart(in_, QFont()); }
    static QColor at(const QImage& img, double x_twips, double y_twips) {
        return img.pixelColor(twips_to_px(x_twips), twips_to_px(y_twips));
    }
    static bool has_colour(const QImage& img, QColor c) {
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixelColor(x, y) == c) return true;
        return false;
    }

    std::vector<double> samples_;
    std::vector<double> values_;
    ChartInput in_;
};

void TstChartImage::init() {
    samples_.assign(621, 4200000);
    values_.assign(kCurveSlots, 0.0);
    in_ = ChartInput{kRealtimeMode, 3000, samples_.data(), values_.data(), 0, 0};
}

void TstChartImage::image_format() {
    // Catches a surface of the wrong size, a scaled (high-DPI) image or an alpha format.
    const QImage img = render();
    QCOMPARE(img.size(), QSize(729, 361));
    QCOMPARE(img.format(), QImage::Format_RGB32);
    QCOMPARE(img.devicePixelRatio(), 1.0);
}

void TstChartImage::static_parts() {
    // Catches missing axes or grid dashes, grid drawn solid, or a wrong background.
    const QImage img = render();
    const QColor white(255, 255, 255), background(64, 64, 64);
    QCOMPARE(at(img, 540, 2000), white);   // vertical axis
    QCOMPARE(at(img, 5000, 4800), white);  // horizontal axis
    QCOMPARE(at(img, 540, 4950), white);   // origin tick
    QCOMPARE(at(img, 9540, 4930), white);  // last major tick
    QCOMPARE(at(img, 1140, 600), white);   // a grid dash
    QCOMPARE(at(img, 1140, 700), background); // between two dashes
    QCOMPARE(at(img, 1150, 4180), white);  // a horizontal grid dash on the first division
    QCOMPARE(at(img, 1230, 4180), background);
    QCOMPARE(at(img, 390, 4180), white);   // major tick of the first division (row 279)
    QCOMPARE(at(img, 1500, 2200), background);
    QCOMPARE(img.pixelColor(700, 200), background);
    QVERIFY(!has_colour(img, QColor(0, 192, 0)));
}

void TstChartImage::live_curve_pixels() {
    // Catches live segments missing between two readings or drawn across an entry without one.
    const double v = 1000000; // 10 A, between grid lines at scale 3000
    samples_[200] = samples_[201] = v;
    samples_[300] = v; // alone between no-sample entries
    samples_[302] = samples_[303] = v;
    const QImage img = render();
    const int row = twips_to_px(chart_y(v, 3000));
    const QColor live(0, 192, 0), background(64, 64, 64);
    QCOMPARE(img.pixelColor(twips_to_px(live_x(200)), row), live);
    QCOMPARE(img.pixelColor(twips_to_px(live_x(201)), row), live);
    QCOMPARE(img.pixelColor(twips_to_px(live_x(300)), row), background);
    QCOMPARE(img.pixelColor(twips_to_px(live_x(301)), row), background);
    QCOMPARE(img.pixelColor(twips_to_px(live_x(302)), row), live);
    QCOMPARE(img.pixelColor(twips_to_px(live_x(199)), row), background);
}

void TstChartImage::no_curve_without_samples() {
    // Catches a curve drawn from the no-sample markers right after start-up.
    const QImage img = render();
    QVERIFY(!has_colour(img, QColor(0, 192, 0)));
    QVERIFY(!has_colour(img, QColor(0, 255, 0)));
}

void TstChartImage::curve_off_the_surface_is_clipped() {
    // Catches off-surface ends clamped to the edge (a line along the top row) instead of cut off.
    in_.chart_scale = 1;
    for (int j = 100; j <= 110; ++j) samples_[static_cast<size_t>(j)] = 2370000;
    const QImage img = render();
    QVERIFY(!has_colour(img, QColor(0, 192, 0)));

    // One segment from far above the surface down to the zero line: nearly vertical, so it enters
    // the top row at the column of its lower end (clamping would start it at the upper end's column).
    samples_[111] = 0;
    const QImage cut = render();
    const int x = twips_to_px(live_x(111));
    QVERIFY(twips_to_px(live_x(110)) != x);
    QCOMPARE(cut.pixelColor(x, twips_to_px(4780)), QColor(0, 192, 0));
    QCOMPARE(cut.pixelColor(x, 0), QColor(0, 192, 0));
    QCOMPARE(cut.pixelColor(twips_to_px(live_x(110)), 0), QColor(64, 64, 64));
}

void TstChartImage::window_curve_pixels() {
    // Catches the two-record segment not spanning 540..5040 twips or drawn in the live colour.
    in_.curve_mode = kCurveMode;
    in_.curve_from = 0;
    in_.curve_to = 3;
    const double v = 1000000;
    values_[0] = values_[1] = v;
    values_[2] = 0;
    const QImage img = render();
    const int row = twips_to_px(chart_y(v, 3000));
    const QColor history(0, 255, 0), background(64, 64, 64);
    QCOMPARE(img.pixelColor(twips_to_px(600), row), history);
    QCOMPARE(img.pixelColor(twips_to_px(3000), row), history);
    QCOMPARE(img.pixelColor(twips_to_px(5040), row), history);
    QCOMPARE(img.pixelColor(twips_to_px(5040) + 2, row), background);
    QVERIFY(!has_colour(img, QColor(0, 192, 0)));

    in_.curve_to = 2; // one record: no curve
    QVERIFY(!has_colour(render(), history));
}

void TstChartImage::texts_placed_by_top_left() {
    // Catches texts placed by their baseline (they would reach above their top edge).
    QImage probe(50, 50, QImage::Format_RGB32);
    probe.fill(Qt::black);
    {
        QPainter p(&probe);
        p.setPen(Qt::white);
        p.drawText(QPoint(5, 30), QStringLiteral("8"));
    }
    bool inked = false;
    for (int y = 0; y < probe.height() && !inked; ++y)
        for (int x = 0; x < probe.width() && !inked; ++x) inked = probe.pixelColor(x, y) != QColor(Qt::black);
    if (!inked) QSKIP("no font renders on this machine");

    // Label of the top division at (0, 520) twips: row 35. Between the vertical caption's line and
    // that label, left of the major ticks, only background.
    const QImage img = render();
    const QColor background(64, 64, 64);
    const int top = twips_to_px(520);
    const int caption_bottom = QFontMetrics(QFont(), &img).height();
    bool ink_above = false, ink_below = false;
    for (int x = 0; x < twips_to_px(390); ++x) {
        for (int y = caption_bottom; y < top; ++y) ink_above |= img.pixelColor(x, y) != background;
        for (int y = top; y < top + caption_bottom; ++y) ink_below |= img.pixelColor(x, y) != background;
    }
    QVERIFY(!ink_above);
    QVERIFY(ink_below);
}

void TstChartImage::snapshot_written_and_reloaded() {
    // Catches a missing folder not created, a non-BMP file or pixels changed by writing.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("runtime/tessaro/555.bmp");
    samples_[10] = samples_[11] = 500000;
    const QImage img = render();
    QVERIFY(write_snapshot(img, path));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.read(2), QByteArray("BM"));
    f.close();
    QImage back(path, "BMP");
    QCOMPARE(back.size(), QSize(729, 361));
    QCOMPARE(back.convertToFormat(QImage::Format_RGB32), img);
    QCOMPARE(QDir(dir.filePath("runtime/tessaro")).entryList(QDir::Files | QDir::Hidden),
             QStringList{"555.bmp"});
}

void TstChartImage::snapshot_rewritten_each_call() {
    // Catches a snapshot written once and kept, a temporary file left behind, a kept buffer that
    // leaks the last picture into the next, or a folder removed while the window runs not made again.
    QTemporaryDir dir;
    const QString path = dir.filePath("tessaro/555.bmp");
    SnapshotWriter writer;
    const QImage first = render();
    QVERIFY(writer.write(first, path));
    in_.chart_scale = 1;
    samples_[0] = samples_[1] = 300;
    const QImage second = render();
    QVERIFY(second != first);
    QVERIFY(writer.write(second, path));
    QCOMPARE(QImage(path, "BMP").convertToFormat(QImage::Format_RGB32), second);
    QCOMPARE(QDir(dir.filePath("tessaro")).entryList(QDir::Files | QDir::Hidden), QStringList{"555.bmp"});

    QVERIFY(QDir(dir.filePath("tessaro")).removeRecursively());
    QImage small(7, 2, QImage::Format_RGB32);
    small.fill(QColor(1, 2, 3));
    QVERIFY(writer.write(small, path));
    QCOMPARE(QImage(path, "BMP").convertToFormat(QImage::Format_RGB32), small);
    QCOMPARE(QFileInfo(path).size(), 54 + 24 * 2);
}

void TstChartImage::snapshot_unwritable() {
    // Catches a failed write reported as success, or a crash when the folder cannot exist.
    QTemporaryDir dir;
    QFile blocker(dir.filePath("plain-file"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.write("x");
    blocker.close();
    const QImage img = render();
    QVERIFY(!write_snapshot(img, dir.filePath("plain-file/555.bmp")));
    QVERIFY(!write_snapshot(img, dir.filePath("plain-file/deeper/555.bmp")));

    QVERIFY(QDir(dir.path()).mkdir("a-folder"));
    QVERIFY(!write_snapshot(img, dir.filePath("a-folder"))); // the target is a folder
    QVERIFY(QFileInfo(dir.filePath("a-folder")).isDir());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"plain-file"});
    QVERIFY(!write_snapshot(QImage(), dir.filePath("empty.bmp")));
}

void TstChartImage::snapshot_never_follows_planted_links() {
    // Catches a temporary name someone can plant a link at (the write then lands on the link's
    // target), or a snapshot written through a link planted at its own name.
    QTemporaryDir dir;
    const QString victim = dir.filePath("victim");
    {
        QFile f(victim);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("precious");
    }
    QVERIFY(QDir(dir.path()).mkpath("runtime/tessaro"));
    const QString folder = dir.filePath("runtime/tessaro");
    const QStringList planted{".555.bmp.part", "555.bmp", ".555.bmp.tmp", "555.bmp~"};
    for (const QString& name : planted) QVERIFY(QFile::link(victim, folder + '/' + name));
    // A link where the writer keeps its spare files, into a folder someone else could read.
    QVERIFY(QDir(dir.path()).mkdir("elsewhere"));
    QVERIFY(QFile::link(dir.filePath("elsewhere"), folder + "/.555.bmp.spares"));
    SnapshotWriter writer;
    const QImage img = render();
    for (int i = 0; i < 3; ++i) QVERIFY(writer.write(img, folder + "/555.bmp"));
    QFile f(victim);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("precious"));
    QVERIFY(!QFileInfo(folder + "/555.bmp").isSymLink());
    QVERIFY(QDir(dir.filePath("elsewhere")).isEmpty());
    QCOMPARE(QImage(folder + "/555.bmp", "BMP").convertToFormat(QImage::Format_RGB32), img);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), planted.size());
}

void TstChartImage::snapshot_on_full_disk_keeps_last_whole() {
    // Catches a cut-off bitmap renamed over the last whole one when the disk fills.
    QTemporaryDir dir;
    const QString path = dir.filePath("tessaro/555.bmp");
    const QImage first = render();
    QVERIFY(write_snapshot(first, path));
    const qint64 size = QFileInfo(path).size();
    samples_[10] = samples_[11] = 500000;
    const QImage second = render();
    for (const rlim_t limit : {rlim_t{0}, rlim_t{4096}, static_cast<rlim_t>(size - 1)}) {
        const std::optional<QString> answer = test::write_in_child({limit, false}, [&]() -> std::optional<QString> {
            if (write_snapshot(second, path)) return std::nullopt;
            return QStringLiteral("failed");
        });
        QCOMPARE(answer, std::optional<QString>(QStringLiteral("failed")));
        QCOMPARE(QImage(path, "BMP").convertToFormat(QImage::Format_RGB32), first);
        QCOMPARE(QDir(dir.filePath("tessaro")).entryList(QDir::Files | QDir::Hidden), QStringList{"555.bmp"});
    }
}

void TstChartImage::snapshot_reuses_its_files() {
    // Catches a new file (new memory pages) made for every redraw, or spares left behind.
    QTemporaryDir dir;
    const QString path = dir.filePath("tessaro/555.bmp");
    QSet<quint64> files;
    {
        SnapshotWriter writer;
        for (int i = 0; i < 10; ++i) {
            samples_[5] = samples_[6] = 1000 * i;
            const QImage img = render();
            QVERIFY(writer.write(img, path));
            QCOMPARE(QImage(path, "BMP").convertToFormat(QImage::Format_RGB32), img);
            struct stat st {};
            QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
            files.insert(st.st_ino);
        }
    }
    QCOMPARE(files.size(), 2);
    QCOMPARE(QDir(dir.filePath("tessaro")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"555.bmp"});
}

namespace {
// A picture whose every pixel differs from its neighbours, so a row or piece out of place shows.
QImage patterned(QSize size) {
    QImage img(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            img.setPixel(x, y, qRgb((x * 7 + y) & 0xFF, (y * 13 + x / 256) & 0xFF, (x + y * 31) & 0xFF));
    return img;
}

QByteArray file_bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

void TstChartImage::snapshot_written_in_pieces_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("chart") << QSize(729, 361);
    QTest::newRow("first piece exactly full") << QSize(729, 29);
    QTest::newRow("one row into a second piece") << QSize(729, 30);
    QTest::newRow("rows longer than a piece") << QSize(30000, 3);
    QTest::newRow("many short rows") << QSize(1, 40000);
}

void TstChartImage::snapshot_written_in_pieces() {
    // Catches rows lost, doubled or out of order where the bitmap is handed on in pieces, or a
    // larger picture's bytes left at the end of a reused file.
    QFETCH(QSize, size);
    const QImage img = patterned(size);
    const QImage larger = patterned(QSize(800, 600));
    const qint64 row = (qint64(size.width()) * 3 + 3) & ~qint64(3);
    QTemporaryDir dir;
    const QString path = dir.filePath("tessaro/555.bmp");
    SnapshotWriter writer;
    for (const QImage* picture : {&larger, &img, &larger, &img, &img}) {
        QVERIFY(writer.write(*picture, path));
        const QByteArray bytes = file_bytes(path);
        QCOMPARE(bytes, bmp_bytes(*picture));
        QImage back;
        QVERIFY(back.loadFromData(bytes, "BMP"));
        QCOMPARE(back.convertToFormat(QImage::Format_RGB32), *picture);
    }
    QCOMPARE(QFileInfo(path).size(), 54 + row * size.height());
    QVERIFY(write_snapshot(img, dir.filePath("once/555.bmp")));
    QCOMPARE(file_bytes(dir.filePath("once/555.bmp")), bmp_bytes(img));
}

void TstChartImage::snapshot_whole_again_after_full_disk() {
    // Catches a writer that, after the disk filled in the middle of a bitmap, leaves part of
    // it at the end of the next, smaller one, or keeps failing once there is room again.
    QTemporaryDir dir;
    const QString path = dir.filePath("tessaro/555.bmp");
    const QImage first = patterned(QSize(729, 361));
    const QImage larger = patterned(QSize(900, 700));
    const QImage small = patterned(QSize(13, 5));
    SnapshotWriter writer;
    QVERIFY(writer.write(first, path));
    QVERIFY(writer.write(first, path));
    {
        const test::ScopedFileSizeLimit limit(QFileInfo(path).size() + 100000);
        QVERIFY(!writer.write(larger, path));
    }
    QCOMPARE(file_bytes(path), bmp_bytes(first));
    for (const QImage* picture : {&small, &small, &larger}) {
        QVERIFY(writer.write(*picture, path));
        QCOMPARE(file_bytes(path), bmp_bytes(*picture));
    }
    QCOMPARE(QDir(dir.filePath("tessaro")).entryList(QDir::Files | QDir::Hidden), QStringList{"555.bmp"});
}

void TstChartImage::snapshot_reader_never_sees_partial() {
    // Catches a reader that sees a half-written or mixed bitmap: a file overwritten while a
    // reader still holds it, or the target named before the bitmap is whole.
    QTemporaryDir dir;
    const QString path = dir.filePath("tessaro/555.bmp");
    QList<QImage> images;
    QList<QByteArray> encoded;
    for (int i = 0; i < 3; ++i) {
        samples_[100 + i] = samples_[101 + i] = 200000 * (i + 1);
        images << render();
        encoded << bmp_bytes(images.back());
    }
    SnapshotWriter writer;
    QVERIFY(writer.write(images[0], path));

    // A reader that opened the file and reads it only after later redraws.
    QFile held(path);
    QVERIFY(held.open(QIODevice::ReadOnly));
    for (int i = 1; i <= 4; ++i) QVERIFY(writer.write(images[i % 3], path));
    QCOMPARE(held.readAll(), encoded[0]);
    held.close();

    // A reader in a tight loop while the chart redraws; every copy must decode to one chart.
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0}, torn{0};
    std::thread reader([&] {
        while (!stop) {
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly)) continue;
            const QByteArray copy = f.readAll();
            ++reads;
            if (!encoded.contains(copy)) ++torn;
        }
    });
    for (int i = 0; i < 300 || reads < 100; ++i) {
        if (i > 100000) break;
        QVERIFY(writer.write(images[i % 3], path));
    }
    stop = true;
    reader.join();
    QVERIFY(reads >= 100);
    QCOMPARE(torn.load(), 0);
    QCOMPARE(QImage::fromData(encoded[1], "BMP").convertToFormat(QImage::Format_RGB32), images[1]);
}

void TstChartImage::snapshot_readers_never_end_the_program() {
    // Catches the kernel's default signal for a reader opening a leased spare (SIGIO, which
    // ends the program): releasing a lease resets the signal asked for, so only the first
    // write to each spare was quiet.
    QTemporaryDir dir;
    const QString path = dir.filePath("tessaro/555.bmp");
    const QImage img = render();
    struct sigaction counting {}, old_io {}, old_urg {};
    counting.sa_handler = count_signal;
    counting.sa_flags = SA_RESTART;
    sigemptyset(&counting.sa_mask);
    QCOMPARE(::sigaction(SIGIO, &counting, &old_io), 0);
    QCOMPARE(::sigaction(SIGURG, &counting, &old_urg), 0);
    sigio_count = sigurg_count = 0;

    SnapshotWriter writer;
    QVERIFY(writer.write(img, path));
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop) {
            QFile f(path);
            if (f.open(QIODevice::ReadOnly)) f.read(1);
        }
    });
    // Lease breaks come at random; enough redraws to see several of them on each spare.
    bool written = true;
    for (int i = 0; i < 4000 && sigio_count + sigurg_count < 20; ++i) written = writer.write(img, path) && written;
    stop = true;
    reader.join();
    ::sigaction(SIGIO, &old_io, nullptr);
    ::sigaction(SIGURG, &old_urg, nullptr);

    QVERIFY(written);
    QCOMPARE(sigio_count.load(), 0);
    qInfo("lease breaks seen: %d", sigurg_count.load());
    QCOMPARE(QImage(path, "BMP").convertToFormat(QImage::Format_RGB32), img);
}

void TstChartImage::renderer_matches_full_drawing() {
    // Catches a kept background that outlives a change of scale or view, or a curve drawn under it.
    ChartRenderer renderer;
    for (int j = 300; j <= 400; ++j) samples_[static_cast<size_t>(j)] = 50000.0 * (j % 17);
    for (int s = 0; s < 40; ++s) values_[static_cast<size_t>(s)] = 20000.0 * (s % 9);
    struct Step { uint8_t mode; double scale; double from; double to; };
    const Step steps[] = {{kRealtimeMode, 3000, 0, 0}, {kRealtimeMode, 3000, 0, 0}, {kRealtimeMode, 71, 0, 0},
                          {100, 71, 0, 40},          {100, 857, 5, 30},          {kRealtimeMode, 857, 0, 0}};
    for (const Step& st : steps) {
        in_.curve_mode = st.mode;
        in_.chart_scale = st.scale;
        in_.curve_from = st.from;
        in_.curve_to = st.to;
        samples_[400] += 1000.0; // a new sample each time
        QCOMPARE(renderer.render(in_, QFont()), render());
    }

    // Catches a frame buffer drawn into while a returned image still shares it: the held chart
    // (the surface's, a snapshot's) would change under its holder when the next sample is drawn.
    const QImage held = renderer.render(in_, QFont());
    const QImage held_expected = render();
    samples_[400] += 50000.0;
    QCOMPARE(renderer.render(in_, QFont()), render());
    QCOMPARE(held, held_expected);
}

void TstChartImage::bitmap_bytes() {
    // Catches a bitmap with a wrong header, unpadded rows or rows in the wrong order.
    QImage img(5, 3, QImage::Format_RGB32); // 15 bytes a row, padded to 16
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) img.setPixelColor(x, y, QColor(10 * x, 50 * y, 200));
    const QByteArray bmp = bmp_bytes(img);
    QCOMPARE(bmp.left(2), QByteArray("BM"));
    QCOMPARE(bmp.size(), 54 + 16 * 3);
    QCOMPARE(quint8(bmp[28]), quint8(24));
    // The bottom row comes first, blue-green-red.
    QCOMPARE(quint8(bmp[54]), quint8(200));
    QCOMPARE(quint8(bmp[55]), quint8(100));
    QImage back;
    QVERIFY(back.loadFromData(bmp, "BMP"));
    QCOMPARE(back.convertToFormat(QImage::Format_RGB32), img);
}

void TstChartImage::bitmap_pixels_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("format");
    QTest::newRow("one pixel") << 1 << int(QImage::Format_RGB32);
    QTest::newRow("three, no whole group of four") << 3 << int(QImage::Format_RGB32);
    QTest::newRow("four") << 4 << int(QImage::Format_RGB32);
    QTest::newRow("groups and a tail") << 13 << int(QImage::Format_RGB32);
    QTest::newRow("chart width") << 729 << int(QImage::Format_RGB32);
    QTest::newRow("another format") << 13 << int(QImage::Format_ARGB32_Premultiplied);
}

void TstChartImage::bitmap_pixels() {
    // Catches bytes mixed up between neighbouring pixels when rows are converted in groups.
    QFETCH(int, width);
    QFETCH(int, format);
    QImage img(width, 3, QImage::Format(format));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < width; ++x)
            img.setPixelColor(x, y, QColor((x * 37 + y) & 0xFF, (x * 91 + 7 * y) & 0xFF, (x * 13 + 200) & 0xFF));
    QImage back;
    QVERIFY(back.loadFromData(bmp_bytes(img), "BMP"));
    QCOMPARE(back.convertToFormat(QImage::Format_RGB32), img.convertToFormat(QImage::Format_RGB32));
}

QTEST_MAIN(TstChartImage)
#include "tst_chart_image.moc"
