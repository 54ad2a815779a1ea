// The history table on screen: page lines, the status line, Up, Down and Go to.
#include "app/form1.h"
#include "history_fill.h"
#include "records/record_format.h"
#include "support/form_fixture.h"

#include <QLineEdit>
#include <QLocale>
#include <QTest>

#include <limits>
#include <memory>

using namespace tessaro;
using tessaro::test::fill_records;

class TstPaging : public QObject {
    Q_OBJECT

    std::unique_ptr<test::FormFixture> f;

    Form1& form() { return *f->form; }
    QStringList titles() const {
        QStringList t;
        for (const auto& m : f->user.messages) t << m.text + "|" + m.title + (m.yes_no ? "|yes_no" : "|ok");
        return t;
    }
    bool page_blank() {
        for (int n = 1; n <= 26; ++n)
            if (form().text_box(n)->text() != QLatin1String("    ")) return false;
        return true;
    }

private slots:
    void init() {
        f = std::make_unique<test::FormFixture>();
        form().Command9_Click(); // the history view
    }
    void cleanup() { f.reset(); }

    void countsAndPages_data() {
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("status");
        QTest::newRow("none") << 0 << "1/1Page   0No";
        QTest::newRow("24") << 24 << "1/1Page   24No";
        QTest::newRow("25") << 25 << "1/2Page   25No";
        QTest::newRow("26") << 26 << "1/2Page   26No";
        QTest::newRow("27") << 27 << "1/2Page   27No";
        QTest::newRow("51") << 51 << "1/3Page   51No";
        QTest::newRow("52") << 52 << "1/3Page   52No";
    }
    void countsAndPages() {
        // Catches a status line written from stale counters or a wrong page count.
        QFETCH(int, records);
        QFETCH(QString, status);
        fill_records(form(), records);
        form().Text27->setText("1");
        form().Command8_Click();
        QCOMPARE(form().Text41->text(), status);
        QVERIFY(f->user.messages.isEmpty());
    }

    void emptyStoreEdges() {
        // Catches Down past an empty table without "Last Page", or Up without "First Page".
        form().Command4_Click();
        QCOMPARE(titles(), QStringList{"Last Page|System prompt|ok"});
        QCOMPARE(form().Text41->text(), QString("1/1Page   0No"));
        QCOMPARE(form().cur_page, int16_t{0});
        QVERIFY(page_blank());
        form().Command3_Click();
        QCOMPARE(titles(), (QStringList{"Last Page|System prompt|ok", "First Page|System prompt|ok"}));
        QCOMPARE(form().Text41->text(), QString("1/1Page   0No"));
        QCOMPARE(form().cur_page, int16_t{0});
    }

    void downToBlankExtraPageThenLast() {
        // Catches a message on the blank extra page, or Down running past page_count.
        fill_records(form(), 26);
        form().show_page(1);
        form().Command4_Click();
        QVERIFY(f->user.messages.isEmpty());
        QCOMPARE(form().Text41->text(), QString("2/2Page   26No"));
        QCOMPARE(form().cur_page, int16_t{1});
        QVERIFY(page_blank());
        form().Command4_Click();
        QCOMPARE(titles(), QStringList{"Last Page|System prompt|ok"});
        QCOMPARE(form().Text41->text(), QString("2/2Page   26No"));
        QCOMPARE(form().cur_page, int16_t{1});
        form().Command3_Click();
        QCOMPARE(f->user.messages.size(), 1);
        QCOMPARE(form().Text41->text(), QString("1/2Page   26No"));
        QVERIFY(form().Text1->text().startsWith("No0001 "));
    }

    void downReachesEveryPageOfAFullMemory() {
        // Catches the old 170-page turn-back: pages 172.. of a full memory were unreachable.
        fill_records(form(), 4601);
        form().show_page(1);
        for (int page = 2; page <= 177; ++page) form().Command4_Click();
        QCOMPARE(form().Text41->text(), QString("177/178Page   4601No"));
        QVERIFY(form().Text1->text().startsWith("No4577 "));
        QVERIFY(form().Text25->text().startsWith("No4601 "));
        QCOMPARE(form().Text26->text(), QString("    "));
        form().Command4_Click(); // the extra page after a count of 25 mod 26
        QVERIFY(f->user.messages.isEmpty());
        QCOMPARE(form().Text41->text(), QString("178/178Page   4601No"));
        QCOMPARE(form().cur_page, int16_t{177});
        QVERIFY(page_blank());
        form().Command4_Click();
        QCOMPARE(titles(), QStringList{"Last Page|System prompt|ok"});
        QCOMPARE(form().cur_page, int16_t{177});
    }

