// The trend window: opened from the File menu, follow, zoom and pan by keys and wheel, readout, exports.
#include "support/form_fixture.h"
#include "support/generous_wait.h"
#include "support/recording_fixture.h"
#include "trend/trend_plot.h"
#include "trend/trend_window.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QSvgRenderer>
#include <QTest>
#include <QWheelEvent>

using namespace tessaro;
using namespace tessaro::trend;

namespace {

constexpr int kReadings = 600;

TrendWindow* trend_window() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<TrendWindow*>(w); t && t->isVisible()) return t;
    return nullptr;
}

} // namespace

class TestTrendWindow : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<test::FormFixture> f_;
    std::vector<LiveLogReading> readings_;
    QString log_;

    TrendWindow* openThroughMenu(const QString& path) {
        f_->user.open_names.enqueue(path);
        f_->form->open_recording_action->trigger();
        TrendWindow* w = trend_window();
        if (w && w->loading()) QSignalSpy(w, &TrendWindow::loaded).wait(test::kWaitMs);
        return w;
    }

private slots:
    void init() {
        f_ = std::make_unique<test::FormFixture>();
        readings_ = test::steady_readings(test::fixture_start(), kReadings, 500, [](int i) { return 100 + (i % 50) * 10; });
        log_ = QDir(f_->xdg.root()).filePath(QStringLiteral("bench.csv"));
        QVERIFY(test::write_bytes(log_, test::live_log_bytes(readings_)));
    }
    void cleanup() {
        delete trend_window();
        f_.reset();
    }

    void opensFromTheFileMenuBesideTheMainWindow() {
        // Catches the menu item missing its window, or a trend window that takes over the main window.
        TrendWindow* w = openThroughMenu(log_);
        QVERIFY(w);
        QCOMPARE(f_->user.opens.size(), 1);
        QVERIFY(f_->form->isVisible());
        QVERIFY(w->windowTitle().startsWith(QStringLiteral("bench.csv")));
        QCOMPARE(w->file().recording().size(), size_t(kReadings));
        QVERIFY2(w->statistics()->text().contains(QStringLiteral("In view: %1 readings").arg(kReadings)),
                 qPrintable(w->statistics()->text()));
        QVERIFY2(w->statistics()->text().contains(QLatin1String("min 10.00 mA")), qPrintable(w->statistics()->text()));
        QVERIFY(w->statistics()->text().contains(QLatin1String("max 59.00 mA")));
        QVERIFY(w->statistics()->text().contains(QLatin1String("no alarm threshold locked")));
        QVERIFY(f_->user.messages.isEmpty());
    }

    void anotherProgramsFileIsRefused() {
        // Catches a foreign file opened as empty, or refused without the line and the reason.
        const QString other = QDir(f_->xdg.root()).filePath(QStringLiteral("other.csv"));
        QVERIFY(test::write_bytes(other, "Date;Value\n1;2\n"));
        QVERIFY(!openThroughMenu(other));
        QCOMPARE(f_->user.messages.size(), 1);
        QVERIFY(f_->user.messages[0].text.contains(QLatin1String("Line 1 is \"Date;Value\"")));
        QVERIFY(f_->form->isVisible());
    }

    void followsAGrowingRecording() {
        // Catches a window that never shows new readings, or pulls the view back after the operator zoomed away.
        TrendWindow* w = openThroughMenu(log_);
        QVERIFY(w);
        TrendPlot* plot = w->plot();
        auto more = test::steady_readings(readings_.back().time.addMSecs(500), 100, 500, [](int) { return 700; });
        QVERIFY(test::write_bytes(log_, test::live_log_bytes(more, false), QIODevice::Append));
        const int64_t newest = more.back().time.toMSecsSinceEpoch();
        // The window's own follow timer picks it up.
        QTRY_VERIFY_WITH_TIMEOUT(w->file().recording().size() == size_t(kReadings + 100), test::kWaitMs);
        QVERIFY(plot->span().t1 >= newest);
        QVERIFY(w->statistics()->text().contains(QStringLiteral("%1 readings").arg(kReadings + 100)));
        // Zoomed in on the newest readings: the right edge keeps to the newest one.
        plot->zoomBy(0.25);
        plot->showNewest();
        const int64_t len = plot->span().t1 - plot->span().t0;
        auto later = test::steady_readings(more.back().time.addMSecs(500), 40, 500, [](int) { return 300; });
        QVERIFY(test::write_bytes(log_, test::live_log_bytes(later, false), QIODevice::Append));
        w->look_for_readings();
        QVERIFY(plot->span().t1 >= later.back().time.toMSecsSinceEpoch());
        QCOMPARE(plot->span().t1 - plot->span().t0, len);
        // Panned back into the past: the view stays there.
        plot->panBy(-2.0);
        const Span away = plot->span();
        QCOMPARE(plot->follow(), TrendPlot::Follow::Off);
        auto last = test::steady_readings(later.back().time.addMSecs(500), 10, 500, [](int) { return 300; });
        QVERIFY(test::write_bytes(log_, test::live_log_bytes(last, false), QIODevice::Append));
        w->look_for_readings();
        QCOMPARE(w->file().recording().size(), size_t(kReadings + 150));
        QCOMPARE(plot->span(), away);
    }

    void oddLinesAreCountedAndAnEmptyLogFillsIn() {
        // Catches skipped lines kept from the operator, or a just-started log that never shows its readings.
        QByteArray bytes = test::live_log_bytes({});
        QVERIFY(test::write_bytes(log_, bytes));
        TrendWindow* w = openThroughMenu(log_);
        QVERIFY(w);
        QCOMPARE(w->file().recording().size(), size_t(0));
        QVERIFY(w->notes()->isHidden());
        QVERIFY(test::write_bytes(log_, "not a reading\r\n" + test::live_log_bytes(readings_, false), QIODevice::Append));
        w->look_for_readings();
        QCOMPARE(w->file().recording().size(), size_t(kReadings));
        QCOMPARE(w->plot()->follow(), TrendPlot::Follow::All);
        QVERIFY(w->plot()->span().t0 <= readings_.front().time.toMSecsSinceEpoch());
        QVERIFY(w->plot()->span().t1 >= readings_.back().time.toMSecsSinceEpoch());
        QVERIFY(!w->notes()->isHidden());
        QVERIFY2(w->notes()->text().contains(QLatin1String("Line 2 is no reading")), qPrintable(w->notes()->text()));
    }

    void keyboardAndWheelZoomAndPan() {
        // Catches keys that do nothing, a wheel zoom that moves the instant under the cursor, Home not fitting all.
        TrendWindow* w = openThroughMenu(log_);
        QVERIFY(w);
        TrendPlot* plot = w->plot();
        w->resize(1000, 600);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const Span all = plot->span();
        QTest::keyClick(plot, Qt::Key_Plus);
        const Span in = plot->span();
        QVERIFY(in.t1 - in.t0 < all.t1 - all.t0);
        QTest::keyClick(plot, Qt::Key_Left);
        QVERIFY(plot->span().t0 < in.t0);
        QCOMPARE(plot->span().t1 - plot->span().t0, in.t1 - in.t0);
        QTest::keyClick(plot, Qt::Key_Minus);
        QVERIFY(plot->span().t1 - plot->span().t0 > in.t1 - in.t0);
        QTest::keyClick(plot, Qt::Key_Home);
        QCOMPARE(plot->span(), all);
        // The wheel: the time under the cursor stays under it.
        plot->repaint();
        const QPointF at(plot->picture().plot.left() + plot->picture().plot.width() * 0.3, plot->height() / 2.0);
        const int64_t before = plot->picture().t_of(at.x());
        QWheelEvent wheel(at, plot->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(plot, &wheel);
        plot->repaint();
        QVERIFY(plot->span().t1 - plot->span().t0 < all.t1 - all.t0);
        QVERIFY(std::abs(plot->picture().t_of(at.x()) - before) <= (all.t1 - all.t0) / 1000);
        // Dragging pans; Shift+drag zooms to the dragged span.
        const Span s0 = plot->span();
        const QPoint p1(int(at.x()), int(at.y())), p2 = p1 + QPoint(100, 0);
        QTest::mousePress(plot, Qt::LeftButton, Qt::NoModifier, p1);
        QTest::mouseMove(plot, p2);
        QTest::mouseRelease(plot, Qt::LeftButton, Qt::NoModifier, p2);
        QVERIFY(plot->span().t0 < s0.t0);
        const int64_t a = plot->picture().t_of(p1.x()), b = plot->picture().t_of(p2.x());
        QTest::mousePress(plot, Qt::LeftButton, Qt::ShiftModifier, p1);
        QTest::mouseMove(plot, p2);
        QTest::mouseRelease(plot, Qt::LeftButton, Qt::ShiftModifier, p2);
        QVERIFY(std::abs(plot->span().t0 - a) <= 2 && std::abs(plot->span().t1 - b) <= 2);
    }

    void readoutNamesTheNearestReading() {
        // Catches a readout that shows another reading than the one under the cursor.
        TrendWindow* w = openThroughMenu(log_);
        QVERIFY(w);
        TrendPlot* plot = w->plot();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        plot->setZone(QTimeZone("Europe/Berlin"));
        const int64_t t = readings_[300].time.toMSecsSinceEpoch();
        plot->setSpan({t - 5000, t + 5000});
        plot->repaint();
        const QPointF at(plot->picture().x_of(t) + 1, plot->height() / 2.0);
        QMouseEvent move(QEvent::MouseMove, at, plot->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(plot, &move);
        QVERIFY2(plot->readout().startsWith(QLatin1String("2026-12-10 12:02:30.000")), qPrintable(plot->readout()));
        QVERIFY(plot->readout().contains(QLatin1String("10.00 mA")));
        QCOMPARE(w->readout()->text(), plot->readout());
    }

    void exportsWriteWholeFiles_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("png") << QStringLiteral("view.png");
        QTest::newRow("svg") << QStringLiteral("view.svg");
        QTest::newRow("csv") << QStringLiteral("range.csv");
    }
    void exportsWriteWholeFiles() {
        // Catches an export that writes nothing, a broken picture, or a CSV of other readings than those in view.
        QFETCH(QString, name);
        TrendWindow* w = openThroughMenu(log_);
        QVERIFY(w);
        const int64_t t0 = readings_[100].time.toMSecsSinceEpoch(), t1 = readings_[199].time.toMSecsSinceEpoch();
        w->plot()->setSpan({t0, t1});
        const QString out = QDir(f_->xdg.root()).filePath(name);
        f_->user.save_names.enqueue(out);
        if (name.endsWith(QLatin1String(".csv")))
            w->export_range_csv();
        else
            w->export_view();
        QVERIFY2(f_->user.messages.isEmpty(), qPrintable(f_->user.messages.value(0).text));
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        if (name.endsWith(QLatin1String(".csv"))) {
            QByteArray expected = live_log_header();
            for (int i = 100; i < 200; ++i) expected += live_log_line(readings_[size_t(i)]);
            QCOMPARE(bytes, expected);
        } else if (name.endsWith(QLatin1String(".png"))) {
            QImage img;
            QVERIFY(img.loadFromData(bytes, "PNG"));
            QCOMPARE(img.size(), w->plot()->size());
        } else {
            QVERIFY(QSvgRenderer(bytes).isValid());
        }
        // A name the picture cannot take is refused with a message, nothing written.
        if (!name.endsWith(QLatin1String(".csv"))) {
            f_->user.save_names.enqueue(QDir(f_->xdg.root()).filePath(QStringLiteral("view.jpg")));
            w->export_view();
            QCOMPARE(f_->user.messages.size(), 1);
            QVERIFY(!QFile::exists(QDir(f_->xdg.root()).filePath(QStringLiteral("view.jpg"))));
        }
    }

    void exportIntoAMissingFolderTellsWhy() {
        // Catches a failed export reported as success.
        TrendWindow* w = openThroughMenu(log_);
        QVERIFY(w);
        const QString folder = QDir(f_->xdg.root()).filePath(QStringLiteral("gone"));
        f_->user.save_names.enqueue(folder + QStringLiteral("/range.csv"));
        w->export_range_csv();
        QCOMPARE(f_->user.messages.size(), 1);
        QVERIFY(f_->user.messages[0].text.contains(QLatin1String("was not written")));
        QVERIFY(!QFileInfo::exists(folder));
    }
};

QTEST_MAIN(TestTrendWindow)
#include "tst_trend_window.moc"
