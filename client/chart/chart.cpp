#include "chart.h"

#include "chartcontrol.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>

namespace korvi {

ChartArea::ChartArea(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
}

void ChartArea::draw(const PriceHistory& history, int wp, int range)
{
    const qreal ratio = devicePixelRatioF();
    if (m_image.size() != size() * ratio) {
        m_image = QImage(size() * ratio, QImage::Format_RGB32);
        m_image.setDevicePixelRatio(ratio);
    }
    if (!m_image.isNull()) {
        QPainter painter(&m_image);
        m_frame = chartupdate(painter, rect(), history, wp, range);
    }
    ++m_draws;
    update();
}

void ChartArea::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_image.isNull())
        painter.fillRect(rect(), Qt::white);
    else
        painter.drawImage(0, 0, m_image);
}

void ChartArea::mouseMoveEvent(QMouseEvent* event)
{
    emit priceUnderMouse(m_frame.priceAt(event->position().y()));
}

void ChartArea::leaveEvent(QEvent*)
{
    emit mouseLeft();
}

HotfieldStrip::HotfieldStrip(ChartControl& control, QWidget* parent) : QWidget(parent), m_control(control)
{
    setMouseTracking(true);
    connect(&control, &ChartControl::hintChanged, this, &QWidget::setToolTip);
    connect(&control, &ChartControl::stripChanged, this, qOverload<>(&QWidget::update));
}

void HotfieldStrip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    HotfieldUpdate(painter, rect(), m_control.quantity());
}

void HotfieldStrip::mouseMoveEvent(QMouseEvent* event)
{
    m_control.Picture1_MouseMove(across(event->position().x()));
}

void HotfieldStrip::mousePressEvent(QMouseEvent* event)
{
    if (height() <= 0)
        return;
    m_control.Picture1_MouseDown(across(event->position().x()), event->position().y() / height(),
                                 event->button() == Qt::RightButton);
}

Chart::Chart(ChartControl& control, const PriceHistory& history, QWidget* parent)
    : QWidget(parent, Qt::Window), m_control(control), m_history(history), m_strip(control, this)
{
    for (QScrollBar* bar : {&m_scroll0, &m_scroll1}) {
        bar->setRange(ChartControl::kMinRange, ChartControl::kMaxRange);
        bar->setValue(ChartControl::kStartRange);
    }
    connect(&m_scroll0, &QScrollBar::valueChanged, this, [this](int v) { m_control.HScroll1_Change(0, v); });
    connect(&m_scroll1, &QScrollBar::valueChanged, this, [this](int v) { m_control.HScroll1_Change(1, v); });
    connect(&m_command2, &QPushButton::clicked, &control, &ChartControl::Command2_Click);
    connect(&control, &ChartControl::hintChanged, &m_label1, &QLabel::setText);
    connect(&control, &ChartControl::shown, this, &Chart::Form_Load);
    connect(&control, &ChartControl::redrawRequested, this, &Chart::redraw);
    for (ChartArea* a : {&m_p1, &m_p2}) {
        connect(a, &ChartArea::priceUnderMouse, this,
                [this](double price) { setWindowTitle(m_control.priceTitle(price)); });
        connect(a, &ChartArea::mouseLeft, this, [this] {
            if (m_control.isOpen())
                setWindowTitle(m_control.title());
        });
    }
    resize(900, 500);
}

void Chart::Form_Load(const QString& title)
{
    if (isHidden()) {
        // A window opened anew starts with the ranges the control has just set.
        const QSignalBlocker b0(m_scroll0), b1(m_scroll1);
        m_scroll0.setValue(m_control.ChartRange[0]);
        m_scroll1.setValue(m_control.ChartRange[1]);
    }
    setWindowTitle(title);
    show();
    raise();
}

void Chart::redraw(int index)
{
    if (index != 1)
        m_p1.draw(m_history, m_control.ChartWP, m_control.ChartRange[0]);
    if (index != 0)
        m_p2.draw(m_history, m_control.ChartWP, m_control.ChartRange[1]);
}

void Chart::resizeEvent(QResizeEvent*)
{
    if (isMinimized())
        return;
    const int innerWidth = width(), innerHeight = height();
    const int stripWidth = 0; // the strip is kept out of sight
    const int w = (innerWidth - stripWidth) / 2;
    const int barHeight = m_scroll0.sizeHint().height();
    const int labelHeight = qMax(m_label1.sizeHint().height(), m_command2.sizeHint().height());
    const int H = qMax(0, innerHeight - barHeight - labelHeight);
    m_p1.setGeometry(0, 0, w, H);
    m_p2.setGeometry(w, 0, w, H);
    m_strip.setGeometry(2 * w, 0, stripWidth, H);
    m_scroll0.setGeometry(0, H, w, barHeight);
    m_scroll1.setGeometry(w, H, w, barHeight);
    const int buttonWidth = m_command2.sizeHint().width();
    m_label1.setGeometry(0, innerHeight - labelHeight, qMax(0, innerWidth - buttonWidth), labelHeight);
    m_command2.setGeometry(innerWidth - buttonWidth, innerHeight - labelHeight, buttonWidth, labelHeight);
    if (m_control.isOpen())
        redraw(-1);
    m_strip.update();
}

void Chart::closeEvent(QCloseEvent* event)
{
    m_control.Form_Unload();
    event->accept();
}

} // namespace korvi
