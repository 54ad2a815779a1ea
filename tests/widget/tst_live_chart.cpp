// The live chart redrawn by live frames: the image Picture1 shows and the snapshot file.
#include "app/form1.h"
#include "chart/chart_widget.h"
#include "link/mscomm.h"
#include "platform/paths.h"
#include "support/form_fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QTest>

using namespace tessaro;
using tessaro::test::FormFixture;
using tessaro::test::PtyPair;

namespace {

const QColor kLiveCurve(0, 192, 0);

void feed(Form1& form, int count, int range) {
    const char bytes[] = {char(count >> 8), char(count & 0xFF), char(range)};
    form.rx_bytes = QByteArray(bytes, 3);
    form.live_frame();
}

// Pixels of the curve colour inside the columns [x0, x1].
int curvePixels(const QImage& image, int x0 = 0, int x1 = -1) {
    if (x1 < 0) x1 = image.width() - 1;
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = x0; x <= x1; ++x)
            if (image.pixelColor(x, y) == kLiveCurve) ++n;
    return n;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TstLiveChart : public QObject {
    Q_OBJECT

    std::unique_ptr<FormFixture> f;
    std::unique_ptr<PtyPair> pty;

private slots:
    void init() {
        f = std::make_unique<FormFixture>();
        pty = std::make_unique<PtyPair>();
        QVERIFY(pty->ok());
        QVERIFY(f->xdg.mapPort(1, pty->slavePath()));
        f->form->MSComm1->setCommPort(1);
        QCOMPARE(f->form->MSComm1->setPortOpen(true), 0);
        f->form->live_skip = 9;
    }
    void cleanup() {
        f.reset();
        pty.reset();
    }

    void startupChartIsEmptyAndSized() {
        // Catches a chart of the wrong size or background, or a curve drawn from no-sample entries.
        const QImage image = f->form->Picture1->image();
        QCOMPARE(image.size(), QSize(729, 361));
        QCOMPARE(image.pixelColor(700, 20), QColor(64, 64, 64));
        QCOMPARE(curvePixels(image), 0);
        const QImage snapshot(paths::snapshot_file());
        QCOMPARE(snapshot.size(), QSize(729, 361));
    }

    void twoAdjacentSamplesDrawASegment() {
        // Catches a curve that is not redrawn per sample, or one drawn from a single valid end.
        Form1& form = *f->form;
        feed(form, 123, 65);
        QCOMPARE(curvePixels(form.Picture1->image()), 0);
        feed(form, 200, 49); // 20.0 A: a steep rise at the right-hand end
        const QImage image = form.Picture1->image();
        // Entries 399 and 400 lie at 9530 and 9552.5 twips, pixels 635 to 637.
        QVERIFY(curvePixels(image, 634, 638) > 10);
        QCOMPARE(curvePixels(image, 0, 630), 0);
    }

    void snapshotRewrittenOnEveryRedraw() {
        // Catches a snapshot written once, or left behind the chart on the screen.
        Form1& form = *f->form;
        const QString path = paths::snapshot_file();
        QVERIFY(QFile::remove(path));
        feed(form, 123, 65);
        QVERIFY(QFileInfo::exists(path));
        const QByteArray first = readAll(path);
        QVERIFY(first.startsWith("BM"));
        feed(form, 200, 49);
        const QByteArray second = readAll(path);
        QVERIFY(second.startsWith("BM"));
        QVERIFY(first != second);
        QCOMPARE(QImage::fromData(second).convertToFormat(QImage::Format_RGB32),
                 form.Picture1->image().convertToFormat(QImage::Format_RGB32));
    }

    void noRedrawWhilePausedOrClosed_data() {
        QTest::addColumn<bool>("paused");
        QTest::newRow("paused") << true;
        QTest::newRow("port closed") << false;
    }
    void noRedrawWhilePausedOrClosed() {
        // Catches redraws that run while acquisition is paused or the port is closed.
        QFETCH(bool, paused);
        Form1& form = *f->form;
        if (paused)
            form.acq_on = 0;
        else
            form.MSComm1->setPortOpen(false);
        const QString path = paths::snapshot_file();
        QVERIFY(QFile::remove(path));
        feed(form, 123, 65);
        feed(form, 200, 49);
        QCOMPARE(form.live_samples[400], 2000000.0); // the sample is still entered
        QVERIFY(!QFileInfo::exists(path));
        QCOMPARE(curvePixels(form.Picture1->image()), 0);
    }

    void unwritableSnapshotFolderIsHarmless() {
        // Catches a crash or a lost screen image when the snapshot cannot be written.
        Form1& form = *f->form;
        const QString folder = QFileInfo(paths::snapshot_file()).absolutePath();
        QVERIFY(QDir(folder).removeRecursively());
        QFile blocker(folder); // a file where the folder should be
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        feed(form, 123, 65);
        feed(form, 130, 65);
        QVERIFY(curvePixels(form.Picture1->image(), 634, 638) > 0);
        QVERIFY(QFileInfo(folder).isFile());
        QCOMPARE(form.Text29->text(), QStringLiteral("13.0mA"));
    }
};

QTEST_MAIN(TstLiveChart)
#include "tst_live_chart.moc"
