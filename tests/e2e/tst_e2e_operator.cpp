// End-to-end: the real program in its own Xvfb, the simulator on a pseudo-terminal, xdotool as the operator.
#include "e2e_session.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

namespace {

using namespace std::chrono_literals;

constexpr int kRecords = 300;
constexpr int kClientWidth = 1016;
constexpr int kClientHeight = 692;
const QRgb kLiveCurve = qRgb(0, 192, 0);
// The meter's link appears this long after the simulator starts, after the program has started.
constexpr std::chrono::seconds kLatePlug{5};

using e2e::Session;
using e2e::Twips;
constexpr Twips kHistory{12960, 2040, 1095, 495};  // Command9
constexpr Twips kRead{12960, 3120, 1215, 495};     // Command5
constexpr Twips kSave{12960, 3720, 1215, 495};     // Command1
constexpr Twips kEmpty{12960, 4320, 1215, 495};    // Command2
constexpr Twips kAscend{480, 8880, 975, 495};      // Command12
constexpr Twips kRestore{3240, 8880, 975, 495};    // Command7

// The count of held record i: a permutation of 100..399, so sorting changes the order.
int record_count(int i) { return (i * 37) % kRecords + 100; }

// The report line text of record i (range 0x41: one decimal, mA).
QString value_text(int i) {
    const int c = record_count(i);
    return QStringLiteral("%1.%2mA").arg(c / 10).arg(c % 10);
}

struct ReportRecord {
    int number = 0;
    QString value;
    bool operator==(const ReportRecord&) const = default;
};

// Record lines of a saved report: " No0001 12.3mA   <date>  <time>".
QList<ReportRecord> report_records(const QByteArray& bytes) {
    static const QRegularExpression line(QStringLiteral("^ No(\\d{4}) +(\\S+)"));
    QList<ReportRecord> out;
    for (const QByteArray& raw : bytes.split('\n')) {
        const auto m = line.match(QString::fromUtf8(raw));
        if (m.hasMatch()) out.append({m.captured(1).toInt(), m.captured(2)});
    }
    return out;
}

} // namespace

class TestE2eOperator : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void operatorSession();

private:
    bool saveReport(Session& s, const QString& file, QDeadlineTimer deadline);
};

void TestE2eOperator::initTestCase() {
    if (const QString tool = e2e::missingTool(); !tool.isEmpty()) QSKIP(qPrintable(e2e::missingToolText(tool)));
    QVERIFY2(QFileInfo::exists(QStringLiteral(TESSARO_EXE)), TESSARO_EXE);
    QVERIFY2(QFileInfo::exists(QStringLiteral(METER_SIM_EXE)), METER_SIM_EXE);
}

// Clicks Save until the dialog comes up (a sort still running ignores the click), types the name, waits for the file.
bool TestE2eOperator::saveReport(Session& s, const QString& file, QDeadlineTimer deadline) {
    QString dialog;
    while (dialog.isEmpty() && !deadline.hasExpired()) {
        s.click(kSave);
        dialog = s.waitWindow(QStringLiteral("^Save"), QDeadlineTimer(3s));
    }
    if (dialog.isEmpty()) return false;
    s.saved.append(file);
    s.focus(dialog);
    s.keys({QStringLiteral("ctrl+a")});
    s.type(file);
    s.keys({QStringLiteral("Return")});
    while (!deadline.hasExpired()) {
        QFileInfo info(file);
        if (info.exists() && info.size() > 0 && s.waitWindow(QStringLiteral("^Save"), QDeadlineTimer(0)).isEmpty())
            return true;
        QTest::qWait(200);
    }
    return false;
}

