// History table rules: sort keys, the bubble sort passes, restore by record number, paging.
#include "history/history_rules.h"
#include "records/record_store.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <array>
#include <memory>
#include <tuple>
#include <vector>

using namespace tessaro;

namespace {

using Record = std::tuple<uint8_t, uint8_t, float, float, std::array<int16_t, 5>>; // mark, range, value, no, time

Record record_at(const RecordStore& st, int slot) {
    const auto s = static_cast<size_t>(slot);
    std::array<int16_t, 5> t{};
    for (size_t k = 0; k < 5; ++k) t[k] = st.rec_time[5 * s + k];
    return {st.rec_mark[s], st.rec_range[s], st.rec_value[s], st.rec_no[s], t};
}

// The records of the occupied slots, in slot order.
std::vector<Record> records(const RecordStore& st) {
    std::vector<Record> out;
    for (int s = 0; s < kSlots; ++s)
        if (st.occupied(s)) out.push_back(record_at(st, s));
    return out;
}

std::vector<Record> sorted(std::vector<Record> v) {
    std::sort(v.begin(), v.end());
    return v;
}

void put(RecordStore& st, int slot, float no, uint8_t range, float count, int minute = 0) {
    const auto s = static_cast<size_t>(slot);
    st.rec_no[s] = no;
    st.rec_range[s] = range;
    st.rec_value[s] = count;
    st.rec_mark[s] = static_cast<uint8_t>(slot % 2);
    st.rec_time[5 * s] = 24;
    st.rec_time[5 * s + 1] = 1;
    st.rec_time[5 * s + 2] = 1 + slot % 28;
    st.rec_time[5 * s + 3] = 12;
    st.rec_time[5 * s + 4] = static_cast<int16_t>(minute);
}

// Runs every pass the Ascend / Descend command runs, re-reading the counters each pass.
void run_sort(RecordStore& st, SortOrder order) {
    st.count_records();
    const int n = st.ji_ge;
    for (int k = 0; k <= n; ++k) bubble_pass(st, st.last_occupied(), k, order);
}

const std::array<uint8_t, 8> kRanges{0x30, 0x31, 0x32, 0x33, 0x40, 0x41, 0x42, 0x43};

// Download-like content: slots 0..n-1, numbers 1..n, small counts so that keys repeat.
void fill_random(RecordStore& st, int n, quint32 seed) {
    QRandomGenerator rng(seed);
    for (int s = 0; s < n; ++s) {
        const uint8_t range = rng.bounded(10) == 0 ? 0x7A : kRanges[rng.bounded(8)];
        put(st, s, static_cast<float>(s + 1), range, static_cast<float>(rng.bounded(60)), s % 60);
    }
}

bool contiguous_from_zero(const RecordStore& st) {
    const int last = st.last_occupied();
    for (int s = 0; s <= last; ++s)
        if (!st.occupied(s)) return false;
    return true;
}

} // namespace

class TstHistoryRules : public QObject {
    Q_OBJECT

    std::unique_ptr<RecordStore> store;

private slots:
    void init() { store = std::make_unique<RecordStore>(); }

    void sortKey_data();
    void sortKey();
    void sortOrdersAcrossUnits_data();
    void sortOrdersAcrossUnits();
    void equalKeysKeepTheirOrder_data();
    void equalKeysKeepTheirOrder();
    void fullSortEqualsStableSort_data();
    void fullSortEqualsStableSort();
    void onePass_data();
    void onePass();
    void sortOfAnEmptyStoreMovesNothing();
    void sortWithAGapClosesItUp();
    void passBeyondTheStoreIsHarmless();
    void restoreAfterSortGivesDownloadOrder();
    void restoreWithAGap();
    void restoreAfterSortOfARecordWithRangeZero();
    void restoreHiddenRecords_data();
    void restoreHiddenRecords();
    void restoreWithDuplicateAndStrayNumbers();
    void restoreOfAnEmptyStore();
    void pageStatus();
    void up_data();
    void up();
    void down_data();
    void down();
    void downReachesTheLastPageOfAFullMemory();
    void goTo_data();
    void goTo();
};

