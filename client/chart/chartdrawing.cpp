#include "chartdrawing.h"

#include "market/pricehistory.h"
#include "numbers.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <vector>

namespace korvi {

namespace {

// Upper bounds as the table has always had them, each with its step. A value between two
// rows (above one bound and below the next row's start) belongs to the next row.
struct StepRow {
    double upTo;
    double step;
};
constexpr StepRow kSteps[] = {
    {0.00199999, 0.001}, {0.0199999, 0.01},  {0.0499999, 0.025}, {0.0999999, 0.05},
    {0.1999999, 0.1},    {0.4999999, 0.25},  {0.9999999, 0.5},   {1.999999, 1},
    {4.999999, 2.5},     {9.999999, 5},      {19.99999, 10},     {49.99999, 25},
    {99.99999, 50},      {199.9999, 100},    {499.9999, 250},    {999.9999, 500},
    {1999.999, 1000},    {4999.999, 2500},   {9999.999, 5000},   {19999.99, 10000},
    {49999.99, 25000},   {99999.99, 50000},  {199999.9, 100000}, {499999.9, 250000},
    {999999.9, 500000},
};

const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);
const QColor kGrid(160, 160, 160);

// One step curve (ask or bid) as a polyline in pixels. Where several positions fall into
// one pixel column only the points that shape it there are kept: where the curve enters,
// its lowest and highest point, and where it leaves. The path is connected, so the pixels
// it covers stay the same while a full history needs far fewer segments.
class StepPath {
public:
    explicit StepPath(int reserve) { m_points.reserve(reserve); }
    // The curve has a gap here (a slot without this price); the next point starts anew.
    void breakPath()
    {
        if (m_runs.empty() || m_runs.back() != m_points.size())
            m_runs.push_back(m_points.size());
    }
    void add(QPointF p)
    {
        // A one pixel line at x lands in the pixel column floor(x).
        const int column = static_cast<int>(std::floor(p.x()));
        const bool runStart = !m_runs.empty() && m_runs.back() == m_points.size();
        if (m_points.empty() || column != m_column || runStart) {
            m_column = column;
            m_start = m_points.size();
            m_points.push_back(p);
            return;
        }
        p.setX(m_points[m_start].x()); // exactly vertical inside the column
        // Within the column: [entry, extreme, extreme, exit] at most.
        const size_t n = m_points.size() - m_start;
        if (n < 3) {
            m_points.push_back(p);
            return;
        }
        QPointF& lo = m_points[m_start + 1];
        QPointF& hi = m_points[m_start + 2];
        QPointF& exit = m_points[m_start + 3 < m_points.size() ? m_start + 3 : m_start + 2];
        if (n == 3) {
            m_points.push_back(p);
        } else {
            // The old exit is inside the column's span unless it is a new extreme.
            const QPointF old = exit;
            exit = p;
            if (old.y() < std::min(lo.y(), hi.y()))
                (lo.y() < hi.y() ? lo : hi) = old;
            else if (old.y() > std::max(lo.y(), hi.y()))
                (lo.y() > hi.y() ? lo : hi) = old;
        }
    }
    void draw(QPainter& painter, const QColor& colour) const
    {
        painter.setPen(QPen(colour, 1));
        size_t from = 0;
        for (size_t i = 0; i <= m_runs.size(); ++i) {
            const size_t to = i < m_runs.size() ? m_runs[i] : m_points.size();
            if (to > from)
                painter.drawPolyline(m_points.data() + from, int(to - from));
            from = to;
        }
    }

private:
    std::vector<QPointF> m_points;
    std::vector<size_t> m_runs; // where each run after the first begins
    size_t m_start = 0;
    int m_column = 0;
};

// The ask (blue) and bid (red) as step curves, one snapshot per position, and the last
// price (green) as three pixel high bars on top, each colour drawn in one call. A price of
// 0 is no price (an empty slot, or a side without quotes): it is not drawn, and the curve
// goes on where the next price is.
void drawCurves(QPainter& painter, const ChartFrame& f, const PriceHistory& history, int wp, int range)
{
    // Prices far outside the chart are drawn at its edge: the lines there are vertical or
    // out of sight, and pixel numbers stay within integer range.
    const double lowest = f.area.top() - 10000.0, highest = f.area.bottom() + 10000.0;
    auto at = [&](double x, float price) {
        const QPointF p = f.toPixel(x, price);
        return QPointF(p.x(), std::isnan(p.y()) ? lowest : std::clamp(p.y(), lowest, highest));
    };
    // The vertical step at x - 1 is the line from the previous price to this one.
    auto step = [&](StepPath& path, float price, float& previous, int x) {
        if (price == 0) {
            if (previous != 0)
                path.breakPath();
        } else {
            if (previous == 0 || price != previous)
                path.add(at(x - 1, price));
            path.add(at(x, price));
        }
        previous = price;
    };
    StepPath blue(4 * range), red(4 * range);
    std::vector<QRect> green;
    green.reserve(range);
    const int pos = history.pos(wp);
    float ask = 0, bid = 0;
    for (int x = PriceHistory::kSlots + 1 - range; x <= PriceHistory::kSlots; ++x) {
        const PriceSnapshot& s = history.at(wp, (pos + x - 1) % PriceHistory::kSlots + 1);
        step(blue, s.Ask, ask, x);
        step(red, s.Bid, bid, x);
        if (s.Letzter == 0)
            continue;
        const QPointF a = at(x - 1, s.Letzter);
        const int left = qRound(a.x()), right = std::max(left + 1, qRound(f.toPixel(x, 0).x()));
        const int top = qRound(a.y()) - 1;
        if (!green.empty() && green.back().top() == top && green.back().right() + 1 >= left)
            green.back().setRight(right - 1);
        else
            green.emplace_back(left, top, right - left, 3);
    }
    blue.draw(painter, kBlue);
    red.draw(painter, kRed);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kGreen);
    painter.drawRects(green.data(), int(green.size()));
    painter.setBrush(Qt::NoBrush);
}

} // namespace

