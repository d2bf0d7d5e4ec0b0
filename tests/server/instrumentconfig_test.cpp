#include "instrumentconfig.h"

#include <QFile>
#include <QSet>
#include <cmath>
#include <gtest/gtest.h>

using namespace korvi::server;

namespace {

TEST(InstrumentConfigTest, ShippedListIsValid)
{
    QString error;
    const std::vector<InstrumentSpec> definitions = loadInstrumentConfig(QStringLiteral(KORVI_SHIPPED_INSTRUMENTS), error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_GE(definitions.size(), 12u);
    // What a wrong line would break in the game: two instruments under one name, a start
    // price off the tick grid (every price the simulator makes would be off it), a margin
    // or factor that makes positions free.
    QSet<QByteArray> tickers, codes;
    for (const InstrumentSpec& d : definitions) {
        SCOPED_TRACE(d.ticker.toStdString());
        EXPECT_FALSE(tickers.contains(d.ticker));
        EXPECT_FALSE(codes.contains(d.code));
        tickers.insert(d.ticker);
        codes.insert(d.code);
        EXPECT_EQ(d.currency.size(), 3);
        EXPECT_GT(d.factor, 0);
        EXPECT_GT(d.margin, 0);
        ASSERT_GT(d.tickSize, 0);
        const double ticks = d.startPrice / d.tickSize;
        EXPECT_NEAR(ticks, std::round(ticks), 1e-6);
        EXPECT_GE(d.commission, 0);
    }
    // The first line is the one the demo and the documentation use.
    EXPECT_EQ(definitions[0].ticker, "FDAX");
    EXPECT_DOUBLE_EQ(definitions[0].factor, 25);
    EXPECT_DOUBLE_EQ(definitions[0].tickSize, 0.5);
}

TEST(InstrumentConfigTest, ReadsLinesCommentsAndOptionalCommission)
{
    QString error;
    const std::vector<InstrumentSpec> definitions = parseInstrumentConfig(
        "# comment\n\n"
        "FDAX;FDAX.EUREX;EUR;DAX Future;25;32000;18250;0.5;2.50\r\n"
        "  6E ; 6E.CME ; USD ; Euro FX ; 125000 ; 2600 ; 1.085 ; 0.00005\n",
        error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_EQ(definitions.size(), 2u);
    EXPECT_EQ(definitions[0].ticker, "FDAX");
    EXPECT_EQ(definitions[0].name, "DAX Future");
    EXPECT_DOUBLE_EQ(definitions[0].factor, 25);
    EXPECT_DOUBLE_EQ(definitions[0].margin, 32000);
    EXPECT_DOUBLE_EQ(definitions[0].startPrice, 18250);
    EXPECT_DOUBLE_EQ(definitions[0].tickSize, 0.5);
    EXPECT_DOUBLE_EQ(definitions[0].commission, 2.5);
    EXPECT_EQ(definitions[1].code, "6E.CME");
    EXPECT_DOUBLE_EQ(definitions[1].commission, 0);
}

TEST(InstrumentConfigTest, BadLinesFailTheWholeFileNamingTheLine)
{
    const char* good = "A;A1;EUR;Alpha;1;1;100;1\n";
    const std::vector<std::pair<QByteArray, const char*>> cases = {
        {"A;A1;EUR;Alpha;1;1;100\n", "too few fields"},
        {"A;A1;EUR;Alpha;1;1;100;1;0;9\n", "too many fields"},
        {"A;A1;EUR;Alpha;1x;1;100;1\n", "number with junk"},
        {"A;A1;EUR;Alpha;1;1;100;0\n", "zero tick"},
        {"A;A1;EUR;Alpha;1;1;100.5;1\n", "start off the grid"},
        {"A;A1;EUR;Alpha;1;1;50;1\n", "too few ticks to move"},
        {"A;A1;EUR;;1;1;100;1\n", "empty name"},
        {"A;A1;EUR;Alpha;1;-1;100;1\n", "negative margin"},
        {"A;A2;EUR;Other;1;1;100;1\n", "ticker twice"},
        {"# only a comment\n", "no instruments"},
    };
    for (const auto& [text, what] : cases) {
        QString error;
        const QByteArray file = (QByteArray(what) == "ticker twice" ? QByteArray(good) : QByteArray()) + text;
        EXPECT_TRUE(parseInstrumentConfig(file, error).empty()) << what;
        EXPECT_FALSE(error.isEmpty()) << what;
    }
    QString error;
    parseInstrumentConfig(QByteArray(good) + "B;B1;EUR;Beta;1;1;x;1\n", error);
    EXPECT_TRUE(error.startsWith(QLatin1String("line 2:"))) << error.toStdString();
    loadInstrumentConfig(QStringLiteral("/nonexistent/instruments.conf"), error);
    EXPECT_TRUE(error.contains(QLatin1String("cannot read")));
}

} // namespace
