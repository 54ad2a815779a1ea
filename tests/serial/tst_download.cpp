// The history download against the meter simulator: counts, record frames, the end of a download,
// resuming after a silence, pacing, sorting, refusals and the progress display.
#include "link_fixture.h"
#include "support/generous_wait.h"

#include "records/record_store.h"

#include <QPushButton>

using tessaro::Form1;
using tessaro::MeterRequest;
using tessaro::MeterSim;
using tessaro::MeterSimOptions;
using tessaro::RequestKind;
using tessaro::test::LinkFixture;
using tessaro::test::slotHolds;

namespace {

MeterSimOptions meterHolding(int held, int count = -1) {
    MeterSimOptions o;
    o.records = tessaro::generateRecords(held, 7);
    if (count >= 0) o.reportedCount = count;
    o.pacing = false;
    return o;
}

QList<quint16> pairsAsked(const MeterSim& sim) {
    QList<quint16> pairs;
    for (quint16 a : sim.addresses())
        if (MeterSim::kindOf(a) == RequestKind::RecordPair) pairs << a;
    return pairs;
}

QList<quint16> pairRange(int pairs) {
    QList<quint16> out;
    for (int k = 0; k < pairs; ++k) out << static_cast<quint16>(257 + 2 * k);
    return out;
}

} // namespace

class TstDownload : public QObject {
    Q_OBJECT

    std::unique_ptr<LinkFixture> t;
    Form1& form() { return t->form(); }

    // Every slot below `stored` holds the meter's record, and nothing lies beyond it.
    void checkStore(int stored) {
        QCOMPARE(form().last_occupied(), stored - 1);
        for (int s = 0; s < stored; ++s)
            QVERIFY2(slotHolds(form(), s, t->sim->records().at(s)), qPrintable(QString("slot %1").arg(s)));
    }
    void checkEnded(uint8_t session) {
        QCOMPARE(form().link_state, int16_t{2});
        QCOMPARE(form().dl_session, session);
        QVERIFY(!form().dl_unfinished);
        for (QPushButton* b : {form().Command5, form().Command7, form().Command12, form().Command13,
                               form().Command15, form().Command16})
            QVERIFY2(b->isEnabled(), qPrintable(b->objectName()));
        QVERIFY(form().Text42->text().isEmpty());
        QVERIFY(form().Text33->isHidden());
        QVERIFY(form().Text34->isHidden());
    }
    bool startRead(MeterSimOptions o) {
        if (!t->startSim(std::move(o)) || !t->connect()) return false;
        t->historyView();
        form().read_click();
        return form().link_state == 1;
    }

private slots:
    void init() { t = std::make_unique<LinkFixture>(); }
    void cleanup() { t.reset(); }

    void download_data() {
        QTest::addColumn<int>("held");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("countOver");
        QTest::addColumn<bool>("paced");
        QTest::addColumn<bool>("split");
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("session");
        QTest::addColumn<int>("pairs");
        QTest::newRow("count 0, nothing held") << 0 << 0 << 0 << false << false << 0 << 0 << 1;
        QTest::newRow("count 0, records held") << 2 << 0 << 0 << false << false << 1 << 1 << 1;
        QTest::newRow("count 3, fourth slot held") << 4 << 3 << 0 << false << false << 4 << 1 << 2;
        QTest::newRow("count 3, fourth slot empty") << 3 << 3 << 0 << false << false << 3 << 0 << 2;
        QTest::newRow("count 4: the late second frame") << 6 << 4 << 0 << false << false << 5 << 1 << 3;
        QTest::newRow("4601 asked again, then 3") << 4 << 3 << 1 << false << false << 4 << 1 << 2;
        QTest::newRow("4600, both frames in one chunk") << 4600 << 4600 << 0 << false << false << 4600 << 0 << 2301;
        QTest::newRow("4600 of 4601 held") << 4601 << 4600 << 0 << false << false << 4601 << 1 << 2301;
        QTest::newRow("paced at 4800 baud") << 40 << -1 << 0 << true << false << 40 << 0 << 21;
        QTest::newRow("every byte its own write") << 9 << -1 << 0 << false << true << 9 << 0 << 5;
    }
    void download() {
        // Catches lost or shifted records, a wrong end of the download, or a second frame dropped from a chunk.
        QFETCH(int, held);
        QFETCH(int, count);
        QFETCH(int, countOver);
        QFETCH(bool, paced);
        QFETCH(bool, split);
        QFETCH(int, stored);
        QFETCH(int, session);
        QFETCH(int, pairs);
        MeterSimOptions o = meterHolding(held, count);
        o.countOver = countOver;
        o.pacing = paced;
        o.split = split;
        o.splitGap = std::chrono::milliseconds(1);
        QVERIFY(startRead(o));
        // Link ticks run: a refused count is asked for again on the next one.
        QVERIFY(t->tickUntil([&] { return form().link_state == 2; }, 60000));
        checkStore(stored);
        checkEnded(static_cast<uint8_t>(session));
        QCOMPARE(pairsAsked(*t->sim), pairRange(pairs));
        QCOMPARE(t->sim->served(RequestKind::Count), 1 + countOver);
        const bool none = count == 0;
        QCOMPARE(t->f.user.messages.size(), none ? 1 : 0);
        if (none) {
            QCOMPARE(t->f.user.messages[0].text, QString("No Data"));
            QCOMPARE(t->f.user.messages[0].title, QString("System prompt"));
        }
        // The link goes back to port checks, and a finished download is not resumed.
        QVERIFY(t->tickUntil([&] { return t->sim->served(RequestKind::PortCheck) >= 3; }));
        QCOMPARE(form().link_state, int16_t{2});
        QCOMPARE(pairsAsked(*t->sim).size(), pairs);
    }

