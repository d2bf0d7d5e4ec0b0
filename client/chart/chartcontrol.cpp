#include "chartcontrol.h"

#include "chartdrawing.h"
#include "numbers.h"
#include "orders/orderentry.h"
#include "seams.h"
#include "state.h"

#include <algorithm>

namespace korvi {

ChartControl::ChartControl(State& state, OrderEntry& entry, Prompts& prompts, QObject* parent)
    : QObject(parent), m_state(state), m_entry(entry), m_prompts(prompts)
{
}

void ChartControl::open(int wp)
{
    if (!m_state.instrument(wp))
        return;
    if (!isOpen())
        ChartRange[0] = ChartRange[1] = kStartRange;
    ChartWP = static_cast<qint16>(wp);
    emit shown(title());
    emit redrawRequested(-1);
}

void ChartControl::HScroll1_Change(int index, int value)
{
    if (index != 0 && index != 1)
        return;
    ChartRange[index] = std::clamp(value, kMinRange, kMaxRange);
    emit redrawRequested(index);
}

void ChartControl::pricesRefreshed(const QList<int>& changed)
{
    if (isOpen() && changed.contains(ChartWP))
        emit redrawRequested(-1);
}

QString ChartControl::title() const
{
    const InstrumentRecord* r = m_state.instrument(ChartWP);
    return QStringLiteral("Chart von ") + (r ? QString::fromLatin1(r->Name) : QString());
}

QString ChartControl::priceTitle(double price) const
{
    return title() + QLatin1Char(' ') + QString::fromLatin1(writeSingle(static_cast<float>(price)).trimmed());
}

void ChartControl::Picture1_MouseMove(double x)
{
    emit hintChanged(hotfieldHint(x));
}

void ChartControl::Picture1_MouseDown(double x, double fromTop, bool rightButton)
{
    if (hotfieldAt(x) == 5) {
        if (!rightButton) {
            m_entry.setQuantityText(QString::fromLatin1(writeDouble(hotfieldQuantity(fromTop))));
            emit stripChanged();
        }
        return;
    }
    // The action fields only name their action; nothing is traded.
    const QString text = hotfieldMessage(x, rightButton);
    if (!text.isEmpty())
        m_prompts.message(text);
}

int ChartControl::quantity() const
{
    return m_entry.defaultQuantity();
}

} // namespace korvi