// Operator session: splash, live curve, history download, save, sort, restore, empty, port file, Exit.
// Catches: a program that cannot be driven end to end, or whose saved report differs from the meter's memory.
void TestE2eOperator::operatorSession() {
    Session s;
    QVERIFY(s.tmp.isValid());

    QVERIFY(s.startDisplay(QStringLiteral("1280x1024x24")));
    QVERIFY(s.makeHome());

    // The port file selects port 1 at start; port 1 is the simulator.
    QVERIFY(QDir().mkpath(s.path(QStringLiteral("config/tessaro/ports"))));
    const QString port_file = s.path(QStringLiteral("config/tessaro/myfile.txt"));
    {
        QFile f(port_file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("\x01\x00", 2));
    }

    // The meter's memory: known records, so the report's lines are known.
    const QString records_file = s.path(QStringLiteral("records.txt"));
    {
        QFile f(records_file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Text));
        for (int i = 0; i < kRecords; ++i) {
            const int c = record_count(i);
            const char bytes[8] = {char(c >> 8), char(c & 0xFF), char(0x41), char(24), char(1 + i / 280),
                                   char(1 + (i / 24) % 28), char(i % 24), char(i % 60)};
            const QByteArray rec(bytes, 8);
            f.write(rec.toHex() + '\n');
        }
    }
    s.sim.setProcessEnvironment(s.env);
    s.sim.start(QStringLiteral(METER_SIM_EXE),
                {QStringLiteral("--link"), s.path(QStringLiteral("config/tessaro/ports/com1")), QStringLiteral("--records-file"),
                 records_file, QStringLiteral("--live-wave"), QStringLiteral("sine"), QStringLiteral("--log"),
                 // The meter is plugged in late: port 1 has no device when the program starts.
                 QStringLiteral("--appear-at"), QString::number(kLatePlug.count())});
    QVERIFY(s.sim.waitForStarted(tessaro::test::kWaitMs));
    QVERIFY2(s.sim.waitForReadyRead(tessaro::test::kWaitMs), "the simulator did not report its device");

    QProcessEnvironment app_env = s.env;
    app_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    s.app.setProcessEnvironment(app_env);
    QDir().mkpath(QStringLiteral(E2E_ARTIFACTS));
    s.app.setStandardErrorFile(QStringLiteral(E2E_ARTIFACTS "/tessaro.stderr.txt"));
    s.app.start(QStringLiteral(TESSARO_EXE), {});
    QVERIFY(s.app.waitForStarted(tessaro::test::kWaitMs));

    // Splash: a click on its picture opens the main window.
    const QString splash = s.waitWindow(QStringLiteral("^Form2$"), QDeadlineTimer(60s));
    QVERIFY2(!splash.isEmpty(), "no splash window");
    const QRect sg = s.geometry(splash);
    s.clickAt(sg.topLeft() + QPoint(100, 100));
    const QString main_window = s.waitWindow(QStringLiteral("^TessaroV1.0$"), QDeadlineTimer(60s));
    QVERIFY2(!main_window.isEmpty(), "no main window after the splash click");
    QTRY_VERIFY_WITH_TIMEOUT(s.waitWindow(QStringLiteral("^Form2$"), QDeadlineTimer(0)).isEmpty(), tessaro::test::kWaitMs);
    const QRect mg = s.geometry(main_window);
    QCOMPARE(mg.width(), kClientWidth);
    QVERIFY2(mg.height() > kClientHeight, "no menu bar above the client area");
    s.client = QPoint(mg.x(), mg.y() + mg.height() - kClientHeight);

    // Live readings: the snapshot shows the live curve colour.
    const QString snapshot = s.path(QStringLiteral("runtime/tessaro/555.bmp"));
    bool curve = false;
    for (QDeadlineTimer d(120s); !curve && !d.hasExpired(); QTest::qWait(300)) {
        const QImage img(snapshot);
        for (int y = 0; !curve && y < img.height(); ++y)
            for (int x = 0; !curve && x < img.width(); ++x) curve = img.pixel(x, y) == kLiveCurve;
    }
    s.screenshot(QStringLiteral("live.png"));
    QVERIFY2(curve, "the snapshot never showed the live curve");
    // The program found the meter that appeared after its start.
    s.pumpSimLog();
    const qsizetype appeared = s.sim_log.indexOf("meter-sim: device appeared at ");
    QVERIFY2(appeared >= 0, "the simulator never made its link");
    QVERIFY2(s.sim_log.indexOf("\nmeter-sim: 6000 (", appeared) >= 0, "no port check after the late plug");

    // History: Read downloads every record; the download is over when port checks follow the last pair.
    s.click(kHistory); // the program takes the clicks in their order: Read comes after the view switch
    s.pumpSimLog();
    const qsizetype log_start = s.sim_log.size();
    s.click(kRead);
    const QByteArray last_pair = QByteArray::number(257 + 2 * ((kRecords - 1) / 2)) + " (";
    bool downloaded = false;
    for (QDeadlineTimer d(240s); !downloaded && !d.hasExpired(); QTest::qWait(200)) {
        s.pumpSimLog();
        const qsizetype at = s.sim_log.indexOf("\nmeter-sim: " + last_pair, log_start);
        downloaded = at >= 0 && s.sim_log.indexOf("\nmeter-sim: 6000 (", at) >= 0;
    }
    s.screenshot(QStringLiteral("history.png"));
    QVERIFY2(downloaded, "the download did not reach the last record pair");

    QList<ReportRecord> expected;
    for (int i = 0; i < kRecords; ++i) expected.append({i + 1, value_text(i)});

    const QString report1 = s.path(QStringLiteral("out/read.xls"));
    QVERIFY2(saveReport(s, report1, QDeadlineTimer(60s)), "saving the report failed");
    QFile r1(report1);
    QVERIFY(r1.open(QIODevice::ReadOnly));
    const QByteArray read_bytes = r1.readAll();
    QCOMPARE(report_records(read_bytes), expected);

    // Ascend: the same records, largest current first.
    s.click(kAscend);
    const QString report2 = s.path(QStringLiteral("out/sorted.xls"));
    QVERIFY2(saveReport(s, report2, QDeadlineTimer(60s)), "saving the sorted report failed");
    QFile r2(report2);
    QVERIFY(r2.open(QIODevice::ReadOnly));
    QList<ReportRecord> sorted = report_records(r2.readAll());
    QCOMPARE(sorted.size(), kRecords);
    for (int i = 1; i < sorted.size(); ++i)
        QVERIFY2(sorted[i - 1].value.chopped(2).toDouble() >= sorted[i].value.chopped(2).toDouble(),
                 qPrintable(sorted[i].value));
    std::sort(sorted.begin(), sorted.end(), [](auto& a, auto& b) { return a.number < b.number; });
    QCOMPARE(sorted, expected);

    // Restore: download order again, byte for byte.
    s.click(kRestore);
    const QString report3 = s.path(QStringLiteral("out/restored.xls"));
    QVERIFY2(saveReport(s, report3, QDeadlineTimer(60s)), "saving the restored report failed");
    QFile r3(report3);
    QVERIFY(r3.open(QIODevice::ReadOnly));
    QCOMPARE(r3.readAll(), read_bytes);

    // Empty: answer Yes to "Clearing？"; the table has no records left.
    s.click(kEmpty);
    const QString question = s.waitWindow(QStringLiteral("^System prompt$"), QDeadlineTimer(60s));
    QVERIFY2(!question.isEmpty(), "no question before emptying");
    s.focus(question);
    s.keys({QStringLiteral("alt+y")});
    QTRY_VERIFY_WITH_TIMEOUT(s.waitWindow(QStringLiteral("^System prompt$"), QDeadlineTimer(0)).isEmpty(), tessaro::test::kWaitMs);
    const QString report4 = s.path(QStringLiteral("out/empty.xls"));
    QVERIFY2(saveReport(s, report4, QDeadlineTimer(60s)), "saving the empty report failed");
    QFile r4(report4);
    QVERIFY(r4.open(QIODevice::ReadOnly));
    QVERIFY(report_records(r4.readAll()).isEmpty());
    s.screenshot(QStringLiteral("emptied.png"));

    // The port file holds the chosen port.
    QFile pf(port_file);
    QVERIFY(pf.open(QIODevice::ReadOnly));
    QCOMPARE(pf.readAll().left(2), QByteArray("\x01\x00", 2));

    // File(F) -> Exit: the menu's last item.
    const int windows = s.programWindows();
    s.clickAt(QPoint(mg.x() + 25, mg.y() + (mg.height() - kClientHeight) / 2));
    QVERIFY2(s.waitMoreWindows(windows, QDeadlineTimer(60s)), "File(F) opened no menu");
    s.keys({QStringLiteral("Up"), QStringLiteral("Return")});
    QVERIFY2(s.app.waitForFinished(tessaro::test::kWaitMs), "the program did not end by File(F) -> Exit");
    QCOMPARE(s.app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(s.app.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestE2eOperator)
#include "tst_e2e_operator.moc"
