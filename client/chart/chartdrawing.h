#pragma once

#include <QPointF>
#include <QRect>
#include <QString>

class QPainter;

namespace korvi {

class PriceHistory;

// The price label step for a value (three text heights in price units): 1, 2.5 or 5 times
// a power of ten, 0.001 at the least, cut to five decimals.
double ChartStep(double v);

// What Mima leaves when it finds nothing: no ask above and no bid below these.
inline constexpr double kMimaMinimum = 999999;
inline constexpr double kMimaMaximum = -999999;

// Price bounds of the newest `range` snapshots of instrument `wp`: the highest ask and the
// lowest bid, leaving out prices of 0 (empty slots are all 0). Both stay at kMimaMinimum
// and kMimaMaximum for a range below 1 or an instrument without history.
void Mima(const PriceHistory& history, int wp, int range, double& minimum, double& maximum);

// The text of a price label: the price cut (not rounded) to two decimals, leading-blank
// form; to three where the labels are less than 0.01 apart.
QString chartLabel(double price, double step = 0.01);

// The coordinate system one chart was drawn in: history positions across (the newest at
// 3000), prices up, mapped onto the pixels of `area`.
struct ChartFrame {
    QRect area;
    bool curves = false; // false: the empty axes of an instrument without prices
    int xs = 2900;       // the left axis, 3000 - range
    int xe = 3005;       // the right axis
    double left = 0, right = 1, top = 1, bottom = 0;
    double minimum = 0, maximum = 1; // the axes run between these
    double step = 0;                 // distance of the price labels
    double firstLabel = 0;
    int labelCount = 0;
    double tick = 0; // length of a label tick in positions
    double labelWidth = 0; // pixels of the widest label; the margins beside the axes hold it

    double label(int i) const { return firstLabel + i * step; }
    QPointF toPixel(double x, double price) const
    {
        return QPointF(area.left() + (x - left) / (right - left) * area.width(),
                       area.top() + (top - price) / (top - bottom) * area.height());
    }
    // The price at a pixel row of the area (0 = its top edge).
    double priceAt(double pixelY) const;
};

// Upper bound on the price labels of one chart: beyond it the labels and the grid are left
// out (only prices far outside any real market get there).
inline constexpr int kMaxLabels = 1000;

// Draws one chart of instrument `wp` into `area` of any painter, showing the newest `range`
// snapshots of its price history: the axes, the price labels and grid, and the ask (blue),
// bid (red) and last price (green, three pixels) as steps. Returns the coordinate system
// used, for the mouse and for tests.
ChartFrame chartupdate(QPainter& painter, const QRect& area, const PriceHistory& history, int wp, int range);

// The hot-field strip: five fields across, the last one a quantity scale of ten bands
// numbered from the bottom up with the band of `quantity` highlighted.
void HotfieldUpdate(QPainter& painter, const QRect& strip, int quantity);

// The strip's field under the horizontal position `x` (0 to 5 across the strip): 1 to 5,
// 0 outside.
int hotfieldAt(double x);
// The hint shown over a field.
QString hotfieldHint(double x);
// The text of the message box a click on an action field shows; empty for the quantity
// field and outside.
QString hotfieldMessage(double x, bool rightButton);
// The quantity chosen by a click at `fromTop` (0 at the top edge of the strip, 1 at the
// bottom): 11 at the top down to 1 at the bottom.
double hotfieldQuantity(double fromTop);

} // namespace korvi
