// Ascend and Descend on the main window: order across units, stability, progress, the
// event pump and what runs inside it.
#include "app/form1.h"
#include "history_fill.h"
#include "support/form_fixture.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

using namespace tessaro;
using tessaro::test::fill_records;
using tessaro::test::numbers;
using tessaro::test::put_record;
using tessaro::test::record_bag;

namespace {
struct Reading {
    int count;
    int range;
};
} // namespace
Q_DECLARE_METATYPE(std::vector<Reading>)
Q_DECLARE_METATYPE(std::vector<float>)

class TstSorting : public QObject {
    Q_OBJECT

    std::unique_ptr<test::FormFixture> f;
    Form1& form() { return *f->form; }

    int64_t key_of(int count, uint8_t range) {
        int32_t c = count;
        form().sort_key = 0;
        form().pai_ji(c, range);
        return form().sort_key;
    }

private slots:
    void init() {
        f = std::make_unique<test::FormFixture>();
        form().Command9_Click();
    }
    void cleanup() { f.reset(); }

    void order_data() {
        QTest::addColumn<std::vector<Reading>>("readings"); // record numbers 1.. in this order
        QTest::addColumn<bool>("ascend");
        QTest::addColumn<std::vector<float>>("expected");  // record numbers of slots 0..
        const std::vector<Reading> mixed{{800, 0x40}, {15, 0x31}};
        QTest::newRow("ascend: 1.5 A before 800 mA") << mixed << true << std::vector<float>{2, 1};
        QTest::newRow("descend: 800 mA before 1.5 A") << mixed << false << std::vector<float>{1, 2};
        const std::vector<Reading> thousandths{{800, 0x40}, {1500, 0x33}};
        QTest::newRow("ascend: 1.500 A before 800 mA") << thousandths << true << std::vector<float>{2, 1};
        const std::vector<Reading> small{{5, 0x43}, {1, 0x42}, {0, 0x42}};
        QTest::newRow("ascend: .01 mA before .005 mA") << small << true << std::vector<float>{2, 1, 3};
        QTest::newRow("descend: 0 first") << small << false << std::vector<float>{3, 1, 2};
        // 1.5 A in three ranges and as 1500 mA: one key, so their order stays.
        const std::vector<Reading> equal{{15, 0x31}, {150, 0x32}, {2, 0x30}, {1500, 0x40}, {1500, 0x33}};
        QTest::newRow("ascend keeps equal keys") << equal << true << std::vector<float>{3, 1, 2, 4, 5};
        QTest::newRow("descend keeps equal keys") << equal << false << std::vector<float>{1, 2, 4, 5, 3};
        // Codes without a unit count as no current.
        const std::vector<Reading> unknown{{7, 0x35}, {3, 0x40}, {9, 0x7F}};
        QTest::newRow("ascend: unknown codes last, in order") << unknown << true << std::vector<float>{2, 1, 3};
        QTest::newRow("descend: unknown codes first, in order") << unknown << false << std::vector<float>{1, 3, 2};
        // Counts whose 0.01 mA key would not fit 32 bits.
        const std::vector<Reading> wide{{21474, 0x30}, {32767, 0x30}, {1, 0x40}};
        QTest::newRow("ascend: no key overflow") << wide << true << std::vector<float>{2, 1, 3};
    }
    void order() {
        // Catches a wrong direction, comparison across units, an unstable swap or a wrapped key.
        QFETCH(std::vector<Reading>, readings);
        QFETCH(bool, ascend);
        QFETCH(std::vector<float>, expected);
        for (size_t s = 0; s < readings.size(); ++s)
            put_record(form(), static_cast<int>(s), readings[s].count, static_cast<uint8_t>(readings[s].range));
        const auto before = record_bag(form());
        ascend ? form().Command12_Click() : form().Command13_Click();
        QCOMPARE(numbers(form(), static_cast<int>(expected.size())), expected);
        QCOMPARE(record_bag(form()), before);
        QVERIFY(!form().sorting);
    }

    void manyRecordsSortedAndStable() {
        // Catches passes that stop short of the last records or reorder equal keys.
        constexpr int n = 300;
        auto* rng = QRandomGenerator::global();
        const uint8_t ranges[] = {0x30, 0x31, 0x32, 0x33, 0x40, 0x41, 0x42, 0x43};
        for (int s = 0; s < n; ++s) put_record(form(), s, rng->bounded(40), ranges[rng->bounded(8)], s % 60);
        const auto before = record_bag(form());
        for (bool ascend : {true, false}) {
            ascend ? form().Command12_Click() : form().Command13_Click();
            QCOMPARE(record_bag(form()), before);
            for (int s = 0; s + 1 < n; ++s) {
                const auto i = static_cast<size_t>(s);
                const int64_t a = key_of(static_cast<int>(form().rec_value[i]), form().rec_range[i]);
                const int64_t b = key_of(static_cast<int>(form().rec_value[i + 1]), form().rec_range[i + 1]);
                QVERIFY2(ascend ? a >= b : a <= b, qPrintable(QString("slot %1").arg(s)));
                if (a == b) QVERIFY(form().rec_no[i] < form().rec_no[i + 1]);
            }
        }
    }

