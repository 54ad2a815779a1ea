// The print options rules: sheet counts, captions and the check of a print range.
#include "output/print_options.h"

#include <QtTest>

using namespace tessaro;

namespace {
const QString kEmpty = QStringLiteral("输入错误");
const QString kType = QStringLiteral("所输入的数据类型不对");
const QString kFirstZero = QStringLiteral("打印开始页数不能为0");
const QString kLastZero = QStringLiteral("打印结束页数不能为0");
const QString kFirstRange = QStringLiteral("打印开始页数超出范围");
const QString kLastRange = QStringLiteral("打印结束页数超出范围");
} // namespace

class TstPrintOptions : public QObject {
    Q_OBJECT
private slots:
    void captions_data();
    void captions();
    void answers_data();
    void answers();
};

void TstPrintOptions::captions_data() {
    QTest::addColumn<int>("ji_ge");
    QTest::addColumn<QString>("records");
    QTest::addColumn<QString>("sheets");
    QTest::newRow("no records") << 1 << QStringLiteral("共有:0组") << QStringLiteral("结束页数:1页");
    QTest::newRow("155 records") << 156 << QStringLiteral("共有:155组") << QStringLiteral("结束页数:1页");
    QTest::newRow("156 records") << 157 << QStringLiteral("共有:156组") << QStringLiteral("结束页数:2页");
    QTest::newRow("250 records") << 251 << QStringLiteral("共有:250组") << QStringLiteral("结束页数:2页");
    QTest::newRow("311 records") << 312 << QStringLiteral("共有:311组") << QStringLiteral("结束页数:2页");
    QTest::newRow("4601 records") << 4602 << QStringLiteral("共有:4601组") << QStringLiteral("结束页数:30页");
}

void TstPrintOptions::captions() {
    // Catches counting sheets from the records instead of ji_ge, or an off-by-one at multiples of 156.
    QFETCH(int, ji_ge);
    QFETCH(QString, records);
    QFETCH(QString, sheets);
    QCOMPARE(records_caption(ji_ge), records);
    QCOMPARE(sheets_caption(ji_ge), sheets);
}

