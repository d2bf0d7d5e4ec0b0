#pragma once

#include <QList>
#include <QObject>
#include <QString>

namespace korvi {

class OrderEntry;
class Prompts;
struct State;

// The chart window's logic without the window: the chart instrument, the ranges of the two
// charts, what each trigger redraws, the titles and the hot-field strip's actions. The
// window `Chart` shows it.
class ChartControl : public QObject {
    Q_OBJECT
public:
    ChartControl(State& state, OrderEntry& entry, Prompts& prompts, QObject* parent = nullptr);

    // The chart instrument; 0 exactly while the window is closed.
    qint16 ChartWP = 0;
    // How many of the newest snapshots each chart shows (the two scroll bars).
    int ChartRange[2] = {100, 100};
    static constexpr int kMinRange = 10;
    static constexpr int kMaxRange = 3000;
    static constexpr int kStartRange = 100;

    bool isOpen() const { return ChartWP != 0; }
    // Makes `wp` the chart instrument and shows the window. Opening a closed window sets
    // both ranges to 100; an open window keeps its ranges. Unknown instruments are ignored.
    void open(int wp);
    // The window was closed.
    void Form_Unload() { ChartWP = 0; }
    // A scroll bar moved: its chart shows `value` snapshots.
    void HScroll1_Change(int index, int value);
    // The "C" button: both charts are redrawn.
    void Command2_Click() { emit redrawRequested(-1); }
    // The periodic refresh found these instruments changed: both charts are redrawn once
    // when the chart instrument is among them.
    void pricesRefreshed(const QList<int>& changed);

    // "Chart von " and the instrument's name.
    QString title() const;
    // The title while the mouse is over a chart: the plain title and the price at the
    // mouse's height.
    QString priceTitle(double price) const;

    // The hot-field strip: the hint for position `x` (0 to 5 across) goes to the label and
    // tooltip; a click names the action in a message box or chooses the quantity
    // (`fromTop` 0 at the strip's top edge, 1 at its bottom).
    void Picture1_MouseMove(double x);
    void Picture1_MouseDown(double x, double fromTop, bool rightButton);
    int quantity() const;

signals:
    // Show the window titled `title` (after open()).
    void shown(const QString& title);
    // Redraw chart 0, chart 1, or both (-1).
    void redrawRequested(int index);
    void hintChanged(const QString& hint);
    // The quantity changed through the strip: redraw it.
    void stripChanged();

private:
    State& m_state;
    OrderEntry& m_entry;
    Prompts& m_prompts;
};

} // namespace korvi
