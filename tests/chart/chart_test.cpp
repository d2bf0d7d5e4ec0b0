#include "chart/chart.h"
#include "chart/chartcontrol.h"
#include "chart/chartdrawing.h"
#include "orders/ordergridview.h"
#include "numbers.h"
#include "support/liveserver.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <gtest/gtest.h>
#include <cmath>
#include <random>

using namespace korvi;
using namespace korvi::test;

namespace {

TEST(ChartStep, FollowsTheTableAndCutsToFiveDecimals)
{
    struct Case {
        double v, step;
    } cases[] = {
        {0, 0.001},          {0.0015, 0.001},       {0.00199999, 0.001},  {0.001999995, 0.01}, // between rows: next row
        {0.002, 0.01},       {0.03, 0.025},         {0.0999999, 0.05},    {0.1, 0.1},
        {0.3, 0.25},         {0.5, 0.5},            {1.999999, 1},        {2, 2.5},
        {7, 5},              {140, 100},            {450000, 250000},     {999999.9, 500000},
        {1234567.123456789, 1234567.12345},         {9999998, 9999998},   {9999999, 5000000},
        {1e12, 5000000},     {-3, 0.001},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(ChartStep(c.v), c.step) << "v = " << c.v;
}

// Slots 2999, 3000, 1 and 2 filled, the newest in slot 2: the ring wraps.
struct RingHistory {
    PriceHistory h;
    RingHistory()
    {
        h.create(1);
        h.at(1, 2999) = {90, 91, 90.5f, 0, 0};
        h.at(1, 3000) = {95, 99, 97, 0, 0};
        h.at(1, 1) = {0, 120, 110, 0, 0}; // no bid: does not lower the minimum
        h.at(1, 2) = {100, 101, 100.5f, 0, 0};
        h.setPos(1, 2);
    }
};

TEST(Mima, ReadsTheNewestSnapshotsAcrossTheRingEnd)
{
    RingHistory r;
    struct Case {
        int wp, range;
        double min, max;
    } cases[] = {
        {1, 1, 100, 101}, {1, 2, 100, 120},  {1, 3, 95, 120},
        {1, 4, 90, 120},  {1, 50, 90, 120},  // empty slots: ask 0 is below, bid 0 ignored
        {1, 0, kMimaMinimum, kMimaMaximum},  {1, -5, kMimaMinimum, kMimaMaximum},
        {2, 100, kMimaMinimum, kMimaMaximum}, // an instrument without history
    };
    for (const Case& c : cases) {
        double mn = 0, mx = 0;
        Mima(r.h, c.wp, c.range, mn, mx);
        EXPECT_EQ(mn, c.min) << "wp " << c.wp << " range " << c.range;
        EXPECT_EQ(mx, c.max) << "wp " << c.wp << " range " << c.range;
    }
}

TEST(ChartLabel, CutsToTwoDecimals)
{
    EXPECT_EQ(chartLabel(1.0834, 0.001), " 1.083"); // labels closer than 0.01 keep three
    EXPECT_EQ(chartLabel(101.075, 0.025), " 101.07");
    EXPECT_EQ(chartLabel(101.257), " 101.25");
    EXPECT_EQ(chartLabel(101.25 - 1e-12), " 101.25"); // a computed grid height
    EXPECT_EQ(chartLabel(0.5), " .5");
    EXPECT_EQ(chartLabel(18250), " 18250");
}

QImage blank(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

// The colour found in a small square around a point, preferring `wanted`.
bool near(const QImage& img, QPointF p, QColor wanted, int radius = 1)
{
    for (int dx = -radius; dx <= radius; ++dx)
        for (int dy = -radius; dy <= radius; ++dy) {
            const QPoint q(qRound(p.x()) + dx, qRound(p.y()) + dy);
            if (img.rect().contains(q) && img.pixelColor(q) == wanted)
                return true;
        }
    return false;
}

int countColour(const QImage& img, QColor c)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += img.pixelColor(x, y) == c;
    return n;
}

// `count` snapshots in slots 1.., the ask rising by 0.1 each time, bid 0.5 below, the last
// price 0.25 below the ask.
PriceHistory rising(int count)
{
    PriceHistory h;
    h.create(1);
    for (int i = 1; i <= count; ++i) {
        const float ask = 100 + i * 0.1f;
        h.at(1, i) = {ask - 0.5f, ask, ask - 0.25f, 0, 0};
    }
    h.setPos(1, count);
    return h;
}

const QColor kBlue(0, 0, 255), kRed(255, 0, 0), kGreen(0, 255, 0), kGrey(160, 160, 160);

TEST(ChartDrawing, RisingPricesLabelsAndGrid)
{
    const PriceHistory h = rising(100);
    QImage img = blank(600, 400);
    QPainter painter(&img);
    const ChartFrame f = chartupdate(painter, img.rect(), h, 1, 100);
    painter.end();

    ASSERT_TRUE(f.curves);
    EXPECT_EQ(f.xs, 2900);
    EXPECT_EQ(f.xe, 3005);
    EXPECT_FLOAT_EQ(f.maximum, 110.0f);
    EXPECT_FLOAT_EQ(f.minimum, 100.1f - 0.5f);
    EXPECT_NEAR(f.top - f.maximum, (f.maximum - f.minimum) / 10, 1e-9);

    // The ask rises from left to right in blue; bid red; the newest ends at position 3000.
    EXPECT_TRUE(near(img, f.toPixel(2999.5, 110.0f), kBlue));
    EXPECT_TRUE(near(img, f.toPixel(2900.5, 100.1f), kBlue));
    EXPECT_LT(f.toPixel(2999.5, 110.0f).y(), f.toPixel(2900.5, 100.1f).y());
    EXPECT_TRUE(near(img, f.toPixel(2999.5, 109.5f), kRed));
    EXPECT_FALSE(near(img, f.toPixel(3002.5, 110.0f), kBlue, 0)); // nothing right of the newest

    // The last price is green and three pixels thick.
    const int column = qRound(f.toPixel(2999.5, 0).x());
    const int row = qRound(f.toPixel(0, 109.75f).y());
    int green = 0;
    for (int y = row - 4; y <= row + 4; ++y)
        green += img.pixelColor(column, y) == kGreen;
    EXPECT_EQ(green, 3);

    // Labels: consecutive multiples of the step inside the bounds, each with a black tick
    // on both axes and a grey grid line between them.
    ASSERT_GE(f.labelCount, 2);
    EXPECT_GT(f.step, 0);
    EXPECT_NEAR(f.firstLabel / f.step, std::round(f.firstLabel / f.step), 1e-6);
    EXPECT_GT(f.firstLabel, f.minimum);
    EXPECT_LE(f.label(f.labelCount - 1), f.maximum);
    EXPECT_GT(f.label(f.labelCount), f.maximum);
    for (int i = 0; i < f.labelCount; ++i) {
        EXPECT_TRUE(near(img, f.toPixel(f.xe + f.tick / 2, f.label(i)), Qt::black)) << f.label(i);
        EXPECT_TRUE(near(img, f.toPixel(f.xs - f.tick / 2, f.label(i)), Qt::black)) << f.label(i);
        const int y = qRound(f.toPixel(0, f.label(i)).y());
        int grey = 0;
        for (int x = qRound(f.toPixel(f.xs, 0).x()); x < qRound(f.toPixel(f.xe, 0).x()); ++x)
            grey += img.pixelColor(x, y - 1) == kGrey || img.pixelColor(x, y) == kGrey || img.pixelColor(x, y + 1) == kGrey;
        EXPECT_GT(grey, 200) << f.label(i);
    }
    // The mouse reads prices back.
    EXPECT_NEAR(f.priceAt(f.toPixel(0, 105).y() - f.area.top()), 105, 1e-9);
}

TEST(ChartDrawing, ShowsOnlyTheNewestRange)
{
    const PriceHistory h = rising(250);
    QImage img = blank(500, 300);
    QPainter painter(&img);
    const ChartFrame f = chartupdate(painter, QRect(0, 0, 500, 300), h, 1, 100);
    painter.end();
    // Snapshots 151 to 250.
    EXPECT_FLOAT_EQ(f.maximum, 100 + 250 * 0.1f);
    EXPECT_FLOAT_EQ(f.minimum, 100 + 151 * 0.1f - 0.5f);
    EXPECT_TRUE(near(img, f.toPixel(2900.5, 100 + 151 * 0.1f), kBlue));
    EXPECT_TRUE(near(img, f.toPixel(2999.5, 100 + 250 * 0.1f), kBlue));
}

TEST(ChartDrawing, WithoutPricesOnlyTheEmptyAxes)
{
    PriceHistory h;
    h.create(2);
    h.at(2, 1) = {0, 0, 50, 0, 0}; // a snapshot without bid and ask
    h.setPos(2, 1);
    struct Case {
        int wp, range;
    } cases[] = {{1, 100}, {2, 100}, {3, 100}, {1, 0}};
    for (const Case& c : cases) {
        QImage img = blank(400, 300);
        QPainter painter(&img);
        const ChartFrame f = chartupdate(painter, img.rect(), h, c.wp, c.range);
        painter.end();
        EXPECT_FALSE(f.curves) << c.wp;
        EXPECT_EQ(f.labelCount, 0);
        EXPECT_EQ(countColour(img, kBlue) + countColour(img, kRed) + countColour(img, kGreen), 0) << c.wp;
        const QPointF axis = (f.toPixel(f.xs, f.minimum) + f.toPixel(f.xs, f.maximum)) / 2;
        EXPECT_TRUE(near(img, axis, Qt::black)) << c.wp;
        EXPECT_TRUE(near(img, (f.toPixel(f.xe, f.minimum) + f.toPixel(f.xe, f.maximum)) / 2, Qt::black));
    }
}

TEST(ChartDrawing, FlatPriceGetsABandAndZeroSizeDrawsNothing)
{
    PriceHistory h;
    h.create(1);
    for (int i = 1; i <= 20; ++i)
        h.at(1, i) = {50, 50, 50, 0, 0};
    h.setPos(1, 20);
    QImage img = blank(400, 300);
    QPainter painter(&img);
    const ChartFrame f = chartupdate(painter, img.rect(), h, 1, 100);
    painter.end();
    ASSERT_TRUE(f.curves);
    EXPECT_GT(f.top, f.bottom);
    EXPECT_LT(f.minimum, 50);
    EXPECT_GT(f.maximum, 50);
    EXPECT_GE(f.labelCount, 1);
    EXPECT_NEAR(f.toPixel(2999.5, 50).y(), 150, 1);
    EXPECT_TRUE(near(img, f.toPixel(2999.5, 50), kGreen, 0));

    for (QSize size : {QSize(0, 0), QSize(0, 300), QSize(400, 0)}) {
        QImage untouched = blank(400, 300);
        QPainter p2(&untouched);
        const ChartFrame z = chartupdate(p2, QRect(QPoint(10, 10), size), h, 1, 100);
        p2.end();
        EXPECT_FALSE(z.curves);
        EXPECT_EQ(countColour(untouched, Qt::white), 400 * 300);
    }
}

// A full ring into a narrow chart: several positions share each pixel column. The chart
// must cover the same pixels as the step curve drawn segment by segment.
TEST(ChartDrawing, FullRingMatchesTheCurveDrawnSegmentBySegment)
{
    PriceHistory h;
    h.create(1);
    std::uint32_t seed = 12345;
    double price = 18250;
    for (int s = 1; s <= PriceHistory::kSlots; ++s) {
        seed = seed * 1103515245u + 12345u;
        price += (int(seed >> 16) % 5 - 2) * 0.5;
        h.at(1, s) = {float(price - 300), float(price + 0.5), float(price - 600), 0, 0}; // kept apart
    }
    h.setPos(1, 1000);
    QImage img = blank(700, 400);
    QPainter painter(&img);
    const ChartFrame f = chartupdate(painter, img.rect(), h, 1, 3000);
    painter.end();

    QImage reference = blank(700, 400);
    QPainter ref(&reference);
    ref.setPen(QPen(kBlue, 1));
    for (int x = 1; x <= 3000; ++x) {
        const PriceSnapshot& s = h.at(1, (1000 + x - 1) % 3000 + 1);
        if (x > 1) {
            const PriceSnapshot& p = h.at(1, (1000 + x - 2) % 3000 + 1);
            ref.drawLine(f.toPixel(x - 1, p.Ask), f.toPixel(x - 1, s.Ask));
        }
        ref.drawLine(f.toPixel(x - 1, s.Ask), f.toPixel(x, s.Ask));
    }
    ref.end();
    // Every column shows the span of blue rows that the segments give it; a single line may
    // land one column either side, so each span is compared with the neighbours' union.
    auto spans = [](const QImage& image) {
        std::vector<std::pair<int, int>> out(image.width(), {9999, -1});
        for (int x = 0; x < image.width(); ++x)
            for (int y = 0; y < image.height(); ++y)
                if (image.pixelColor(x, y) == kBlue)
                    out[x] = {std::min(out[x].first, y), std::max(out[x].second, y)};
        return out;
    };
    const auto mine = spans(img), theirs = spans(reference);
    auto within = [](std::pair<int, int> s, const std::vector<std::pair<int, int>>& other, int x) {
        int lo = 9999, hi = -1;
        for (int c = x - 1; c <= x + 1; ++c)
            lo = std::min(lo, other[c].first), hi = std::max(hi, other[c].second);
        return s.first >= lo - 1 && s.second <= hi + 1;
    };
    int columns = 0, differing = 0;
    for (int x = qRound(f.toPixel(1, 0).x()) + 1; x < qRound(f.toPixel(2999, 0).x()); ++x) {
        ++columns;
        differing += !within(mine[x], theirs, x) || !within(theirs[x], mine, x);
    }
    EXPECT_GT(columns, 500);
    EXPECT_EQ(differing, 0);
}

// Over seeded price levels, spreads and chart sizes: every label fits between the edge and
// its tick on the left and inside the chart on the right, and no two neighbours read alike.
TEST(ChartDrawing, LabelsFitBesideTheAxesAndNeverRepeat)
{
    std::mt19937 random(5);
    const double levels[] = {1.0834, 131.25, 18263.5, 250000, 0.35};
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    int labels = 0;
    for (int round = 0; round < 60; ++round) {
        const double level = levels[random() % 5];
        const double spread = level * std::pow(10.0, -double(random() % 5)) / 4;
        PriceHistory h;
        h.create(1);
        for (int i = 1; i <= 100; ++i) {
            const float bid = float(level + spread * std::sin(i * 0.37 + round));
            h.at(1, i) = {bid, bid + float(spread / 50), bid, 0, 0};
        }
        h.setPos(1, 100);
        QImage img = blank(300 + int(random() % 500), 150 + int(random() % 400));
        QPainter painter(&img);
        const ChartFrame f = chartupdate(painter, img.rect(), h, 1, 100);
        painter.end();
        const QFontMetricsF metrics(font, &img);
        QString previous;
        for (int i = 0; i < f.labelCount; ++i, ++labels) {
            const QString text = chartLabel(f.label(i), f.step);
            const double w = metrics.horizontalAdvance(text);
            EXPECT_LE(w, f.labelWidth);
            EXPECT_LT(f.area.left() + w, f.toPixel(f.xs - f.tick, 0).x()) << text.toStdString() << " in " << img.width();
            EXPECT_LE(f.toPixel(f.xe + f.tick, 0).x() + 1 + w, f.area.right() + 1) << text.toStdString();
            EXPECT_NE(text, previous);
            previous = text;
        }
    }
    EXPECT_GT(labels, 200);
}

// Empty slots (a first run, a file of zeros) and prices of 0 are neither drawn nor counted
// in the scale: nothing reaches below the lowest real price, and a gap stays a gap.
TEST(ChartDrawing, EmptySlotsAreNeitherDrawnNorCounted)
{
    PriceHistory h;
    h.create(1);
    for (int i = 1; i <= 50; ++i) {
        const float bid = 18000 + (i % 7) * 0.5f;
        h.at(1, 2900 + i) = {bid, bid + 0.5f, bid + 0.25f, 0, 0};
    }
    h.at(1, 2925) = {};                  // an empty slot between prices
    h.at(1, 2930) = {18001, 0, 18001, 0, 0}; // no ask for a moment
    h.setPos(1, 2950);
    for (int range : {3000, 100}) {
        QImage img = blank(600, 400);
        QPainter painter(&img);
        const ChartFrame f = chartupdate(painter, img.rect(), h, 1, range);
        painter.end();
        ASSERT_TRUE(f.curves);
        EXPECT_EQ(f.minimum, 18000);
        EXPECT_EQ(f.maximum, 18003.5);
        const int low = qRound(f.toPixel(0, 18000).y()) + 2, high = qRound(f.toPixel(0, 18003.75).y()) - 2;
        int outside = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (y > low || y < high) {
                    const QColor c = img.pixelColor(x, y);
                    outside += c == kBlue || c == kRed || c == kGreen;
                }
        EXPECT_EQ(outside, 0) << range;
        if (range != 100)
            continue; // below one pixel per position a single empty slot is not visible
        // No curve across the empty slot 2925 (position 2975 of the chart).
        const int column = qRound(f.toPixel(2974.5, 0).x());
        int atGap = 0;
        for (int y = 0; y < img.height(); ++y)
            atGap += img.pixelColor(column, y) == kBlue || img.pixelColor(column, y) == kRed;
        EXPECT_EQ(atGap, 0) << range;
    }
}

TEST(ChartDrawing, PricesFarOutsideAnyMarketStillDraw)
{
    PriceHistory h;
    h.create(1);
    h.at(1, 1) = {1, 3e38f, 2, 0, 0};
    h.at(1, 2) = {1e-30f, 5, -3e38f, 0, 0};
    h.setPos(1, 2);
    QImage img = blank(400, 300);
    QPainter painter(&img);
    const ChartFrame f = chartupdate(painter, img.rect(), h, 1, 100);
    painter.end();
    EXPECT_TRUE(f.curves);
    EXPECT_EQ(f.labelCount, 0); // more labels than could ever be read
    EXPECT_GT(countColour(img, kBlue), 0);
}

TEST(Hotfields, HintsMessagesAndQuantityBands)
{
    struct Case {
        double x;
        const char* hint;
        const char* left;
        const char* right;
    } cases[] = {
        {0, "Links:Limit Long Rechts:Cancel Order", "Limit Long", "Cancel Orders"},
        {1, "Links:Limit Long Rechts:Cancel Order", "Limit Long", "Cancel Orders"},
        {1.01, "Links:Market Long Rechts:Glatt", "Market Long", "Glatt"},
        {3, "Links:Market Short Rechts:Glatt", "Market Short", "Glatt"},
        {3.5, "Links:Limit Short Rechts:Cancel Order", "Limit Short", "Cancel Orders"},
        {4.5, "St\xfc" "ckzahl", "", ""},
        {5.5, "", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hotfieldHint(c.x), QString::fromLatin1(c.hint)) << c.x;
        EXPECT_EQ(hotfieldMessage(c.x, false), QString::fromLatin1(c.left)) << c.x;
        EXPECT_EQ(hotfieldMessage(c.x, true), QString::fromLatin1(c.right)) << c.x;
    }
    EXPECT_EQ(hotfieldQuantity(0), 11);
    EXPECT_EQ(hotfieldQuantity(1), 1);

    QImage img = blank(50, 200);
    QPainter painter(&img);
    HotfieldUpdate(painter, img.rect(), 3);
    painter.end();
    EXPECT_EQ(img.pixelColor(5, 100), QColor(0, 192, 0));
    EXPECT_EQ(img.pixelColor(25, 100), QColor(255, 0, 0));
    EXPECT_EQ(img.pixelColor(41, 142), kGrey);             // band 3, third from the bottom
    EXPECT_EQ(img.pixelColor(41, 122), QColor(192, 192, 192)); // band 4
}

// A client with two instruments and the chart window beside its order grid.
struct ChartClient : ClientFixture {
    Chart window{app.chart, app.state.priceHistory};
    ChartControl& control = app.chart;

    ChartClient()
    {
        app.dispatcher.dispatch("@SI=FDAX;DAX;EUR;18000;17999.5;10;18000.5;20;Dax Future;25;1;2\n"
                                "FGBL;BUND;EUR;131.25;131.24;5;131.26;6;Bund;1000;0;0\n");
    }
    void clickTicker(int wp)
    {
        app.orderEntry.mouseDown(false, app.orderEntry.instrumentRow(wp),
                                 app.orderGrid.layout.spalte[InstrumentLineType][C_TICKER]);
    }
};

TEST(ChartWindow, OpensFromTheGridFollowsItsScrollBarsAndCloses)
{
    ChartClient c;
    c.clickTicker(2);
    EXPECT_TRUE(c.window.isVisible());
    EXPECT_EQ(c.window.windowTitle(), "Chart von Bund");
    EXPECT_EQ(c.control.ChartWP, 2);
    for (int i : {0, 1}) {
        EXPECT_EQ(c.window.scrollBar(i).minimum(), 10);
        EXPECT_EQ(c.window.scrollBar(i).maximum(), 3000);
        EXPECT_EQ(c.window.scrollBar(i).value(), 100);
    }
    // Side by side over their scroll bars, the strip out of sight, the label at the bottom.
    c.window.resize(801, 420);
    const QRect p1 = c.window.area(0).geometry(), p2 = c.window.area(1).geometry();
    EXPECT_EQ(p1, QRect(0, 0, 400, p1.height()));
    EXPECT_EQ(p2, QRect(400, 0, 400, p1.height()));
    EXPECT_EQ(c.window.scrollBar(0).geometry().topLeft(), QPoint(0, p1.height()));
    EXPECT_EQ(c.window.scrollBar(1).geometry().topLeft(), QPoint(400, p1.height()));
    EXPECT_EQ(c.window.strip().width(), 0);
    EXPECT_EQ(c.window.hintLabel().geometry().bottom(), 419);
    EXPECT_EQ(c.window.area(1).frame().area.size(), p2.size()); // redrawn at the new size

    const int d0 = c.window.area(0).drawCount(), d1 = c.window.area(1).drawCount();
    c.window.scrollBar(0).setValue(3000);
    EXPECT_EQ(c.control.ChartRange[0], 3000);
    EXPECT_EQ(c.window.area(0).drawCount(), d0 + 1);
    EXPECT_EQ(c.window.area(1).drawCount(), d1);
    EXPECT_EQ(c.window.area(0).frame().xs, 0);

    // A "C" cell shows its instrument and keeps the ranges of the open window.
    const int row = c.app.orderEntry.instrumentRow(1);
    c.app.orderGrid.cells.cell(row, 5).text = "C";
    c.app.orderEntry.mouseDown(false, row, 5);
    EXPECT_EQ(c.window.windowTitle(), "Chart von Dax Future");
    EXPECT_EQ(c.control.ChartRange[0], 3000);

    // The mouse over a chart shows the price at its height after the instrument's name;
    // leaving the chart restores the plain title.
    for (double y : {0.0, 40.0}) {
        QMouseEvent move(QEvent::MouseMove, QPointF(10, y), QPointF(10, y), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&c.window.area(1), &move);
        const double price = c.window.area(1).frame().priceAt(y);
        EXPECT_EQ(c.window.windowTitle(),
                  "Chart von Dax Future " + QString::fromLatin1(writeSingle(float(price)).trimmed()));
    }
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&c.window.area(1), &leave);
    EXPECT_EQ(c.window.windowTitle(), "Chart von Dax Future");

    c.window.close();
    EXPECT_EQ(c.control.ChartWP, 0);
    c.clickTicker(1);
    EXPECT_EQ(c.control.ChartRange[0], 100);
    EXPECT_EQ(c.window.scrollBar(0).value(), 100);
}

TEST(ChartWindow, RefreshRedrawsOnlyForTheChartInstrumentAndOnlyWhileOpen)
{
    ChartClient c;
    c.clickTicker(2);
    int requests = 0;
    QObject::connect(&c.control, &ChartControl::redrawRequested, [&](int index) {
        EXPECT_EQ(index, -1);
        ++requests;
    });
    emit c.app.pricesRefreshed({1});
    EXPECT_EQ(requests, 0);
    const int before = c.window.area(1).drawCount();
    emit c.app.pricesRefreshed({1, 2});
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(c.window.area(1).drawCount(), before + 1);
    c.window.close();
    emit c.app.pricesRefreshed({2});
    EXPECT_EQ(requests, 1);
}

TEST(ChartWindow, HotFieldsNameActionsAndChooseTheQuantity)
{
    ChartClient c;
    c.clickTicker(1);
    const qsizetype sentBefore = c.app.outgoing.lines().size();
    c.control.Picture1_MouseDown(1.5, 0.5, false);
    c.control.Picture1_MouseDown(0.5, 0.5, true);
    EXPECT_EQ(c.prompts.messages, QStringList({"Market Long", "Cancel Orders"}));
    EXPECT_EQ(c.app.outgoing.lines().size(), sentBefore); // nothing is traded
    c.control.Picture1_MouseDown(4.5, 0.75, false); // third band from the bottom
    EXPECT_EQ(c.app.orderEntry.quantityText(), " 3");
    EXPECT_EQ(c.control.quantity(), 3);
    c.control.Picture1_MouseDown(4.5, 0.75, true);
    EXPECT_EQ(c.control.quantity(), 3);
    c.control.Picture1_MouseMove(2.5);
    EXPECT_EQ(c.window.hintLabel().text(), "Links:Market Short Rechts:Glatt");
    EXPECT_EQ(c.window.strip().toolTip(), "Links:Market Short Rechts:Glatt");
}

// Against the game server: a click on the instrument line's ticker cell opens the chart,
// the stream's prices are drawn, at most one redraw per refresh tick, none once closed.
TEST(ChartEndToEnd, OpensFromTheGridAndFollowsTheStream)
{
    KORVI_NEEDS_SERVER();
    LiveSession live;
    ASSERT_TRUE(live.server.start({"--rate", "400"}));
    ClientApp& app = live.client.app;
    OrderGridView view(app.orderGrid.cells, app.orderEntry);
    Chart window(app.chart, app.state.priceHistory);
    view.resize(1400, 400);
    view.show();
    ASSERT_TRUE(live.client.loginTo(live.server.port));
    ASSERT_TRUE(waitFor([&] { return app.state.priceHistory.pos(1) > 0; }, 10000));

    const int row = app.orderEntry.instrumentRow(1);
    ASSERT_GT(row, 0);
    const QPoint at = view.visualRect(view.model()->index(row, app.orderGrid.layout.spalte[InstrumentLineType][C_TICKER]))
                          .center();
    QMouseEvent press(QEvent::MouseButtonPress, at, view.viewport()->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &press);
    ASSERT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), "Chart von " + QString::fromLatin1(app.state.Instruments[1].Name));

    int requestsThisTick = 0, worst = 0, ticks = 0;
    QObject::connect(&app.chart, &ChartControl::redrawRequested, [&] { ++requestsThisTick; });
    QObject::connect(&app, &ClientApp::refreshTick, [&] {
        worst = std::max(worst, requestsThisTick);
        requestsThisTick = 0;
        ++ticks;
    });
    const int draws = window.area(0).drawCount();
    EXPECT_TRUE(waitFor([&] { return window.area(0).drawCount() >= draws + 3; }, 10000));
    EXPECT_TRUE(window.area(0).frame().curves);
    EXPECT_GE(ticks, 3);
    EXPECT_LE(worst, 1);

    window.close();
    const int closedAt = window.area(0).drawCount();
    const int tickAtClose = ticks;
    EXPECT_TRUE(waitFor([&] { return ticks >= tickAtClose + 4; }, 5000));
    EXPECT_EQ(window.area(0).drawCount(), closedAt);
}

} // namespace
