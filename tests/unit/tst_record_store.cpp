// The record store: counting records and pages, storing frames, clearing, swapping.
#include "records/record_store.h"

#include <QTest>

#include <memory>

using namespace tessaro;

class TstRecordStore : public QObject {
    Q_OBJECT

    std::unique_ptr<RecordStore> store;

    void fill(int n) {
        for (int s = 0; s < n; ++s) store->rec_range[static_cast<size_t>(s)] = 0x40;
    }

private slots:
    void init() { store = std::make_unique<RecordStore>(); }

    void countRecords_data();
    void countRecords();
    void countRecordsScansPastGaps();
    void storeRecord_data();
    void storeRecord();
    void storeRecordOutsideTheStoreIsRefused();
    void clearKeepsMarksAndNumbers();
    void swapMovesWholeRecords();
    void swapOutsideTheStoreIsHarmless();
    void lastOccupied();
    void plausibleRecord_data();
    void plausibleRecord();
};

void TstRecordStore::countRecords_data() {
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("jiGe");
    QTest::addColumn<int>("pages");
    QTest::newRow("empty") << 0 << 1 << 1;
    QTest::newRow("24") << 24 << 25 << 1;
    QTest::newRow("25") << 25 << 26 << 2;
    QTest::newRow("26") << 26 << 27 << 2;
    QTest::newRow("27") << 27 << 28 << 2;
    QTest::newRow("50") << 50 << 51 << 2;
    QTest::newRow("51") << 51 << 52 << 3;
    QTest::newRow("52") << 52 << 53 << 3;
    QTest::newRow("4601") << 4601 << 4602 << 178;
    QTest::newRow("all 8001") << 8001 << 8002 << 308;
}

void TstRecordStore::countRecords() {
    // Catches a lost offset of one in ji_ge or a page count off at the 25/26 boundaries.
    QFETCH(int, records);
    QFETCH(int, jiGe);
    QFETCH(int, pages);
    fill(records);
    store->count_records();
    QCOMPARE(store->ji_ge, jiGe);
    QCOMPARE(store->page_count, pages);
}

void TstRecordStore::countRecordsScansPastGaps() {
    // Catches a count that stops at the first empty slot or counts a range byte of 0.
    store->rec_range[0] = 0x30;
    store->rec_range[2] = 0x31;
    store->rec_value[1] = 123; // range 0: an empty slot whatever else it holds
    store->rec_mark[1] = 1;
    store->rec_range[8000] = 0x7A;
    store->count_records();
    QCOMPARE(store->ji_ge, 4);
    QCOMPARE(store->page_count, 1);
}

void TstRecordStore::storeRecord_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("mark");
    QTest::addColumn<float>("value");
    QTest::newRow("marked") << QByteArray::fromHex("8123411801050F04") << 1 << 291.0f;
    QTest::newRow("unmarked") << QByteArray::fromHex("0123411801050F04") << 0 << 291.0f;
    QTest::newRow("largest") << QByteArray::fromHex("FFFF411801050F04") << 1 << 32767.0f;
    QTest::newRow("zero") << QByteArray::fromHex("8000411801050F04") << 1 << 0.0f;
}

void TstRecordStore::storeRecord() {
    // Catches the mark bit leaking into the value, a signed byte read, or fields stored
    // into the wrong slot or order.
    QFETCH(QByteArray, frame);
    QFETCH(int, mark);
    QFETCH(float, value);
    const auto* b = reinterpret_cast<const uint8_t*>(frame.constData());
    QVERIFY(store->store_record(41, b));
    QCOMPARE(store->rec_mark[41], mark);
    QCOMPARE(store->rec_value[41], value);
    QCOMPARE(store->rec_range[41], 0x41);
    QCOMPARE(store->rec_no[41], 42.0f);
    const int16_t expected[5] = {0x18, 1, 5, 15, 4};
    for (size_t k = 0; k < 5; ++k) QCOMPARE(store->rec_time[5 * 41 + k], expected[k]);
    QCOMPARE(store->rec_range[40], 0);
    QCOMPARE(store->rec_range[42], 0);
    QCOMPARE(store->rec_time[5 * 41 + 5], 0);
}

void TstRecordStore::storeRecordOutsideTheStoreIsRefused() {
    // Catches a write past the arrays for a slot number from a misbehaving download.
    const auto frame = QByteArray::fromHex("8123411801050F04");
    const auto* b = reinterpret_cast<const uint8_t*>(frame.constData());
    QVERIFY(!store->store_record(-1, b));
    QVERIFY(!store->store_record(kSlots, b));
    QVERIFY(store->store_record(kSlots - 1, b));
    QCOMPARE(store->rec_time[5 * (kSlots - 1) + 4], 4);
    store->count_records();
    QCOMPARE(store->ji_ge, 2);
}