void TstPrintOptions::answers_data() {
    QTest::addColumn<bool>("range");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<int>("ji_ge");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<int>("dayinlin");
    QTest::addColumn<int>("dakai");
    QTest::addColumn<int>("dajie");
    QTest::addColumn<QString>("corrected"); // empty: Text2 unchanged

    const QStringList none;
    QTest::newRow("all, 155 records") << false << "" << "" << 156 << none << true << 10 << 0 << 1 << "";
    QTest::newRow("all, 156 records") << false << "" << "" << 157 << none << true << 10 << 0 << 2 << "";
    QTest::newRow("all, no records cancels") << false << "" << "" << 1 << none << true << 9 << 0 << 0 << "";
    QTest::newRow("all ignores the boxes") << false << "x" << "" << 300 << none << true << 10 << 0 << 2 << "";
    QTest::newRow("range 1 to 1, no records") << true << "1" << "1" << 1 << none << true << 10 << 0 << 1 << "";
    QTest::newRow("range 1 to 999, 200 records") << true << "1" << "999" << 201 << none << true << 10 << 0 << 2 << "2";
    QTest::newRow("range 2.5 to 3") << true << "2.5" << "3" << 1000 << none << true << 10 << 2 << 3 << "";
    QTest::newRow("range 1 to 2.5 rounds to even") << true << "1" << "2.5" << 1000 << none << true << 10 << 0 << 2 << "";
    QTest::newRow("range 0.4 to 1 starts before sheet 0") << true << "0.4" << "1" << 1000 << none << true << 10 << -1 << 1 << "";
    QTest::newRow("range 3 to 1 goes on empty") << true << "3" << "1" << 1000 << none << true << 10 << 2 << 1 << "";
    QTest::newRow("blanks around numbers") << true << " 2 " << " 3 " << 1000 << none << true << 10 << 1 << 3 << "";
    QTest::newRow("range 0 to 3") << true << "0" << "3" << 1000 << QStringList{kFirstZero} << false << 0 << 0 << 0 << "";
    QTest::newRow("range 1 to 0") << true << "1" << "0" << 1000 << QStringList{kLastZero} << false << 0 << 0 << 0 << "";
    QTest::newRow("range -0 to 0") << true << "-0" << "0" << 1000 << QStringList{kFirstZero, kLastZero} << false << 0 << 0 << 0 << "";
    QTest::newRow("letters to 3") << true << "abc" << "3" << 1000 << QStringList{kType, kFirstZero} << false << 0 << 0 << 0 << "";
    QTest::newRow("1 to letters") << true << "1" << "x2" << 1000 << QStringList{kType, kLastZero} << false << 0 << 0 << 0 << "";
    QTest::newRow("letters to letters") << true << "a" << "b" << 1000 << QStringList{kType, kFirstZero, kLastZero} << false << 0 << 0 << 0 << "";
    QTest::newRow("letters to 0") << true << "a" << "0" << 1000 << QStringList{kType, kFirstZero, kLastZero} << false << 0 << 0 << 0 << "";
    QTest::newRow("blank first is no number") << true << "  " << "3" << 1000 << QStringList{kType, kFirstZero} << false << 0 << 0 << 0 << "";
    QTest::newRow("empty first") << true << "" << "3" << 1000 << QStringList{kEmpty} << false << 0 << 0 << 0 << "";
    QTest::newRow("empty last") << true << "1" << "" << 1000 << QStringList{kEmpty} << false << 0 << 0 << 0 << "";
    QTest::newRow("both empty") << true << "" << "" << 1000 << QStringList{kEmpty} << false << 0 << 0 << 0 << "";
    QTest::newRow("first 99999 too big") << true << "99999" << "3" << 1000 << QStringList{kFirstRange} << false << 0 << 0 << 0 << "";
    QTest::newRow("first -32768 has no sheet before") << true << "-32768" << "3" << 1000 << QStringList{kFirstRange} << false << 0 << 0 << 0 << "";
    QTest::newRow("first too big, last 0") << true << "40000" << "0" << 1000 << QStringList{kFirstRange, kLastZero} << false << 0 << 0 << 0 << "";
    QTest::newRow("first letters, last too small") << true << "a" << "-40000" << 1000 << QStringList{kType, kFirstZero, kLastRange} << false << 0 << 0 << 0 << "";
    QTest::newRow("last 32767 is the last sheet") << true << "1" << "32767" << 1000 << none << true << 10 << 0 << 7 << "7";
    QTest::newRow("last 40000 is the last sheet") << true << "1" << "40000" << 1000 << none << true << 10 << 0 << 7 << "7";
    QTest::newRow("last 99999 is the last sheet") << true << "2" << "99999" << 1000 << none << true << 10 << 1 << 7 << "7";
    QTest::newRow("last 1e9 is the last sheet") << true << "1" << "1e9" << 1000 << none << true << 10 << 0 << 7 << "7";
    QTest::newRow("last 1e400 is the last sheet") << true << "1" << "1e400" << 1000 << none << true << 10 << 0 << 7 << "7";
    QTest::newRow("last -40000 does not fit") << true << "1" << "-40000" << 1000 << QStringList{kLastRange} << false << 0 << 0 << 0 << "";
    QTest::newRow("first nan") << true << "nan" << "3" << 1000 << QStringList{kType, kFirstZero} << false << 0 << 0 << 0 << "";
    QTest::newRow("last inf") << true << "1" << "inf" << 1000 << QStringList{kType, kLastZero} << false << 0 << 0 << 0 << "";
    QTest::newRow("hex is no number") << true << "0x2" << "3" << 1000 << QStringList{kType, kFirstZero} << false << 0 << 0 << 0 << "";
    QTest::newRow("largest first fits") << true << "32767" << "3" << 1000 << none << true << 10 << 32766 << 3 << "";
}

void TstPrintOptions::answers() {
    // Catches a wrong message or order, a window that closes on bad entries, a missed correction
    // of the last sheet, rounding other than halves-to-even, or an entry wrapping into 16 bits.
    QFETCH(bool, range);
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(int, ji_ge);
    QFETCH(QStringList, messages);
    QFETCH(bool, closes);
    QFETCH(int, dayinlin);
    QFETCH(int, dakai);
    QFETCH(int, dajie);
    QFETCH(QString, corrected);

    const PrintAnswer answer = validate_print_options(range, first, last, ji_ge);
    QCOMPARE(answer.messages, messages);
    QCOMPARE(answer.closes, closes);
    QCOMPARE(int(answer.dayinlin), dayinlin);
    if (dayinlin == 10) {
        QCOMPARE(int(answer.dakai), dakai);
        QCOMPARE(int(answer.dajie), dajie);
    }
    QCOMPARE(answer.corrected_last.value_or(QString()), corrected);
}

QTEST_GUILESS_MAIN(TstPrintOptions)
#include "tst_print_options.moc"