void TstHistoryRules::sortKey_data() {
    QTest::addColumn<float>("value");
    QTest::addColumn<int>("range");
    QTest::addColumn<qint64>("key");
    QTest::newRow("0x30 1 A") << 1.0f << 0x30 << qint64(1000000);
    QTest::newRow("0x31 1.5 A") << 15.0f << 0x31 << qint64(1500000);
    QTest::newRow("0x32 1.23 A") << 123.0f << 0x32 << qint64(1230000);
    QTest::newRow("0x33 1.500 A") << 1500.0f << 0x33 << qint64(1500000);
    QTest::newRow("0x40 800 mA") << 800.0f << 0x40 << qint64(800000);
    QTest::newRow("0x41 12.3 mA") << 123.0f << 0x41 << qint64(12300);
    QTest::newRow("0x42 0.05 mA") << 5.0f << 0x42 << qint64(50);
    QTest::newRow("0x43 0.001 mA") << 1.0f << 0x43 << qint64(1);
    QTest::newRow("0x30 largest count, beyond 32 bits") << 32767.0f << 0x30 << qint64(32767000000LL);
    QTest::newRow("rounded, half to even") << 2.5f << 0x40 << qint64(2000);
    QTest::newRow("rounded up") << 2.6f << 0x40 << qint64(3000);
    QTest::newRow("unknown 0x34") << 800.0f << 0x34 << qint64(0);
    QTest::newRow("unknown 0x7A") << 800.0f << 0x7A << qint64(0);
    QTest::newRow("empty code") << 800.0f << 0x00 << qint64(0);
}

void TstHistoryRules::sortKey() {
    // Catches a key of 0 for the three-decimal ranges, a 32-bit overflow, a wrong factor,
    // or truncation instead of rounding.
    QFETCH(float, value);
    QFETCH(int, range);
    QFETCH(qint64, key);
    QCOMPARE(sort_key(value, static_cast<uint8_t>(range)), key);
}

void TstHistoryRules::sortOrdersAcrossUnits_data() {
    QTest::addColumn<bool>("ascend");
    QTest::addColumn<QList<float>>("numbers"); // record numbers, slot order after the sort
    // Records 1..5: 800 mA, 1.5 A (0x31), 1.500 A (0x33), 0.7 A (0x31), 0.75 mA (0x42).
    QTest::newRow("Ascend: largest first") << true << QList<float>{2, 3, 1, 4, 5};
    QTest::newRow("Descend: smallest first") << false << QList<float>{5, 4, 1, 2, 3};
}

void TstHistoryRules::sortOrdersAcrossUnits() {
    // Catches comparing raw counts instead of currents, the captions' directions swapped,
    // or the three-decimal ranges sorting as zero.
    QFETCH(bool, ascend);
    QFETCH(QList<float>, numbers);
    put(*store, 0, 1, 0x40, 800);
    put(*store, 1, 2, 0x31, 15);
    put(*store, 2, 3, 0x33, 1500);
    put(*store, 3, 4, 0x31, 7);
    put(*store, 4, 5, 0x42, 75);
    run_sort(*store, ascend ? SortOrder::Ascend : SortOrder::Descend);
    QList<float> got;
    for (int s = 0; s < 5; ++s) got.append(store->rec_no[static_cast<size_t>(s)]);
    QCOMPARE(got, numbers);
}

void TstHistoryRules::equalKeysKeepTheirOrder_data() {
    QTest::addColumn<bool>("ascend");
    QTest::addColumn<QList<float>>("numbers");
    // 1: 1 A (0x30), 2: unknown code, 3: 1000 mA (0x40), 4: 0 mA, 5: 1.0 A (0x31), 6: unknown code.
    QTest::newRow("Ascend") << true << QList<float>{1, 3, 5, 2, 4, 6};
    QTest::newRow("Descend") << false << QList<float>{2, 4, 6, 1, 3, 5};
}

void TstHistoryRules::equalKeysKeepTheirOrder() {
    // Catches swapping on equal keys (an unstable sort), and unknown codes not sorting as 0.
    QFETCH(bool, ascend);
    QFETCH(QList<float>, numbers);
    put(*store, 0, 1, 0x30, 1);
    put(*store, 1, 2, 0x7A, 999);
    put(*store, 2, 3, 0x40, 1000);
    put(*store, 3, 4, 0x40, 0);
    put(*store, 4, 5, 0x31, 10);
    put(*store, 5, 6, 0x01, 5);
    run_sort(*store, ascend ? SortOrder::Ascend : SortOrder::Descend);
    QList<float> got;
    for (int s = 0; s < 6; ++s) got.append(store->rec_no[static_cast<size_t>(s)]);
    QCOMPARE(got, numbers);
}