void TstRecordStore::clearKeepsMarksAndNumbers() {
    // Catches a clear that leaves records counted, or one that wipes marks and numbers.
    const auto frame = QByteArray::fromHex("8123411801050F04");
    for (int s = 0; s < 30; ++s) store->store_record(s, reinterpret_cast<const uint8_t*>(frame.constData()));
    store->clear_records();
    store->count_records();
    QCOMPARE(store->ji_ge, 1);
    QCOMPARE(store->page_count, 1);
    QCOMPARE(store->rec_mark[29], 1);
    QCOMPARE(store->rec_no[29], 30.0f);
    QCOMPARE(store->rec_value[29], 0.0f);
    for (int16_t t : store->rec_time) QCOMPARE(t, 0);
}

void TstRecordStore::swapMovesWholeRecords() {
    // Catches a swap that leaves one of the five arrays (or a time entry) behind.
    store->store_record(3, reinterpret_cast<const uint8_t*>(QByteArray::fromHex("8123411801050F04").constData()));
    store->store_record(9, reinterpret_cast<const uint8_t*>(QByteArray::fromHex("0042301902061017").constData()));
    store->swap_records(3, 9);
    QCOMPARE(store->rec_mark[9], 1);
    QCOMPARE(store->rec_value[9], 291.0f);
    QCOMPARE(store->rec_range[9], 0x41);
    QCOMPARE(store->rec_no[9], 4.0f);
    QCOMPARE(store->rec_time[5 * 9 + 0], 0x18);
    QCOMPARE(store->rec_time[5 * 9 + 4], 4);
    QCOMPARE(store->rec_mark[3], 0);
    QCOMPARE(store->rec_value[3], 66.0f);
    QCOMPARE(store->rec_range[3], 0x30);
    QCOMPARE(store->rec_no[3], 10.0f);
    QCOMPARE(store->rec_time[5 * 3 + 0], 0x19);
    QCOMPARE(store->rec_time[5 * 3 + 4], 0x17);
}

void TstRecordStore::swapOutsideTheStoreIsHarmless() {
    // Catches an out-of-bounds exchange (ASan) when a slot number is outside 0..8000.
    store->rec_range[0] = 0x30;
    store->swap_records(0, kSlots);
    store->swap_records(-1, 0);
    QCOMPARE(store->rec_range[0], 0x30);
}

void TstRecordStore::lastOccupied() {
    // Catches a highest-slot search that stops at a gap.
    QCOMPARE(store->last_occupied(), -1);
    store->rec_range[0] = 0x30;
    store->rec_range[57] = 0x30;
    QCOMPARE(store->last_occupied(), 57);
    store->rec_range[8000] = 0x30;
    QCOMPARE(store->last_occupied(), 8000);
}

void TstRecordStore::plausibleRecord_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("plausible");
    // count 291, range, year 24, month, day, hour, minute
    QTest::newRow("valid") << QByteArray::fromHex("8123411801050F04") << true;
    QTest::newRow("lowest fields") << QByteArray::fromHex("0000301801010000") << true;
    QTest::newRow("highest fields") << QByteArray::fromHex("7FFF43630C1F173B") << true;
    QTest::newRow("range 0x33") << QByteArray::fromHex("0123331801050F04") << true;
    QTest::newRow("range 0x40") << QByteArray::fromHex("0123401801050F04") << true;
    QTest::newRow("range 0") << QByteArray::fromHex("0123001801050F04") << false;
    QTest::newRow("range 0x2F") << QByteArray::fromHex("01232F1801050F04") << false;
    QTest::newRow("range 0x34") << QByteArray::fromHex("0123341801050F04") << false;
    QTest::newRow("range 0x3F") << QByteArray::fromHex("01233F1801050F04") << false;
    QTest::newRow("range 0x44") << QByteArray::fromHex("0123441801050F04") << false;
    QTest::newRow("range 0xC1") << QByteArray::fromHex("0123C11801050F04") << false;
    QTest::newRow("month 0") << QByteArray::fromHex("8123411800050F04") << false;
    QTest::newRow("month 13") << QByteArray::fromHex("812341180D050F04") << false;
    QTest::newRow("day 0") << QByteArray::fromHex("8123411801000F04") << false;
    QTest::newRow("day 32") << QByteArray::fromHex("8123411801200F04") << false;
    QTest::newRow("hour 24") << QByteArray::fromHex("8123411801051804") << false;
    QTest::newRow("minute 60") << QByteArray::fromHex("8123411801050F3C") << false;
    QTest::newRow("month 0x80") << QByteArray::fromHex("8123411880050F04") << false;
}

void TstRecordStore::plausibleRecord() {
    // Catches a frame shifted by stray bytes (a range code or date field out of its range) taken
    // as a record, or a real record refused at the edge of a field's range.
    QFETCH(QByteArray, frame);
    QFETCH(bool, plausible);
    QCOMPARE(plausible_record(reinterpret_cast<const uint8_t*>(frame.constData())), plausible);
}

QTEST_APPLESS_MAIN(TstRecordStore)
#include "tst_record_store.moc"