    void goTo_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("page"); // 1-based page on show afterwards
        // 110 records give 5 pages; the test starts on page 3.
        QTest::newRow("beyond") << "99" << "5" << 5;
        QTest::newRow("letters") << "abc" << "5" << 5;
        QTest::newRow("zero") << "0" << "1" << 1;
        QTest::newRow("empty") << "" << "1" << 1;
        QTest::newRow("half to even down") << "2.5" << "2.5" << 2;
        QTest::newRow("half to even up") << "3.5" << "3.5" << 4;
        QTest::newRow("blanks") << " 4 " << " 4 " << 4;
        QTest::newRow("negative keeps page") << "-2" << "-2" << 3;
        QTest::newRow("rounds to zero keeps page") << "0.4" << "0.4" << 3;
        QTest::newRow("nan") << "nan" << "5" << 5;
        QTest::newRow("inf") << "inf" << "5" << 5;
        QTest::newRow("huge") << "1e300" << "5" << 5;
        QTest::newRow("hex") << "0x2" << "5" << 5;
    }
    void goTo() {
        // Catches a wrong correction of the Go-to box, a jump to no page, or a message from Go to.
        QFETCH(QString, typed);
        QFETCH(QString, box);
        QFETCH(int, page);
        fill_records(form(), 110);
        form().show_page(3);
        form().Text27->setText(typed);
        form().Command8_Click();
        QCOMPARE(form().Text27->text(), box);
        QCOMPARE(form().cur_page, int16_t(page - 1));
        QCOMPARE(form().Text41->text(), QString("%1/5Page   110No").arg(page));
        QVERIFY(f->user.messages.isEmpty());
        QVERIFY(form().Text1->text().startsWith(QString("No%1 ").arg((page - 1) * 26 + 1, 4, 10, QChar('0'))));
    }

    void linesShowTheirSlots() {
        // Catches lines taken from the wrong slot or put into the wrong column.
        fill_records(form(), 60);
        form().rec_mark[40] = 1;
        form().show_page(2);
        for (int r = 0; r < 26; ++r) {
            const int slot = 26 + r;
            const QString line = form().text_box(r + 1)->text();
            QCOMPARE(line, format_record_text(form(), slot, QLocale::system()));
            QVERIFY2(line.startsWith(QString("No%1 ").arg(slot + 1, 4, 10, QChar('0'))), qPrintable(line));
        }
        QVERIFY(form().Text13->text().startsWith("No0039 "));
        QVERIFY(form().Text14->text().startsWith("No0040 "));
        QVERIFY(form().Text15->text().endsWith(QString::fromUtf8("       ■ ")));
        form().format_record(1, 25);
        QCOMPARE(form().rec_text, form().Text26->text());
    }

    void pagesOutsideTheStore_data() {
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("curPage");
        QTest::newRow("zero") << 0 << -1;
        QTest::newRow("negative") << -5 << -6;
        QTest::newRow("lowest") << int{std::numeric_limits<int16_t>::min()} << int{std::numeric_limits<int16_t>::min()};
        QTest::newRow("past the store") << 309 << 308;
        QTest::newRow("highest") << int{std::numeric_limits<int16_t>::max()} << int{std::numeric_limits<int16_t>::max() - 1};
    }
    void pagesOutsideTheStore() {
        // Catches a crash or a wrapped slot index for a page the store does not have.
        QFETCH(int, page);
        QFETCH(int, curPage);
        fill_records(form(), 4601);
        form().show_page(static_cast<int16_t>(page));
        QCOMPARE(int{form().cur_page}, curPage);
        QVERIFY(page_blank());
        form().format_record(form().cur_page, 25);
        QCOMPARE(form().rec_text, QString("    "));
    }
};

QTEST_MAIN(TstPaging)
#include "tst_paging.moc"