void TstHistoryRules::fullSortEqualsStableSort_data() {
    QTest::addColumn<bool>("ascend");
    QTest::addColumn<int>("n");
    QTest::addColumn<quint32>("seed");
    QTest::newRow("Ascend 300") << true << 300 << 1u;
    QTest::newRow("Descend 300") << false << 300 << 2u;
    QTest::newRow("Ascend 27") << true << 27 << 3u;
    QTest::newRow("Descend 2") << false << 2 << 4u;
    QTest::newRow("Ascend 1") << true << 1 << 5u;
}

void TstHistoryRules::fullSortEqualsStableSort() {
    // Catches too few passes, a pass that stops short of the last record, lost or doubled
    // records, or whole records not moving together.
    QFETCH(bool, ascend);
    QFETCH(int, n);
    QFETCH(quint32, seed);
    fill_random(*store, n, seed);
    auto expected = records(*store);
    std::stable_sort(expected.begin(), expected.end(), [ascend](const Record& a, const Record& b) {
        const auto ka = sort_key(std::get<2>(a), std::get<1>(a));
        const auto kb = sort_key(std::get<2>(b), std::get<1>(b));
        return ascend ? ka > kb : ka < kb;
    });
    run_sort(*store, ascend ? SortOrder::Ascend : SortOrder::Descend);
    QVERIFY(records(*store) == expected);
    store->count_records();
    QCOMPARE(store->ji_ge, n + 1);
}

void TstHistoryRules::onePass_data() {
    QTest::addColumn<bool>("ascend");
    QTest::addColumn<int>("k");
    QTest::addColumn<QList<float>>("counts"); // range 0x40, records numbered 1..5 in slot order
    QTest::addColumn<QList<float>>("numbers");
    QTest::newRow("Ascend pass 0") << true << 0 << QList<float>{3, 1, 2, 5, 4} << QList<float>{1, 3, 4, 5, 2};
    QTest::newRow("Ascend pass 2 stops at slot 2") << true << 2 << QList<float>{1, 2, 3, 4, 5}
                                                   << QList<float>{2, 3, 1, 4, 5};
    QTest::newRow("Descend pass 0") << false << 0 << QList<float>{3, 1, 2, 5, 4} << QList<float>{2, 3, 1, 5, 4};
    QTest::newRow("Descend pass 4 compares nothing") << false << 4 << QList<float>{5, 4, 3, 2, 1}
                                                     << QList<float>{1, 2, 3, 4, 5};
}

void TstHistoryRules::onePass() {
    // Catches a pass that compares beyond slot last - k (disturbing the sorted tail) or does
    // more or less than one bubble pass, which the table shows between passes.
    QFETCH(bool, ascend);
    QFETCH(int, k);
    QFETCH(QList<float>, counts);
    QFETCH(QList<float>, numbers);
    for (int s = 0; s < counts.size(); ++s) put(*store, s, static_cast<float>(s + 1), 0x40, counts[s]);
    bubble_pass(*store, 4, k, ascend ? SortOrder::Ascend : SortOrder::Descend);
    QList<float> got;
    for (int s = 0; s < 5; ++s) got.append(store->rec_no[static_cast<size_t>(s)]);
    QCOMPARE(got, numbers);
}

void TstHistoryRules::sortOfAnEmptyStoreMovesNothing() {
    // Catches a sort that writes into empty slots or indexes below slot 0.
    store->rec_no[0] = 17;
    store->rec_mark[0] = 1;
    run_sort(*store, SortOrder::Ascend);
    run_sort(*store, SortOrder::Descend);
    QCOMPARE(store->last_occupied(), -1);
    QCOMPARE(store->rec_no[0], 17.0f);
    QCOMPARE(store->rec_mark[0], 1);
}

void TstHistoryRules::sortWithAGapClosesItUp() {
    // Catches records beyond a gap being left out of the sort (hidden from the table's
    // count) or the gap being sorted into the middle of the records.
    fill_random(*store, 40, 7);
    store->rec_range[5] = 0;
    store->rec_range[6] = 0;
    store->rec_range[20] = 0;
    put(*store, 200, 201, 0x30, 1000); // far beyond the others: the largest current
    const auto before = records(*store);
    run_sort(*store, SortOrder::Ascend);
    QVERIFY(contiguous_from_zero(*store));
    QCOMPARE(store->last_occupied(), static_cast<int>(before.size()) - 1);
    QCOMPARE(store->rec_no[0], 201.0f);
    QVERIFY(sorted(records(*store)) == sorted(before));
    for (int s = 0; s + 1 < static_cast<int>(before.size()); ++s) {
        const auto i = static_cast<size_t>(s);
        QVERIFY(sort_key(store->rec_value[i], store->rec_range[i]) >=
                sort_key(store->rec_value[i + 1], store->rec_range[i + 1]));
    }
    run_sort(*store, SortOrder::Descend);
    QVERIFY(contiguous_from_zero(*store));
    QCOMPARE(store->rec_no[static_cast<size_t>(before.size()) - 1], 201.0f);
}

