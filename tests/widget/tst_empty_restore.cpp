// Empty and Restore on the main window: the question, the store, the download state and the
// download order brought back without losing records.
#include "app/form1.h"
#include "history_fill.h"
#include "support/form_fixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>
#include <vector>

using namespace tessaro;
using tessaro::test::fill_records;
using tessaro::test::numbers;
using tessaro::test::put_record;
using tessaro::test::record_bag;

Q_DECLARE_METATYPE(std::vector<float>)

namespace {
constexpr float kEmpty = -1000.0f; // marks a slot without a record in the tables below
} // namespace

class TstEmptyRestore : public QObject {
    Q_OBJECT

    std::unique_ptr<test::FormFixture> f;
    Form1& form() { return *f->form; }

    void setDownloadState() {
        form().meter_count = 60;
        form().rec_addr = 301;
        form().link_state = 1;
        form().dl_session = 1;
        form().dl_unfinished = true;
        form().Text42->setText("busy");
        form().Text33->show();
        form().Text34->show();
        form().Command5->setEnabled(false);
    }

private slots:
    void init() {
        f = std::make_unique<test::FormFixture>();
        form().Command9_Click();
    }
    void cleanup() { f.reset(); }

    void emptyYesOnPage3() {
        // Catches Empty leaving records, a resumable download or the page position behind.
        fill_records(form(), 60);
        form().rec_mark[5] = 1;
        form().show_page(3);
        setDownloadState();
        f->user.answers.enqueue(Answer::Yes);
        form().Command2_Click();

        QCOMPARE(f->user.messages.size(), 1);
        const MessageRequest& ask = f->user.messages.first();
        QCOMPARE(ask.text, QString::fromUtf8("Clearing\xEF\xBC\x9F"));
        QCOMPARE(ask.title, QString("System prompt"));
        QVERIFY(ask.yes_no);
        QVERIFY(ask.default_no);
        QCOMPARE(ask.icon, MessageIcon::Question);

        for (int n = 1; n <= 26; ++n) QCOMPARE(form().text_box(n)->text(), QString());
        QCOMPARE(form().Text41->text(), QString("3/1Page   0No"));
        QCOMPARE(form().cur_page, int16_t{2});
        QCOMPARE(form().ji_ge, int16_t{1});
        QCOMPARE(form().last_occupied(), -1);
        QCOMPARE(form().rec_no[59], 60.0f); // numbers and marks are not cleared
        QCOMPARE(form().rec_mark[5], uint8_t{1});
        QCOMPARE(form().meter_count, int16_t{0});
        QCOMPARE(form().rec_addr, 257);
        QCOMPARE(form().link_state, int16_t{2});
        QCOMPARE(form().dl_session, uint8_t{0});
        QVERIFY(!form().dl_unfinished);
        QCOMPARE(form().Text42->text(), QString());
        QVERIFY(form().Text33->isHidden());
        QVERIFY(form().Text34->isHidden());
        QVERIFY(form().Command5->isEnabled());
    }

    void emptyNoChangesNothingButRead() {
        // Catches Empty acting on No, or leaving Read disabled after the question.
        fill_records(form(), 30);
        form().show_page(2);
        const QString line = form().Text1->text();
        const auto before = record_bag(form());
        setDownloadState();
        form().Command2_Click(); // the scripted operator answers No
        QCOMPARE(f->user.messages.size(), 1);
        QCOMPARE(record_bag(form()), before);
        QCOMPARE(form().Text1->text(), line);
        QCOMPARE(form().cur_page, int16_t{1});
        QCOMPARE(form().meter_count, int16_t{60});
        QCOMPARE(form().rec_addr, 301);
        QCOMPARE(form().link_state, int16_t{1});
        QCOMPARE(form().dl_session, uint8_t{1});
        QVERIFY(form().dl_unfinished);
        QCOMPARE(form().Text42->text(), QString("busy"));
        QVERIFY(form().Command5->isEnabled());
    }

    void ascendThenRestore() {
        // Catches Restore not bringing back the download order, or leaving the old page.
        fill_records(form(), 60);
        form().Command12_Click();
        QCOMPARE(form().rec_no[0], 60.0f);
        form().show_page(3);
        form().Command7_Click();
        std::vector<float> order;
        for (int no = 1; no <= 60; ++no) order.push_back(static_cast<float>(no));
        QCOMPARE(numbers(form(), 60), order);
        QCOMPARE(form().cur_page, int16_t{0});
        QCOMPARE(form().Text41->text(), QString("1/3Page   60No"));
        QVERIFY(form().Text1->text().startsWith("No0001 "));
        form().Command4_Click();
        QCOMPARE(form().Text41->text(), QString("2/3Page   60No"));
        QVERIFY(form().Text1->text().startsWith("No0027 "));
        QVERIFY(f->user.messages.isEmpty());
    }

    void restoreWithNoRecords() {
        // Catches Restore on an empty store moving stale slots in or showing a wrong status.
        fill_records(form(), 10);
        form().clear_records(); // numbers stay behind in the empty slots
        form().show_page(2);
        form().Command7_Click();
        QCOMPARE(form().last_occupied(), -1);
        QCOMPARE(form().cur_page, int16_t{0});
        QCOMPARE(form().Text1->text(), QString("    "));
        QCOMPARE(form().Text41->text(), QString("1/1Page   0No"));
    }

    void restoreLosesNothing_data() {
        QTest::addColumn<std::vector<float>>("layout");   // record number per slot, kEmpty: no record
        QTest::addColumn<std::vector<float>>("expected"); // record numbers of the slots afterwards
        QTest::newRow("gap, numbers 1..8")
            << std::vector<float>{3, 1, 2, kEmpty, kEmpty, 8, 6, 7, 5, 4}
            << std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, kEmpty, kEmpty};
        QTest::newRow("gap, numbers as downloaded")
            << std::vector<float>{2, 1, kEmpty, kEmpty, 5, 4}
            << std::vector<float>{1, 2, kEmpty, 4, 5, kEmpty};
        QTest::newRow("repeated number")
            << std::vector<float>{3, 3, 1, 2}
            << std::vector<float>{1, 2, 3, 3};
        QTest::newRow("numbers outside 1..n")
            << std::vector<float>{0, 9999, 2, -1, 1, 2.5f}
            << std::vector<float>{1, 2, 0, 9999, -1, 2.5f};
    }
    void restoreLosesNothing() {
        // Catches Restore dropping or doubling records whose numbers do not form 1..n.
        QFETCH(std::vector<float>, layout);
        QFETCH(std::vector<float>, expected);
        const int n = static_cast<int>(layout.size());
        for (int s = 0; s < n; ++s) {
            const auto i = static_cast<size_t>(s);
            if (layout[i] == kEmpty) continue;
            put_record(form(), s, 100 + s, 0x41, s);
            form().rec_no[i] = layout[i];
        }
        const auto before = record_bag(form());
        form().Command7_Click();
        QCOMPARE(record_bag(form()), before);
        std::vector<float> got;
        for (int s = 0; s < n; ++s) got.push_back(form().occupied(s) ? form().rec_no[static_cast<size_t>(s)] : kEmpty);
        QCOMPARE(got, expected);
        QCOMPARE(form().Text41->text(), QString("1/1Page   %1No").arg(static_cast<int>(before.size())));
    }
};

QTEST_MAIN(TstEmptyRestore)
#include "tst_empty_restore.moc"
