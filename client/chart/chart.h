#pragma once

#include "chartdrawing.h"

#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QWidget>

namespace korvi {

class ChartControl;
class PriceHistory;

// One chart area ("P1", "P2"): keeps its last drawing and shows it; the mouse reports the
// price at its height.
class ChartArea : public QWidget {
    Q_OBJECT
public:
    explicit ChartArea(QWidget* parent = nullptr);
    void draw(const PriceHistory& history, int wp, int range);
    const ChartFrame& frame() const { return m_frame; }
    int drawCount() const { return m_draws; }

signals:
    void priceUnderMouse(double price);
    void mouseLeft();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QImage m_image;
    ChartFrame m_frame;
    int m_draws = 0;
};

// The hot-field strip ("Picture1"). The window's layout keeps it at width 0.
class HotfieldStrip : public QWidget {
    Q_OBJECT
public:
    HotfieldStrip(ChartControl& control, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    double across(double pixelX) const { return width() > 0 ? pixelX * 5 / width() : 0; }
    ChartControl& m_control;
};

// The chart window: two charts of the chart instrument side by side, each with its own
// scroll bar for the number of snapshots shown, the hint label and the "C" button.
class Chart : public QWidget {
    Q_OBJECT
public:
    Chart(ChartControl& control, const PriceHistory& history, QWidget* parent = nullptr);

    ChartArea& area(int index) { return index == 0 ? m_p1 : m_p2; }
    QScrollBar& scrollBar(int index) { return index == 0 ? m_scroll0 : m_scroll1; }
    HotfieldStrip& strip() { return m_strip; }
    QLabel& hintLabel() { return m_label1; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load(const QString& title);
    void redraw(int index);

    ChartControl& m_control;
    const PriceHistory& m_history;
    ChartArea m_p1{this};
    ChartArea m_p2{this};
    HotfieldStrip m_strip;
    QScrollBar m_scroll0{Qt::Horizontal, this};
    QScrollBar m_scroll1{Qt::Horizontal, this};
    QLabel m_label1{this};
    QPushButton m_command2{QStringLiteral("C"), this};
};

} // namespace korvi
