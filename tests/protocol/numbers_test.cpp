#include "dates.h"
#include "fields.h"
#include "numbers.h"

#include <QLocale>
#include <gtest/gtest.h>
#include <cmath>

using namespace korvi;

TEST(ReadNumber, ReadsThePeerForms)
{
    EXPECT_DOUBLE_EQ(readNumber("  101.5"), 101.5);
    EXPECT_DOUBLE_EQ(readNumber(" .5"), 0.5);
    EXPECT_DOUBLE_EQ(readNumber("-.5"), -0.5);
    EXPECT_DOUBLE_EQ(readNumber("+7"), 7);
    EXPECT_DOUBLE_EQ(readNumber("1E+07"), 1e7);
    EXPECT_DOUBLE_EQ(readNumber("1.5e-3"), 0.0015);
    EXPECT_DOUBLE_EQ(readNumber("1 234 5"), 12345);
    EXPECT_DOUBLE_EQ(readNumber("12;34"), 12);
    EXPECT_DOUBLE_EQ(readNumber("3.25.7"), 3.25);
    EXPECT_DOUBLE_EQ(readNumber("7E"), 7);
    EXPECT_DOUBLE_EQ(readNumber("7Ex"), 7);
}

TEST(ReadNumber, TextWithoutNumberIsZero)
{
    EXPECT_EQ(readNumber(""), 0);
    EXPECT_EQ(readNumber("abc"), 0);
    EXPECT_EQ(readNumber("-"), 0);
    EXPECT_EQ(readNumber("."), 0);
    EXPECT_EQ(readNumber(",5"), 0);
}

TEST(ReadNumber, IgnoresTheLocale)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    EXPECT_DOUBLE_EQ(readNumber("2.75"), 2.75);
    EXPECT_EQ(writeSingle(2.75f), " 2.75");
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(before);
}

TEST(ReadNumber, HugeAndLongInputsStayBounded)
{
    EXPECT_TRUE(std::isinf(readNumber("1e999")));
    EXPECT_EQ(readNumber("1e-999"), 0);
    const QByteArray digits(5000, '9');
    const double v = readNumber(digits);
    EXPECT_TRUE(std::isinf(v) || v > 1e300);
    EXPECT_DOUBLE_EQ(readNumber(QByteArray(3000, '0') + "42"), 42);
    EXPECT_DOUBLE_EQ(readNumber("000.50"), 0.5);
    EXPECT_EQ(readNumber("000"), 0);
}

TEST(ToInteger, RoundsHalvesToEvenAndRefusesOutOfRange)
{
    EXPECT_EQ(toInt32(2.5), 2);
    EXPECT_EQ(toInt32(3.5), 4);
    EXPECT_EQ(toInt32(-2.5), -2);
    EXPECT_EQ(toInt32(2.51), 3);
    EXPECT_EQ(toInt16(32767.4), 32767);
    EXPECT_FALSE(toInt16(32767.5).has_value());
    EXPECT_FALSE(toInt16(-40000).has_value());
    EXPECT_FALSE(toInt32(3e9).has_value());
    EXPECT_FALSE(toInt32(NAN).has_value());
    EXPECT_FALSE(toInt32(INFINITY).has_value());
}

TEST(WriteNumber, LeadingBlankShortestForm)
{
    EXPECT_EQ(writeSingle(0.5f), " .5");
    EXPECT_EQ(writeSingle(-0.5f), "-.5");
    EXPECT_EQ(writeSingle(101.5f), " 101.5");
    EXPECT_EQ(writeSingle(3800), " 3800");
    EXPECT_EQ(writeSingle(0), " 0");
    EXPECT_EQ(writeSingle(-0.0f), " 0");
    EXPECT_EQ(writeSingle(0.1f), " .1");
    EXPECT_EQ(writeSingle(1234567), " 1234567");
    EXPECT_EQ(writeSingle(1e7f), " 1E+07");
    EXPECT_EQ(writeSingle(12345678), " 1.234568E+07");
    EXPECT_EQ(writeSingle(0.0001f), " .0001");
    EXPECT_EQ(writeSingle(0.000015f), " 1.5E-05");
    EXPECT_EQ(writeSingle(-4711.25f), "-4711.25");
    EXPECT_EQ(writeDouble(0.1), " .1");
    EXPECT_EQ(writeDouble(123456789012345.0), " 123456789012345");
    EXPECT_EQ(writeDouble(1e15), " 1E+15");
    EXPECT_EQ(writeDouble(1.0 / 3.0), " .333333333333333");
    EXPECT_EQ(stri(-12), "-12");
    EXPECT_EQ(stri(40), "40");
}

TEST(WriteNumber, RoundTripsThroughReading)
{
    for (float v : {0.25f, 0.3333333f, 4711.5f, -0.001f, 98765.43f, 3.4e38f}) {
        const QByteArray text = writeSingle(v);
        EXPECT_EQ(static_cast<float>(readNumber(text)), v) << text.constData();
    }
}

TEST(SplitFields, CountsAndKeepsPieces)
{
    Fields f;
    EXPECT_EQ(f.split("a;b;", 10, ';'), 2);
    EXPECT_EQ(f[1], "a");
    EXPECT_EQ(f[2], "b");
    EXPECT_EQ(f[3], "");

    EXPECT_EQ(f.split("a;;b", 10, ';'), 3);
    EXPECT_EQ(f[2], "");
    EXPECT_EQ(f[3], "b");

    EXPECT_EQ(f.split(";a", 10, ';'), 2);
    EXPECT_EQ(f[1], "");
    EXPECT_EQ(f.split("", 10, ';'), 0);

    // Pieces beyond the maximum are counted but not kept.
    EXPECT_EQ(f.split("1;2;3;4", 2, ';'), 4);
    EXPECT_EQ(f.stored(), 2);
    EXPECT_EQ(f[3], "");

    EXPECT_EQ(f.split("x<>y<>z", 5, "<>"), 3);
    EXPECT_EQ(f[3], "z");
}

TEST(Dates, DayNumbersAndTimes)
{
    EXPECT_EQ(DatumAusText("18991230"), 0);
    EXPECT_EQ(DatumAusText("20040920"), 38250);
    EXPECT_EQ(DatumText(38250), "20040920");
    EXPECT_EQ(DatumAusText("20041301"), DatumAusText("20050101"));
    EXPECT_FALSE(DatumAusText("garbage").has_value());
    EXPECT_FALSE(DatumAusText("").has_value());
    for (qint32 d : {38250, 40000, 46000})
        EXPECT_EQ(DatumAusText(DatumText(d)), d);

    EXPECT_EQ(FormatZeit("123456"), "12:34:56");
    EXPECT_EQ(FormatZeit(" 12345 "), "12:34:45");
    EXPECT_EQ(FormatZeit("1234"), "-");
    EXPECT_EQ(FormatZeit(""), "-");

    // The hand-written clock text agrees with Qt's formatting at every second of a day.
    for (int second = 0; second < 24 * 3600; ++second) {
        const QTime time = QTime(0, 0).addSecs(second);
        ASSERT_EQ(clockText(time), time.toString(QStringLiteral("HH:mm:ss"))) << second;
    }
    EXPECT_EQ(clockText(QTime()), QString());
}
