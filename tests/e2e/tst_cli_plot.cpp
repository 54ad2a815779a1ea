// tessaro-cli plot as a process: pictures that decode and show the readings, exit statuses, refusals.
#include "support/recording_fixture.h"

#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace tessaro;

namespace {

struct Run {
    int status = -1;
    QByteArray err;
};

Run plot(const QStringList& args, const QString& program = QStringLiteral(CLI_EXE)) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY")); // no display needed
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb")); // overridden: plot always draws offscreen
    env.insert(QStringLiteral("TZ"), QStringLiteral("Europe/Berlin"));
    p.setProcessEnvironment(env);
    p.start(program, QStringList{QStringLiteral("plot")} + args);
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardError()};
}

} // namespace

class TestCliPlot : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    QString log_;
    QString path(const QString& name) const { return dir_.filePath(name); }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        log_ = path(QStringLiteral("day.csv"));
        // Two hours at one reading a second, a spike in the middle, a low-battery half hour.
        auto readings = test::steady_readings(test::fixture_start(), 7200, 1000, [](int i) { return i == 3600 ? 30000 : 500; });
        for (int i = 5000; i < 6800; ++i) readings[size_t(i)].low_batt = true;
        QVERIFY(test::write_bytes(log_, test::live_log_bytes(readings)));
    }

    void picturesDecode_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QSize>("size");
        QTest::newRow("png, default size") << QStringLiteral("a.png") << QStringList{} << QSize(1200, 600);
        QTest::newRow("PNG suffix, size") << QStringLiteral("b.PNG") << QStringList{QStringLiteral("--size"), QStringLiteral("640x300")} << QSize(640, 300);
        QTest::newRow("svg, span") << QStringLiteral("c.svg")
                                   << QStringList{QStringLiteral("--from"), QStringLiteral("2026-12-10T12:30"), QStringLiteral("--to"),
                                                  QStringLiteral("2026-12-10 13:30:00")}
                                   << QSize(1200, 600);
    }
    void picturesDecode() {
        // Catches a plot that writes no picture, a broken one, or one without the spike.
        QFETCH(QString, name);
        QFETCH(QStringList, extra);
        QFETCH(QSize, size);
        const QString out = path(name);
        const Run r = plot(QStringList{log_, QStringLiteral("-o"), out} + extra);
        QVERIFY2(r.status == 0, r.err.constData());
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QImage img;
        if (name.endsWith(QLatin1String("svg"))) {
            QSvgRenderer svg(bytes);
            QVERIFY(svg.isValid());
            QCOMPARE(svg.viewBox().size(), size);
            QVERIFY(bytes.contains(">13:00<")); // a tick label of the span asked for, in local (Berlin) time
            QVERIFY(!bytes.contains(">14:00<"));
            img = QImage(size, QImage::Format_RGB32);
            img.fill(Qt::white);
            QPainter p(&img);
            svg.render(&p);
        } else {
            QVERIFY(img.loadFromData(bytes, "PNG"));
        }
        QCOMPARE(img.size(), size);
        // The spike reaches near the top of the plot: a dark blue pixel in the top fifth.
        bool spike = false;
        for (int y = 0; y < size.height() / 5 && !spike; ++y)
            for (int x = 0; x < size.width() && !spike; ++x) {
                const QRgb c = img.pixel(x, y);
                spike = qBlue(c) > 100 && qRed(c) < 120 && qGreen(c) < 180;
            }
        QVERIFY(spike);
    }

    void exitStatuses_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        const QString out = dir_.filePath(QStringLiteral("x.png"));
        QTest::newRow("no file") << QStringList{QStringLiteral("-o"), out} << 1 << QStringLiteral("expected one recording FILE");
        QTest::newRow("no output") << QStringList{log_} << 1 << QStringLiteral("-o OUT is missing");
        QTest::newRow("jpg") << QStringList{log_, QStringLiteral("-o"), dir_.filePath(QStringLiteral("x.jpg"))} << 1
                             << QStringLiteral(".png or .svg");
        QTest::newRow("size") << QStringList{log_, QStringLiteral("-o"), out, QStringLiteral("--size"), QStringLiteral("100000x5")} << 1
                              << QStringLiteral("--size");
        QTest::newRow("time") << QStringList{log_, QStringLiteral("-o"), out, QStringLiteral("--from"), QStringLiteral("yesterday")} << 1
                              << QStringLiteral("--from");
        QTest::newRow("backwards span") << QStringList{log_, QStringLiteral("-o"), out, QStringLiteral("--from"), QStringLiteral("2026-12-10T13:00"),
                                                       QStringLiteral("--to"), QStringLiteral("2026-12-10T12:00")}
                                        << 1 << QStringLiteral("after --from");
        QTest::newRow("two files") << QStringList{log_, log_, QStringLiteral("-o"), out} << 1 << QStringLiteral("unexpected argument");
        QTest::newRow("missing") << QStringList{dir_.filePath(QStringLiteral("none.csv")), QStringLiteral("-o"), out} << 2
                                 << QStringLiteral("No such file");
        QTest::newRow("fifo") << QStringList{dir_.filePath(QStringLiteral("fifo")), QStringLiteral("-o"), out} << 2
                              << QStringLiteral("not a regular file");
        QTest::newRow("other CSV") << QStringList{dir_.filePath(QStringLiteral("other.csv")), QStringLiteral("-o"), out} << 2
                                   << QStringLiteral("Line 1 is \"a,b\"");
        QTest::newRow("output folder missing") << QStringList{log_, QStringLiteral("-o"), dir_.filePath(QStringLiteral("no/x.png"))} << 2
                                               << QStringLiteral("cannot write");
    }
    void exitStatuses() {
        // Catches a failure reported as success, a hang on a pipe, or a bad command line taken as an input failure.
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, says);
        const QString fifo = dir_.filePath(QStringLiteral("fifo"));
        if (!QFileInfo::exists(fifo)) QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QVERIFY(test::write_bytes(dir_.filePath(QStringLiteral("other.csv")), "a,b\n1,2\n"));
        QFile::remove(dir_.filePath(QStringLiteral("x.png")));
        const Run r = plot(args);
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.contains(says.toUtf8()), r.err.constData());
        QVERIFY(!QFileInfo::exists(dir_.filePath(QStringLiteral("x.png"))));
    }

    void oddFilesAreDrawnWithNotes() {
        // Catches skipped lines or an empty recording passing unmentioned, or failing the plot.
        const QString odd = path(QStringLiteral("odd.csv"));
        auto readings = test::steady_readings(test::fixture_start(), 100, 500, [](int) { return 200; });
        QByteArray bytes = test::live_log_bytes(readings);
        bytes.insert(bytes.indexOf('\n') + 1, "not a reading\r\n");
        bytes += "2026-12-10T12:0"; // cut short
        QVERIFY(test::write_bytes(odd, bytes));
        Run r = plot({odd, QStringLiteral("-o"), path(QStringLiteral("odd.png"))});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.err.contains("Line 2 is no reading") && r.err.contains("unfinished"), r.err.constData());
        const QString empty = path(QStringLiteral("empty.csv"));
        QVERIFY(test::write_bytes(empty, live_log_header()));
        r = plot({empty, QStringLiteral("-o"), path(QStringLiteral("empty.png"))});
        QCOMPARE(r.status, 0);
        QVERIFY(r.err.contains("holds no readings"));
        QVERIFY(QImage(path(QStringLiteral("empty.png"))).width() == 1200);
    }

    void withoutItsModule_data() {
        QTest::addColumn<QByteArray>("module"); // the bytes of tessaro-cli-plot.so beside the program; null: none
        QTest::addColumn<QString>("says");
        QTest::newRow("missing") << QByteArray() << QStringLiteral("the plotting module tessaro-cli-plot.so is missing");
        QTest::newRow("not a library") << QByteArray("not an ELF file\n") << QStringLiteral("cannot load");
        QTest::newRow("empty") << QByteArray("") << QStringLiteral("cannot load");
    }
    void withoutItsModule() {
        // The program alone in a folder (a broken installation): plot fails with a reason, writes
        // nothing and does not crash; the commands that need no module still run.
        QFETCH(QByteArray, module);
        QFETCH(QString, says);
        QTemporaryDir alone;
        QVERIFY(alone.isValid());
        const QString program = alone.filePath(QStringLiteral("tessaro-cli"));
        QVERIFY(QFile::copy(QStringLiteral(CLI_EXE), program));
        if (!module.isNull()) QVERIFY(test::write_bytes(alone.filePath(QStringLiteral("tessaro-cli-plot.so")), module));
        const QString out = alone.filePath(QStringLiteral("x.png"));
        const Run r = plot({log_, QStringLiteral("-o"), out}, program);
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains(says.toUtf8()), r.err.constData());
        QVERIFY(!QFileInfo::exists(out));
        QProcess version;
        version.start(program, {QStringLiteral("--version")});
        QVERIFY(version.waitForFinished(120000));
        QCOMPARE(version.exitCode(), 0);
        QVERIFY(version.readAllStandardOutput().startsWith("tessaro-cli "));
    }
};

QTEST_MAIN(TestCliPlot)
#include "tst_cli_plot.moc"