void TstHistoryRules::passBeyondTheStoreIsHarmless() {
    // Catches a pass indexing past slot 8000 or below 0 when called with odd arguments.
    put(*store, 8000, 8001, 0x30, 1);
    put(*store, 7999, 8000, 0x30, 5);
    const auto before = records(*store);
    bubble_pass(*store, -5, 0, SortOrder::Ascend);
    bubble_pass(*store, 100000, 9000, SortOrder::Ascend);
    QVERIFY(sorted(records(*store)) == sorted(before));
    bubble_pass(*store, 100000, -3, SortOrder::Descend);
    QCOMPARE(store->last_occupied(), 1);
    QCOMPARE(store->rec_no[0], 8001.0f);
    QCOMPARE(store->rec_no[1], 8000.0f);
}

void TstHistoryRules::restoreAfterSortGivesDownloadOrder() {
    // Catches a restore that misplaces records by one slot or leaves part of a record behind.
    fill_random(*store, 300, 11);
    const auto download = records(*store);
    run_sort(*store, SortOrder::Ascend);
    QVERIFY(records(*store) != download);
    restore_order(*store);
    QVERIFY(records(*store) == download);
    restore_order(*store);
    QVERIFY(records(*store) == download);
}

void TstHistoryRules::restoreWithAGap() {
    // Catches records past a gap being dropped, or an empty slot being treated as a record.
    put(*store, 0, 3, 0x40, 30);
    put(*store, 2, 1, 0x40, 10); // slot 1 is a gap
    put(*store, 3, 2, 0x40, 20);
    store->rec_no[1] = 4; // stale number in the gap
    restore_order(*store);
    QCOMPARE(store->rec_no[0], 1.0f);
    QCOMPARE(store->rec_no[1], 2.0f);
    QCOMPARE(store->rec_no[2], 3.0f);
    QCOMPARE(store->rec_value[2], 30.0f);
    QVERIFY(!store->occupied(3));
    QCOMPARE(store->last_occupied(), 2);
}

void TstHistoryRules::restoreAfterSortOfARecordWithRangeZero() {
    // Catches records numbered after an empty-looking one (range byte 0, moved behind the others
    // by the sort) being taken for strays and put back out of order (1, 2, 5, 4).
    for (int s = 0; s < 5; ++s) put(*store, s, static_cast<float>(s + 1), 0x40, static_cast<float>(10 * (s + 1)));
    store->rec_range[2] = 0;
    store->rec_time[5 * 2 + 4] = 33; // the hidden record's own data travels with it
    std::vector<Record> download;
    for (int s = 0; s < 6; ++s) download.push_back(record_at(*store, s));
    run_sort(*store, SortOrder::Ascend);
    QCOMPARE(store->rec_no[0], 5.0f);
    restore_order(*store);
    for (int s = 0; s < 6; ++s) QVERIFY2(record_at(*store, s) == download[static_cast<size_t>(s)], qPrintable(QString::number(s)));
}

void TstHistoryRules::restoreHiddenRecords_data() {
    QTest::addColumn<int>("hidden"); // records stored with range byte 0
    QTest::addColumn<QList<int>>("orders"); // sorts run before Restore, 0 Ascend, 1 Descend
    for (const int hidden : {0, 1, 2, 5}) {
        QTest::addRow("%d hidden, Ascend", hidden) << hidden << QList<int>{0};
        QTest::addRow("%d hidden, Descend", hidden) << hidden << QList<int>{1};
        QTest::addRow("%d hidden, Descend then Ascend", hidden) << hidden << QList<int>{1, 0};
    }
}