    void paiJi_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("range");
        QTest::addColumn<bool>("writes");
        QTest::newRow("0x30") << 3 << 0x30 << true;
        QTest::newRow("0x33") << 3 << 0x33 << true;
        QTest::newRow("0x43") << 3 << 0x43 << true;
        QTest::newRow("empty slot code") << 3 << 0x00 << false;
        QTest::newRow("unknown code") << 3 << 0x44 << false;
    }
    void paiJi() {
        // Catches pai_ji changing its arguments or writing a key for a code without a unit.
        QFETCH(int, count);
        QFETCH(int, range);
        QFETCH(bool, writes);
        int32_t c = count;
        auto r = static_cast<uint8_t>(range);
        form().sort_key = -77;
        form().pai_ji(c, r);
        QCOMPARE(c, count);
        QCOMPARE(int{r}, range);
        QCOMPARE(form().sort_key != -77, writes);
        if (writes) QVERIFY(form().sort_key > 0);
    }

    void progressWithNoRecords() {
        // Catches a progress display that skips its first or last step or is left on screen.
        QStringList percents, notes;
        int barAtEnd = -1, percentLeft = -1;
        connect(form().Text34, &QLineEdit::textChanged, this, [&](const QString& t) {
            percents << t;
            if (t == QLatin1String("100% ")) {
                barAtEnd = form().Text33->width();
                percentLeft = form().Text34->x();
            }
        });
        connect(form().Text42, &QLineEdit::textChanged, this, [&](const QString& t) { notes << t; });
        bool shownDuringSort = false;
        QTimer::singleShot(0, this, [&] { shownDuringSort = form().Text33->isVisible() && form().Text34->isVisible(); });
        form().show_page(3);
        form().Command12_Click();
        QCOMPARE(percents, (QStringList{"1% ", "100% "}));
        QCOMPARE(notes, (QStringList{"Wait......", ""}));
        QVERIFY(shownDuringSort);
        QCOMPARE(barAtEnd, twips(10000));
        QCOMPARE(percentLeft, twips(1080 + 10000));
        QVERIFY(form().Text33->isHidden());
        QVERIFY(form().Text34->isHidden());
        QCOMPARE(form().Text41->text(), QString("1/1Page   0No"));
        QCOMPARE(form().cur_page, int16_t{0});
        QVERIFY(f->user.messages.isEmpty());
    }

    void firstPageAfterSortThenDown() {
        // Catches a sort that leaves the old page on show or a stale page position.
        fill_records(form(), 60);
        form().show_page(3);
        form().Command12_Click();
        QCOMPARE(form().cur_page, int16_t{0});
        QCOMPARE(form().Text41->text(), QString("1/3Page   60No"));
        QVERIFY(form().Text1->text().startsWith("No0060 "));
        form().Command4_Click();
        QVERIFY(f->user.messages.isEmpty());
        QCOMPARE(form().Text41->text(), QString("2/3Page   60No"));
        QVERIFY(form().Text1->text().startsWith("No0034 "));
    }

    void menuRunsTheSorts() {
        // Catches the History(L) "Up"/"Down" items paging instead of sorting.
        fill_records(form(), 5);
        form().shengcuq->trigger();
        QCOMPARE(numbers(form(), 5), (std::vector<float>{5, 4, 3, 2, 1}));
        form().jianxun->trigger();
        QCOMPARE(numbers(form(), 5), (std::vector<float>{1, 2, 3, 4, 5}));
    }

    void clicksDuringTheSortAreIgnored() {
        // Catches Empty, Restore, a second sort or Read running against a half-sorted store.
        fill_records(form(), 40);
        const auto before = record_bag(form());
        f->user.answers.enqueue(Answer::Yes);
        bool sortingSeen = false;
        QTimer::singleShot(0, this, [&] {
            sortingSeen = form().sorting;
            form().Command2_Click();
            form().qikon->trigger();
            form().Command7_Click();
            form().huaiyuan->trigger();
            form().Command13_Click();
            form().jianxun->trigger();
            form().Command5_Click();
            form().u->trigger();
        });
        form().Command12_Click();
        QVERIFY(sortingSeen);
        QVERIFY(!form().sorting);
        QVERIFY(f->user.messages.isEmpty());
        QCOMPARE(f->user.answers.size(), 1);
        QCOMPARE(record_bag(form()), before);
        std::vector<float> descending;
        for (int no = 40; no >= 1; --no) descending.push_back(static_cast<float>(no));
        QCOMPARE(numbers(form(), 40), descending);
        QCOMPARE(form().Text41->text(), QString("1/2Page   40No"));
    }

    void leavesAtOnce_data() {
        QTest::addColumn<bool>("exit");
        QTest::newRow("exit") << true;
        QTest::newRow("window hidden") << false;
    }
    void leavesAtOnce() {
        // Catches a sort that keeps running after Exit or unloading, or loses records on leaving.
        QFETCH(bool, exit);
        fill_records(form(), 200);
        const auto before = record_bag(form());
        int passesSeen = 0;
        connect(form().Text34, &QLineEdit::textChanged, this, [&] { ++passesSeen; });
        QTimer::singleShot(0, this, [&] { exit ? form().exit_program() : form().hide(); });
        form().Command12_Click();
        QVERIFY(!form().sorting);
        QCOMPARE(passesSeen, 1);
        QCOMPARE(record_bag(form()), before);
        QCOMPARE(form().Text1->text(), QString());
        std::vector<float> unmoved;
        for (int no = 1; no <= 200; ++no) unmoved.push_back(static_cast<float>(no));
        QCOMPARE(numbers(form(), 200), unmoved);
    }
};

QTEST_MAIN(TstSorting)
#include "tst_sorting.moc"
