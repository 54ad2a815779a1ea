// Number texts and the number grammar that every entry box and label relies on.
#include "records/number_text.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace tessaro;

class TstNumberText : public QObject {
    Q_OBJECT

private slots:
    void baseText_data() {
        QTest::addColumn<double>("x");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("whole") << 100.0 << "100";
        QTest::newRow("below one") << 0.05 << ".05";
        QTest::newRow("negative below one") << -0.5 << "-.5";
        QTest::newRow("product of whole counts") << 4567.8 * 0.01 << "45.678";
        QTest::newRow("one hundredth") << 1 * 0.01 << ".01";
        QTest::newRow("decimal") << 12.3 << "12.3";
        QTest::newRow("fifteen digits, no exponent") << 123456789012345678.0 << "123456789012346000";
        QTest::newRow("tiny, no exponent") << 1e-7 << ".0000001";
        QTest::newRow("negative whole") << -42.0 << "-42";
        QTest::newRow("float widened keeps its noise") << double(12.3f) << "12.3000001907349";
    }
    void baseText() {
        // Catches exponents, trailing zeros, a leading zero below one, or more than 15 digits.
        QFETCH(double, x);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(base_text(x)), text);
    }

    void chartText() {
        // Catches a chart number without the blank that stands for its sign.
        QCOMPARE(chart_text(0.2), std::string(" .2"));
        QCOMPARE(chart_text(21), std::string(" 21"));
        QCOMPARE(chart_text(-1), std::string("-1"));
    }

    void parseNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isNumber");
        QTest::addColumn<double>("value");
        QTest::newRow("blanks around") << " 12.5 " << true << 12.5;
        QTest::newRow("plus sign") << "+3" << true << 3.0;
        QTest::newRow("minus sign") << "-2" << true << -2.0;
        QTest::newRow("point first") << ".5" << true << 0.5;
        QTest::newRow("point last") << "5." << true << 5.0;
        QTest::newRow("exponent") << "1e3" << true << 1000.0;
        QTest::newRow("capital exponent, negative") << "1E-2" << true << 0.01;
        QTest::newRow("overflow is still a number") << "1e999" << true << std::numeric_limits<double>::infinity();
        QTest::newRow("underflow reads zero") << "1e-999" << true << 0.0;
        QTest::newRow("exponent without digits") << "1e" << false << 0.0;
        QTest::newRow("exponent alone") << "e3" << false << 0.0;
        QTest::newRow("letters") << "abc" << false << 0.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("blanks") << "   " << false << 0.0;
        QTest::newRow("nan") << "nan" << false << 0.0;
        QTest::newRow("inf") << "inf" << false << 0.0;
        QTest::newRow("hex") << "0x10" << false << 0.0;
        QTest::newRow("comma") << "1,5" << false << 0.0;
        QTest::newRow("inner blank") << "12 3" << false << 0.0;
        QTest::newRow("sign alone") << "-" << false << 0.0;
        QTest::newRow("two points") << "1.2.3" << false << 0.0;
    }
    void parseNumber() {
        // Catches "nan", "inf", hex or stray characters taken as numbers, or real numbers refused.
        QFETCH(QString, text);
        QFETCH(bool, isNumber);
        QFETCH(double, value);
        const QByteArray bytes = text.toLatin1();
        const auto got = parse_number(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
        QCOMPARE(got.has_value(), isNumber);
        if (isNumber) QCOMPARE(*got, value);
    }

    void wholeNumbers() {
        // Catches rounding away from even, a 16-bit value that wraps, or a division by zero.
        QCOMPARE(nearest(2.5), 2.0);
        QCOMPARE(nearest(3.5), 4.0);
        QCOMPARE(to_int16(32767.4), std::optional<int16_t>(32767));
        QCOMPARE(to_int16(32767.5), std::optional<int16_t>()); // rounds to 32768
        QCOMPARE(to_int16(-32768.0), std::optional<int16_t>(-32768));
        QCOMPARE(to_int16(std::nan("")), std::optional<int16_t>());
        QCOMPARE(int_div(1234.5 * 100, 1000), std::optional<int64_t>(123));
        QCOMPARE(int_div(-7, 2), std::optional<int64_t>(-3));
        QCOMPARE(int_div(5, 0.4), std::optional<int64_t>()); // the divisor rounds to 0
    }
};

QTEST_MAIN(TstNumberText)
#include "tst_number_text.moc"