void TstHistoryRules::restoreHiddenRecords() {
    // Catches Restore misplacing records when more than one of them has range byte 0: a sort
    // moves such records behind the others and mixes their order, and Restore must still put
    // every record, shown or not, back into the slot it was downloaded into.
    QFETCH(int, hidden);
    QFETCH(QList<int>, orders);
    for (quint32 seed = 1; seed <= 40; ++seed) {
        QRandomGenerator rng(seed);
        const int n = 2 + static_cast<int>(rng.bounded(80));
        store = std::make_unique<RecordStore>();
        store->rec_no.fill(4444); // numbers left behind by an earlier download stay in the slots
        store->clear_records();
        std::vector<bool> is_hidden(static_cast<size_t>(n), false);
        for (int h = 0; h < std::min(hidden, n); ++h) {
            int s = static_cast<int>(rng.bounded(n));
            while (is_hidden[static_cast<size_t>(s)]) s = (s + 1) % n;
            is_hidden[static_cast<size_t>(s)] = true;
        }
        for (int s = 0; s < n; ++s) {
            const int count = static_cast<int>(rng.bounded(40)); // repeated keys
            const uint8_t range = is_hidden[static_cast<size_t>(s)] ? 0 : kRanges[rng.bounded(8)];
            const uint8_t frame[8] = {static_cast<uint8_t>(s % 2 ? 0x80 : 0), static_cast<uint8_t>(count), range,
                                      24, static_cast<uint8_t>(1 + s % 12), static_cast<uint8_t>(1 + s % 28),
                                      static_cast<uint8_t>(s % 24), static_cast<uint8_t>(s % 60)};
            QVERIFY(store->store_record(s, frame));
        }
        std::vector<Record> download;
        for (int s = 0; s <= n; ++s) download.push_back(record_at(*store, s));
        for (const int order : orders) run_sort(*store, order == 0 ? SortOrder::Ascend : SortOrder::Descend);
        restore_order(*store);
        for (int s = 0; s <= n; ++s)
            QVERIFY2(record_at(*store, s) == download[static_cast<size_t>(s)],
                     qPrintable(QStringLiteral("seed %1, %2 records, slot %3").arg(seed).arg(n).arg(s)));
        store->count_records();
        QCOMPARE(int(store->ji_ge), n - std::min(hidden, n) + 1);
    }
}

void TstHistoryRules::restoreWithDuplicateAndStrayNumbers() {
    // Catches a restore that overwrites one record with another (a repeated number), writes
    // past the store (a number above 8001), or drops a record whose number fits no slot.
    put(*store, 0, 2, 0x40, 1);
    put(*store, 1, 2, 0x40, 2);     // repeated number
    put(*store, 2, 9000, 0x40, 3);  // beyond the store
    put(*store, 3, 1, 0x40, 4);
    put(*store, 4, -1, 0x40, 5);    // below 1
    put(*store, 5, 2.5f, 0x40, 6);  // not whole
    put(*store, 7, 8, 0x40, 7);     // after a gap at 6
    put(*store, 8, 0, 0x40, 8);
    put(*store, 9, 6, 0x40, 9);
    const auto before = records(*store);
    restore_order(*store);
    QVERIFY(sorted(records(*store)) == sorted(before));
    QCOMPARE(store->last_occupied(), 8);
    // Numbered records in their slots; the others in the free slots, in their former order.
    const QList<float> expected{1, 2, 2, 9000, -1, 6, 2.5f, 8, 0};
    QList<float> got;
    for (int s = 0; s <= 8; ++s) got.append(store->rec_no[static_cast<size_t>(s)]);
    QCOMPARE(got, expected);
    QCOMPARE(store->rec_value[1], 1.0f); // the first of the two records numbered 2
    QCOMPARE(store->rec_value[2], 2.0f);
    QVERIFY(!store->occupied(9));
}

void TstHistoryRules::restoreOfAnEmptyStore() {
    // Catches a restore that writes anything when there are no records.
    store->rec_no[0] = 5;
    store->rec_mark[0] = 1;
    restore_order(*store);
    QCOMPARE(store->rec_no[0], 5.0f);
    QCOMPARE(store->last_occupied(), -1);
}

void TstHistoryRules::pageStatus() {
    // Catches a record count without the offset of one, or wrong separators.
    QCOMPARE(page_status(2, 5, 121), QStringLiteral("2/5Page   120No"));
    QCOMPARE(page_status(1, 1, 1), QStringLiteral("1/1Page   0No"));
    QCOMPARE(page_status(3, 1, 1), QStringLiteral("3/1Page   0No"));
}

void TstHistoryRules::up_data() {
    QTest::addColumn<int>("curPage");
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("message");
    QTest::newRow("first page") << 0 << 1 << true;
    QTest::newRow("second page") << 1 << 1 << false;
    QTest::newRow("page 6") << 5 << 5 << false;
    QTest::newRow("below the first") << -3 << 1 << true;
}

