#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

namespace korvi {

class LogList;
class OrderEntry;
class OrderGrid;
class OrderPlacing;
class Prompts;
struct State;

// Closing and turning positions by market order: the two items of the position menu and
// the "GLATT" button. They set the default instrument and the quantity box and then press
// the market buttons, so the orders are built exactly as a user's click builds them.
class PositionClosing : public QObject {
    Q_OBJECT
public:
    PositionClosing(State& state, OrderGrid& grid, OrderEntry& entry, OrderPlacing& placing,
                    Prompts& prompts, LogList& protocol, QObject* parent = nullptr);

    // "Position Glattstellen" and "Position Drehen" for the instrument of grid row `row`.
    void m_glattstellen_Click(int row) { closeOrTurn(row, 1); }
    void m_drehposition_Click(int row) { closeOrTurn(row, 2); }
    // "GLATT": every position closed, then every open order cancelled.
    void Command11_Click();

    // One counter-order of "GLATT": the instrument, its ticker and the position it closes.
    struct CounterOrder {
        qint16 wpIndex = 0;
        QByteArray ticker;
        qint32 position = 0;
        bool operator==(const CounterOrder&) const = default;
    };
    // The counter-orders "GLATT" would send now, in the order of the position table.
    QList<CounterOrder> counterOrders() const;

private:
    QString glattQuestion(const QList<CounterOrder>& orders, bool changed) const;
    void closeOrTurn(int row, int factor);
    void setDefault(int wpIndex);

    State& m_state;
    OrderGrid& m_grid;
    OrderEntry& m_entry;
    OrderPlacing& m_placing;
    Prompts& m_prompts;
    LogList& m_protocol;
};

} // namespace korvi