    void oddRecordStoredAfterRetries_data() {
        QTest::addColumn<int>("odd");
        QTest::addColumn<bool>("paced");
        QTest::newRow("first of its pair") << 4 << false;
        QTest::newRow("second of its pair") << 5 << false;
        QTest::newRow("second of its pair, 4800 baud") << 5 << true;
        QTest::newRow("last record") << 8 << false;
    }
    void oddRecordStoredAfterRetries() {
        // Catches a download that stalls on, drops or repeats a record the meter really holds with an
        // impossible date (month 13), or that shifts the records after it.
        QFETCH(int, odd);
        QFETCH(bool, paced);
        MeterSimOptions o = meterHolding(9);
        o.records[odd][4] = 13;
        o.pacing = paced;
        QVERIFY(startRead(o));
        QVERIFY(t->downloadEnded());
        checkStore(9);
        QCOMPARE(form().rec_time[5 * static_cast<size_t>(odd) + 1], int16_t{13});
        checkEnded(0);
        QList<quint16> pairs = pairRange(5);
        const quint16 odd_pair = static_cast<quint16>(257 + odd / 2 * 2);
        pairs.insert(pairs.indexOf(odd_pair), 2, odd_pair); // asked twice more, then taken as it is
        QCOMPARE(pairsAsked(*t->sim), pairs);
    }

    void noDataBoxKeepsTheExchange() {
        // Catches the watchdog giving the download up while the operator reads "No Data", or on
        // the first tick after the box closes, before a slow meter could answer the request that
        // follows it.
        int given_up = 0;
        t->f.user.during_message = [&](const tessaro::MessageRequest&) {
            for (int i = 0; i < 90 || form().link_ticks != 40; ++i) form().Timer1_Timer();
            if (form().link_state != 1) ++given_up;
        };
        MeterSimOptions o = meterHolding(2, 0);
        o.latencyMin = o.latencyMax = std::chrono::milliseconds(300);
        QVERIFY(startRead(o));
        QVERIFY(t->tickUntil([&] { return form().link_state == 2; }, tessaro::test::kWaitMs));
        QCOMPARE(given_up, 0);
        QCOMPARE(t->f.user.messages.size(), 1);
        QCOMPARE(pairsAsked(*t->sim), pairRange(1));
        checkStore(1);
        checkEnded(1);
    }

    void resumeAfterSilence_data() {
        QTest::addColumn<int>("held");
        QTest::addColumn<int>("pair");
        QTest::addColumn<bool>("paced");
        for (int n : {1, 3, 4, 5})
            for (int k = 0; k <= n / 2; ++k)
                QTest::addRow("%d records, silent at pair %d", n, k) << n << k << false;
        QTest::newRow("100 records, silent at pair 20") << 100 << 20 << false;
        QTest::newRow("paced, 7 records, silent at pair 2") << 7 << 2 << true;
    }
    void resumeAfterSilence() {
        // Catches a download never resumed (the last pair above all), resumed at the wrong pair, or stored twice.
        QFETCH(int, held);
        QFETCH(int, pair);
        QFETCH(bool, paced);
        MeterSimOptions o = meterHolding(held);
        o.pacing = paced;
        o.latencyMin = o.latencyMax = std::chrono::milliseconds(paced ? 15 : 0);
        const auto silent_pair = static_cast<quint16>(257 + 2 * pair);
        // Silent at that pair's first request, however many port checks went before the Read.
        o.silentOn = silent_pair;
        o.silentFor = std::chrono::milliseconds(1);
        QVERIFY(startRead(o));
        QTRY_VERIFY_WITH_TIMEOUT(t->sim->addresses().contains(silent_pair), tessaro::test::kWaitMs);
        QCOMPARE(form().link_state, int16_t{1});
        QVERIFY(t->ticksUntilConnectionFail() > 0);
        QCOMPARE(form().link_state, int16_t{2});
        QVERIFY(form().dl_unfinished);
        QVERIFY(t->tickUntil([&] { return !form().dl_unfinished && form().link_state == 2; }));
        checkStore(held);
        checkEnded(0);
        QCOMPARE(t->sim->addresses().count(silent_pair), 2);
        QCOMPARE(pairsAsked(*t->sim).size(), held / 2 + 2);
    }