void TstHistoryRules::up() {
    // Catches Up skipping a page or going to page 0.
    QFETCH(int, curPage);
    QFETCH(int, page);
    QFETCH(bool, message);
    const PageMove m = up_target(curPage);
    QCOMPARE(m.page, page);
    QCOMPARE(m.message, message);
}

void TstHistoryRules::down_data() {
    QTest::addColumn<int>("curPage");
    QTest::addColumn<int>("pageCount");
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("message");
    QTest::newRow("no records") << 0 << 1 << 1 << true;
    QTest::newRow("26 records, page 1") << 0 << 2 << 2 << false;
    QTest::newRow("26 records, page 2") << 1 << 2 << 2 << true;
    QTest::newRow("page 171 of 178") << 170 << 178 << 172 << false;
    QTest::newRow("page 177 of 178") << 176 << 178 << 178 << false;
    QTest::newRow("page 178 of 178") << 177 << 178 << 178 << true;
    QTest::newRow("after Empty on page 3") << 2 << 1 << 1 << true;
}

void TstHistoryRules::down() {
    // Catches Down stepping back at page 171 (the later pages unreachable) or going past
    // the last page without the message.
    QFETCH(int, curPage);
    QFETCH(int, pageCount);
    QFETCH(int, page);
    QFETCH(bool, message);
    const PageMove m = down_target(curPage, pageCount);
    QCOMPARE(m.page, page);
    QCOMPARE(m.message, message);
}

void TstHistoryRules::downReachesTheLastPageOfAFullMemory() {
    // Catches any page of a full memory that Down cannot reach one step at a time.
    for (int s = 0; s < 4601; ++s) store->rec_range[static_cast<size_t>(s)] = 0x40;
    store->count_records();
    QCOMPARE(store->page_count, 178);
    int cur_page = 0;
    for (int expected = 2; expected <= 178; ++expected) {
        const PageMove m = down_target(cur_page, store->page_count);
        QCOMPARE(m.page, expected);
        QVERIFY(!m.message);
        cur_page = m.page - 1;
    }
    const PageMove last = down_target(cur_page, store->page_count);
    QCOMPARE(last.page, 178);
    QVERIFY(last.message);
}

void TstHistoryRules::goTo_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("page"); // 0: the page on show stays
    // Five pages throughout.
    QTest::newRow("3") << "3" << "3" << 3;
    QTest::newRow("last page") << "5" << "5" << 5;
    QTest::newRow("99 beyond") << "99" << "5" << 5;
    QTest::newRow("5.4 beyond") << "5.4" << "5" << 5;
    QTest::newRow("abc") << "abc" << "5" << 5;
    QTest::newRow("nan") << "nan" << "5" << 5;
    QTest::newRow("inf") << "inf" << "5" << 5;
    QTest::newRow("hex") << "0x2" << "5" << 5;
    QTest::newRow("too large for a double") << "1e400" << "5" << 5;
    QTest::newRow("blank") << " " << "5" << 5;
    QTest::newRow("empty") << "" << "1" << 1;
    QTest::newRow("0") << "0" << "1" << 1;
    QTest::newRow("0.0") << "0.0" << "1" << 1;
    QTest::newRow("-0") << "-0" << "1" << 1;
    QTest::newRow("2.5 to even") << "2.5" << "2.5" << 2;
    QTest::newRow("3.5 to even") << "3.5" << "3.5" << 4;
    QTest::newRow("1.5") << "1.5" << "1.5" << 2;
    QTest::newRow("blanks around") << " 4 " << " 4 " << 4;
    QTest::newRow("exponent") << "4e0" << "4e0" << 4;
    QTest::newRow("-2 stays") << "-2" << "-2" << 0;
    QTest::newRow("0.4 stays") << "0.4" << "0.4" << 0;
    QTest::newRow("0.5 stays") << "0.5" << "0.5" << 0;
    QTest::newRow("-1e400 stays") << "-1e400" << "-1e400" << 0;
}

void TstHistoryRules::goTo() {
    // Catches a page that is not a page (0, negative, beyond the last), texts like "nan"
    // taken as numbers, rounding away from even, or corrections not written back.
    QFETCH(QString, typed);
    QFETCH(QString, text);
    QFETCH(int, page);
    const GotoResult r = goto_target(typed, 5);
    QCOMPARE(r.text, text);
    QCOMPARE(r.page.value_or(0), page);
    QCOMPARE(r.page.has_value(), page != 0);
}

QTEST_APPLESS_MAIN(TstHistoryRules)
#include "tst_history_rules.moc"
