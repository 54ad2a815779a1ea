// A long recording: 200,000 live frames through the frame handler into the live log, with flat memory.
#include "app/form1.h"
#include "link/live_log.h"
#include "support/form_fixture.h"
#include "support/heap_use.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kFrames = 200000;
constexpr size_t kHeapTolerance = 256 * 1024;
constexpr uint8_t kRanges[] = {0x30, 0x31, 0x32, 0x33, 0x40, 0x41, 0x42};

} // namespace

class TstLongRecording : public QObject {
    Q_OBJECT

private slots:
    // Catches a log or handler that keeps something per reading (memory grows), drops or cuts lines over a day.
    void twoHundredThousandFrames() {
        tessaro::test::FormFixture f;
        tessaro::Form1& form = *f.form;
        form.live_skip = 9;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("day.csv"));
        f.user.save_names.enqueue(path);
        form.start_recording();
        QVERIFY(form.live_log.is_open());

        size_t heap_half = 0;
        for (int i = 0; i < kFrames; ++i) {
            const int count = i % 101 == 0 ? 4000 : i % 3999;
            const uint8_t range = kRanges[static_cast<size_t>(i) % std::size(kRanges)];
            const char bytes[3] = {static_cast<char>((count >> 8) | (i % 977 == 0 ? 0x80 : 0)),
                                   static_cast<char>(count & 0xFF), static_cast<char>(range)};
            form.rx_bytes = QByteArray(bytes, 3);
            form.live_frame();
            if (i % 600 == 0) form.sync_live_log(); // the supervisor's ticks
            if (i == kFrames / 2 - 1) heap_half = tessaro::test::heap_in_use();
        }
        const size_t heap_end = tessaro::test::heap_in_use();
        QVERIFY(form.live_log.is_open());
        QCOMPARE(form.live_log.readings(), kFrames);
        form.stop_recording();
        QVERIFY(f.user.messages.isEmpty());

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readLine(), tessaro::live_log_header());
        const QRegularExpression shape(QStringLiteral("^[0-9T:.+-]{29},[0-9.]*,[^,]*,[01],[01],not locked\r\n$"));
        int lines = 0;
        while (!file.atEnd()) {
            const QByteArray line = file.readLine();
            if (!shape.match(QString::fromLatin1(line)).hasMatch()) QFAIL(line.constData());
            ++lines;
        }
        QCOMPARE(lines, kFrames);
        QVERIFY2(heap_end <= heap_half + kHeapTolerance,
                 qPrintable(QStringLiteral("heap grew by %1 bytes over the second half").arg(qint64(heap_end) - qint64(heap_half))));
        qInfo("frames %d, heap after half %zu bytes, at the end %zu bytes, log %lld bytes", kFrames, heap_half, heap_end,
              static_cast<long long>(file.size()));
    }
};

QTEST_MAIN(TstLongRecording)
#include "tst_long_recording.moc"