    void oneExchangeOnTheWire_data() {
        QTest::addColumn<bool>("read");
        QTest::newRow("Read while a port check is answered") << true;
        QTest::newRow("live poll while a port check is answered") << false;
    }
    void oneExchangeOnTheWire() {
        // Catches a request sent while the port check's answer is on its way, which then passes for its reply.
        QFETCH(bool, read);
        MeterSimOptions o = meterHolding(30);
        o.pacing = true;
        o.latencyMin = o.latencyMax = std::chrono::milliseconds(15);
        QVERIFY(t->startSim(o));
        QVERIFY(t->connect());
        if (read) t->historyView();
        qsizetype written = 0;
        qsizetype written_at_request = -1;
        const RequestKind kind = read ? RequestKind::Count : RequestKind::Live;
        QObject::connect(t->sim.get(), &MeterSim::bytesWritten, this,
                         [&](const QByteArray& b, qint64) { written += b.size(); });
        QObject::connect(t->sim.get(), &MeterSim::requestHandled, this, [&](const MeterRequest& r) {
            if (r.kind == kind && written_at_request < 0) written_at_request = written;
        });
        form().Timer1_Timer(); // the port check goes out
        if (read) {
            form().read_click();
            QVERIFY(t->downloadEnded());
            QCOMPARE(form().meter_count, int16_t{30});
            checkStore(30);
        } else {
            form().acq_on = 1;
            form().Timer2_Timer();
            QTRY_COMPARE_WITH_TIMEOUT(form().rx_bytes.size(), 3, tessaro::test::kWaitMs);
            QCOMPARE(form().rx_bytes, QByteArray::fromHex("04d241"));
        }
        QCOMPARE(written_at_request, qsizetype{2}); // the whole answer to the check, and no more
    }

    void sortHoldsTheFrames() {
        // Catches records written into the store while a sort rearranges it, or a download lost to the wait.
        QVERIFY(startRead(meterHolding(60)));
        form().sorting = true;
        QTRY_VERIFY_WITH_TIMEOUT(form().held_for_sort, tessaro::test::kWaitMs);
        QCOMPARE(form().last_occupied(), -1);
        QVERIFY(form().MSComm1->InBufferCount() >= 8);
        QCOMPARE(t->ticksUntilConnectionFail(), -1); // frames waiting are no silence
        QCOMPARE(form().link_state, int16_t{1});
        form().sorting = false;
        form().Timer1_Timer();
        QVERIFY(t->downloadEnded());
        checkStore(60);
        checkEnded(0);
    }

    void readRefused_data() {
        QTest::addColumn<bool>("open");
        QTest::newRow("Connect Fail shown") << true;
        QTest::newRow("port closed") << false;
    }
    void readRefused() {
        // Catches a refused Read that still wipes the records on show, or a count written to a closed port.
        QFETCH(bool, open);
        QVERIFY(t->startSim(meterHolding(5)));
        QVERIFY(t->connect());
        t->historyView();
        const QByteArray record = QByteArray::fromHex("0102410c020e091e");
        for (int s = 0; s < 3; ++s) form().store_record(s, reinterpret_cast<const uint8_t*>(record.constData()));
        if (open)
            form().Text40->setText("Connect Fail");
        else
            form().MSComm1->setPortOpen(false);
        const auto asked = t->sim->addresses().size();
        form().read_click();
        QCOMPARE(t->f.user.messages.size(), 1);
        QCOMPARE(t->f.user.messages[0].text, QString("Connect Fail"));
        QCOMPARE(t->f.user.messages[0].title, QString("System prompt"));
        QVERIFY(!t->f.user.messages[0].yes_no);
        QCOMPARE(form().last_occupied(), 2);
        QVERIFY(slotHolds(form(), 2, record));
        QCOMPARE(form().link_state, int16_t{2});
        QTest::qWait(0);
        QCOMPARE(t->sim->addresses().size(), asked);
    }