double ChartStep(double v)
{
    double step = 5000000;
    if (!(v >= 9999999)) { // NaN lands in the first row
        step = v;
        for (const StepRow& row : kSteps) {
            if (!(v > row.upTo)) {
                step = row.step;
                break;
            }
        }
    }
    return std::floor(step * 100000 + 0.1) / 100000;
}

void Mima(const PriceHistory& history, int wp, int range, double& minimum, double& maximum)
{
    minimum = kMimaMinimum;
    maximum = kMimaMaximum;
    if (range < 1 || !history.hasRow(wp))
        return;
    const int pos = history.pos(wp);
    const int n = std::min(range, PriceHistory::kSlots);
    for (int k = 1; k <= n; ++k) {
        const PriceSnapshot& s = history.at(wp, (pos - k + PriceHistory::kSlots) % PriceHistory::kSlots + 1);
        if (s.Ask != 0 && s.Ask > maximum)
            maximum = s.Ask;
        if (s.Bid != 0 && s.Bid < minimum)
            minimum = s.Bid;
    }
}

QString chartLabel(double price, double step)
{
    // Two decimals, or three where the labels are closer than that (two would repeat).
    const double scale = step < 0.01 - 1e-9 ? 1000 : 100;
    // The small addition keeps a grid height like 101.25, computed as 101.2499999..., at .25.
    return QString::fromLatin1(writeDouble(std::floor(price * scale + 1e-6) / scale));
}

double ChartFrame::priceAt(double pixelY) const
{
    return area.height() > 0 ? top - pixelY / area.height() * (top - bottom) : 0;
}

