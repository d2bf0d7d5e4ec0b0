#include "closing.h"

#include "loglist.h"
#include "numbers.h"
#include "orders/orderentry.h"
#include "orders/ordergrid.h"
#include "orders/placing.h"
#include "seams.h"
#include "state.h"
#include "textfile.h"

#include <cstdlib>

namespace korvi {

PositionClosing::PositionClosing(State& state, OrderGrid& grid, OrderEntry& entry, OrderPlacing& placing,
                                 Prompts& prompts, LogList& protocol, QObject* parent)
    : QObject(parent), m_state(state), m_grid(grid), m_entry(entry), m_placing(placing),
      m_prompts(prompts), m_protocol(protocol)
{
}

void PositionClosing::setDefault(int wpIndex)
{
    const int previous = m_state.book.DefaultWP;
    m_state.book.DefaultWP = static_cast<qint16>(wpIndex);
    if (previous != wpIndex) {
        if (previous != 0)
            m_grid.zeigOrderGrid(1, previous);
        m_grid.zeigOrderGrid(1, wpIndex);
        emit m_entry.defaultInstrumentChanged(wpIndex);
    }
}

void PositionClosing::closeOrTurn(int row, int factor)
{
    const RowMap& map = m_state.book.OGRowMap;
    if (!map.valid(row) || !m_state.instrument(map[row].WPIndex))
        return;
    setDefault(map[row].WPIndex);
    const QString noPosition = factor == 1 ? QString::fromUtf8("Kein Bestand - kein Glattstellen möglich!")
                                           : QString::fromUtf8("Kein Bestand - kein Drehen möglich!");
    const PositionRecord* position = m_state.positionOf(map[row].WPIndex);
    if (!position || position->Bestand == 0) {
        m_prompts.message(noPosition);
        return;
    }
    const qint32 held = position->Bestand;
    const QString remembered = m_entry.quantityText();
    m_entry.setQuantityText(QString::number(qint64(std::abs(qint64(held))) * factor));
    m_placing.Command8_Click(held >= 1 ? 1 : 0);
    m_entry.setQuantityText(remembered.trimmed());
}

QList<PositionClosing::CounterOrder> PositionClosing::counterOrders() const
{
    QList<CounterOrder> orders;
    for (int i = 1; i <= m_state.PositionCount && size_t(i) < m_state.positions.size(); ++i) {
        const PositionRecord& p = m_state.positions[i];
        const InstrumentRecord* ins = m_state.instrument(p.WPIndex);
        // A position of an instrument the table does not know gets no counter-order.
        if (p.Bestand != 0 && ins)
            orders.append({p.WPIndex, ins->Ticker, p.Bestand});
    }
    return orders;
}

QString PositionClosing::glattQuestion(const QList<CounterOrder>& orders, bool changed) const
{
    // The question lists the counter-orders it will send (the first ten of them) and says
    // that the open orders go too.
    QStringList listed;
    for (const CounterOrder& o : orders.mid(0, 10))
        listed << marketOrderText(o.position < 0, QString::number(std::abs(qint64(o.position))),
                                  fromWire(o.ticker.trimmed()));
    QString text;
    if (changed)
        text += QStringLiteral("Die Positionen haben sich ge\u00e4ndert, w\u00e4hrend die Frage offen war.\r\n\r\n");
    text += QStringLiteral("Wirklich alle Positionen glattstellen ?\r\nDiese Sicherheitsabfrage kann "
                           "unter 'Sonstiges' deaktiviert werden!\r\n\r\n");
    text += QString::number(orders.size()) + (orders.size() == 1 ? QStringLiteral(" Order") : QStringLiteral(" Orders"));
    if (!orders.isEmpty())
        text += QStringLiteral(":\r\n") + listed.join(QStringLiteral("\r\n")) +
                (orders.size() > 10 ? QStringLiteral("\r\n\u2026") : QString());
    text += QStringLiteral("\r\n\r\nDanach werden alle offenen Orders gestrichen.");
    return text;
}

void PositionClosing::Command11_Click()
{
    // What is sent is what the user confirmed: positions keep arriving while the question
    // is open, and when they changed the question is asked again with the new orders.
    QList<CounterOrder> confirmed = counterOrders();
    if (m_state.settings.safetyQuestion != 0) {
        for (bool changed = false;; changed = true) {
            if (!m_prompts.yesNo(glattQuestion(confirmed, changed)))
                return;
            QList<CounterOrder> now = counterOrders();
            if (now == confirmed)
                break;
            confirmed = std::move(now);
        }
    }
    // From here on nothing runs the event loop: the orders go exactly as confirmed.
    const qint16 oldDefault = m_state.book.DefaultWP;
    const qint16 oldSafety = m_state.settings.safetyQuestion;
    m_state.settings.safetyQuestion = 0;
    for (const CounterOrder& o : confirmed) {
        m_protocol.add(QStringLiteral("Glatt: WP") + fromWire(o.ticker) + QStringLiteral("Gegenorder ") +
                       fromWire(writeDouble(-double(o.position))) + QStringLiteral("Kontrakte"));
        m_state.book.DefaultWP = o.wpIndex;
        m_entry.setQuantityText(QString::number(std::abs(qint64(o.position))));
        m_placing.Command8_Click(o.position >= 1 ? 1 : 0);
    }
    m_state.settings.safetyQuestion = oldSafety;
    m_state.book.DefaultWP = oldDefault;
    m_entry.setQuantityText(QStringLiteral("1"));
    m_placing.cancelAlle();
}

} // namespace korvi