    void readIgnored() {
        // Catches Read starting a download during a sort, while busy, or under another caption.
        QVERIFY(t->startSim(meterHolding(5)));
        QVERIFY(t->connect());
        t->historyView();
        form().sorting = true;
        form().read_click();
        QCOMPARE(form().link_state, int16_t{2});
        form().sorting = false;
        form().Command5->setText("Pause");
        form().read_click();
        QCOMPARE(form().link_state, int16_t{2});
        QVERIFY(t->f.user.messages.isEmpty());
    }

    void progressDisplay() {
        // Catches a wrong percentage, bar width, status line or buttons left enabled while records arrive.
        QVERIFY(t->startPty());
        QVERIFY(t->open());
        form().Text40->setText("Connect Success");
        t->historyView();
        t->pty->readAvailable();
        form().read_click();
        QCOMPARE(t->pty->readAtLeast(4), QByteArray::fromHex("00130088"));
        QCOMPARE(form().Text42->text(), QString("Reading......."));
        t->pty->write(QByteArray::fromHex("000a"));
        QCOMPARE(t->pty->readAtLeast(4), QByteArray::fromHex("00010001"));
        QCOMPARE(form().Text41->text(), QString("1/1Page   0No")); // the store emptied at the count
        QTRY_COMPARE_WITH_TIMEOUT(form().link_phase, int16_t{1}, tessaro::test::kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(form().MSComm1->RThreshold(), 8, tessaro::test::kWaitMs);
        t->pty->write(QByteArray::fromHex("0102410c020e091e"));
        QTRY_COMPARE_WITH_TIMEOUT(form().pair_half, uint8_t{1}, tessaro::test::kWaitMs);
        QCOMPARE(form().Text34->text(), QString("10% "));
        QCOMPARE(form().Text33->width(), tessaro::twips(1025));
        QCOMPARE(form().Text34->x(), form().Text33->x() + form().Text33->width());
        QVERIFY(!form().Text33->isHidden());
        QCOMPARE(form().Text41->text(), QString("1/1页   1组"));
        QCOMPARE(form().Text42->text(), QString("Reading......."));
        QVERIFY(!form().Text1->text().trimmed().isEmpty()); // the first page fills as records arrive
        for (QPushButton* b : {form().Command5, form().Command7, form().Command12, form().Command13,
                               form().Command15, form().Command16})
            QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
        // Records 17 ms apart, as at 4800 baud, show their line at once: none is held back to
        // be drawn later, just as the next frame comes in.
        while (!form().dl_line_shown.hasExpired(16)) QTest::qWait(1);
        t->pty->write(QByteArray::fromHex("8203420c020e0a00"));
        QCOMPARE(t->pty->readAtLeast(4), QByteArray::fromHex("00010003"));
        QCOMPARE(form().Text41->text(), QString("1/1页   2组"));
        QVERIFY(!form().dl_line_held);
        // The next request is already out; the pair just stored is still what the bar counts.
        QCOMPARE(form().Text34->text(), QString("10% "));
        QCOMPARE(form().rec_addr, 259);
        t->pty->write(QByteArray::fromHex("0304430c020e0a01"));
        QTRY_COMPARE_WITH_TIMEOUT(form().Text34->text(), QString("30% "), tessaro::test::kWaitMs);
        // The count line is redrawn at most once a display frame.
        QTRY_COMPARE_WITH_TIMEOUT(form().Text41->text(), QString("1/1页   3组"), tessaro::test::kWaitMs);
    }

    void faultyMeterLeavesStateSound_data() {
        QTest::addColumn<double>("ff");
        QTest::addColumn<double>("garbage");
        QTest::newRow("0xFF bytes in frames") << 0.3 << 0.0;
        QTest::newRow("garbage after replies") << 0.0 << 0.5;
    }
    void faultyMeterLeavesStateSound() {
        // Catches a crash, a hang or records beyond the store's range on bad bytes from the meter.
        QFETCH(double, ff);
        QFETCH(double, garbage);
        MeterSimOptions o = meterHolding(20);
        o.ffRate = ff;
        o.garbageRate = garbage;
        o.seed = 3;
        QVERIFY(startRead(o));
        QVERIFY(t->tickUntil([&] { return !form().dl_unfinished && form().link_state == 2; }, 60000));
        QVERIFY(form().last_occupied() <= 20);
        QVERIFY(form().Command5->isEnabled());
        QVERIFY(form().Text42->text().isEmpty());
    }
};

QTEST_MAIN(TstDownload)
#include "tst_download.moc"