ChartFrame chartupdate(QPainter& painter, const QRect& area, const PriceHistory& history, int wp, int range)
{
    ChartFrame f;
    f.area = area;
    if (area.width() <= 0 || area.height() <= 0)
        return f;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setClipRect(area);
    painter.fillRect(area, Qt::white);

    double mn, mx;
    Mima(history, wp, range, mn, mx);
    range = std::clamp(range, 1, PriceHistory::kSlots);
    // No bid at all in the range (no price yet, or only empty slots): empty axes.
    f.curves = mn <= mx && std::isfinite(mn) && std::isfinite(mx);
    if (!f.curves) {
        mn = 0;
        mx = 1;
    } else if (mn == mx) {
        // A flat price still gets a band around it.
        const double half = mn != 0 ? std::abs(mn) * 0.001 : 1;
        mn -= half;
        mx += half;
    }

    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    painter.setFont(font);
    const QFontMetricsF metrics(font, painter.device());

    f.minimum = mn;
    f.maximum = mx;
    f.top = mx + (mx - mn) / 10;
    f.bottom = mn - (mx - mn) / 10;
    // Three text heights in prices of the system being drawn.
    const double h = std::abs(metrics.height() * 3 * (f.top - f.bottom) / area.height());
    if (f.curves) {
        f.step = ChartStep(h);
        f.firstLabel = std::floor(mn / f.step) * f.step + f.step;
        const double count = f.firstLabel <= mx ? std::floor((mx - f.firstLabel) / f.step + 1e-9) + 1 : 0;
        f.labelCount = count <= kMaxLabels ? static_cast<int>(count) : 0;
    }

    // The margins beside the axes hold the widest label drawn, its tick and a small gap, so
    // that no label is cut at the edge or crossed by an axis.
    QStringList labels;
    f.labelWidth = metrics.horizontalAdvance(QStringLiteral(" 0"));
    for (int i = 0; i < f.labelCount; ++i) {
        labels << chartLabel(f.label(i), f.step);
        f.labelWidth = std::max(f.labelWidth, metrics.horizontalAdvance(labels.back()));
    }
    const double tickPixels = std::max(2.0, f.labelWidth / 9);
    const double margin = std::min(f.labelWidth + tickPixels + 2, area.width() / 3.0);
    f.xs = PriceHistory::kSlots - range;
    f.xe = PriceHistory::kSlots + 5;
    const double perPixel = (f.xe - f.xs) / (area.width() - 2 * margin);
    f.left = f.xs - margin * perPixel;
    f.right = f.xe + margin * perPixel;
    f.tick = tickPixels * perPixel;

    painter.setPen(QPen(Qt::black, 1));
    painter.drawLine(f.toPixel(f.xs, mn), f.toPixel(f.xs, mx));
    painter.drawLine(f.toPixel(f.xe, mn), f.toPixel(f.xe, mx));

    const double halfText = h / 6;
    for (int i = 0; i < f.labelCount; ++i) {
        const double y = f.label(i);
        const QString& text = labels[i];
        const double baseline = f.toPixel(0, y + halfText).y() + metrics.ascent();
        painter.drawLine(f.toPixel(f.xe, y), f.toPixel(f.xe + f.tick, y));
        painter.drawText(QPointF(f.toPixel(f.xe + f.tick, y).x() + 1, baseline), text);
        painter.drawLine(f.toPixel(f.xs - f.tick, y), f.toPixel(f.xs, y));
        painter.drawText(QPointF(area.left(), baseline), text);
    }
    painter.setPen(QPen(kGrid, 1));
    for (int i = 0; i < f.labelCount; ++i)
        painter.drawLine(f.toPixel(f.xs, f.label(i)), f.toPixel(f.xe, f.label(i)));

    if (f.curves)
        drawCurves(painter, f, history, wp, range);
    painter.restore();
    return f;
}

void HotfieldUpdate(QPainter& painter, const QRect& strip, int quantity)
{
    if (strip.width() <= 0 || strip.height() <= 0)
        return;
    static const QColor fields[] = {QColor(0, 192, 0), QColor(0, 255, 0), QColor(255, 0, 0),
                                    QColor(128, 0, 0), QColor(192, 192, 192)};
    painter.save();
    auto column = [&](int i) { return strip.left() + strip.width() * i / 5; };
    for (int i = 0; i < 5; ++i)
        painter.fillRect(QRect(QPoint(column(i), strip.top()), QPoint(column(i + 1) - 1, strip.bottom())),
                         fields[i]);
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    font.setBold(false);
    painter.setFont(font);
    painter.setPen(Qt::black);
    for (int band = 1; band <= 10; ++band) {
        // Band 1 at the bottom, band 10 at the top.
        const int top = strip.top() + strip.height() * (10 - band) / 10;
        const int bottom = strip.top() + strip.height() * (11 - band) / 10 - 1;
        const QRect r(QPoint(column(4), top), QPoint(column(5) - 1, bottom));
        if (band == quantity)
            painter.fillRect(r, QColor(160, 160, 160));
        painter.drawText(r, Qt::AlignCenter, QString::number(band));
    }
    painter.restore();
}

int hotfieldAt(double x)
{
    if (!(x >= 0) || x > 5)
        return 0;
    return x <= 1 ? 1 : static_cast<int>(std::ceil(x));
}

QString hotfieldHint(double x)
{
    switch (hotfieldAt(x)) {
    case 1: return QStringLiteral("Links:Limit Long Rechts:Cancel Order");
    case 2: return QStringLiteral("Links:Market Long Rechts:Glatt");
    case 3: return QStringLiteral("Links:Market Short Rechts:Glatt");
    case 4: return QStringLiteral("Links:Limit Short Rechts:Cancel Order");
    case 5: return QString::fromLatin1("St\xfc" "ckzahl");
    default: return {};
    }
}

QString hotfieldMessage(double x, bool rightButton)
{
    switch (hotfieldAt(x)) {
    case 1: return rightButton ? QStringLiteral("Cancel Orders") : QStringLiteral("Limit Long");
    case 2: return rightButton ? QStringLiteral("Glatt") : QStringLiteral("Market Long");
    case 3: return rightButton ? QStringLiteral("Glatt") : QStringLiteral("Market Short");
    case 4: return rightButton ? QStringLiteral("Cancel Orders") : QStringLiteral("Limit Short");
    default: return {};
    }
}

double hotfieldQuantity(double fromTop)
{
    return 11 - 10 * fromTop;
}

} // namespace korvi
