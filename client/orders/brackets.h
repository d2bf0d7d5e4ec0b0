#pragma once

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>

namespace korvi {

class LogList;
class OrderEntry;
class OrderGrid;
class OrderPlacing;
class Prompts;
struct InstrumentRecord;
struct OrderBook;
struct OrderRecord;
struct State;
struct WpvPreset;

// The limit modes of the bracket presets ("Wert3").
enum class LimitMode { Prices = 0, OffsetToLast = 1, OffsetToFill = 2 };

// The limit of a take-profit (`takeProfit` true, "LMT") or stop-loss ("STP") exit for a
// main order of side `mainIsBuy`, from the preset values and the instrument's last price.
float exitLimit(LimitMode mode, bool takeProfit, bool mainIsBuy, float wert1, float wert2, float letzter);

// The placed order that the exit entry line `exit` belongs to, or 0. It is found by the
// main's client number, because a new order list may have renumbered the table since the
// exit was made; the negated index serves only when that number is missing.
int placedMainOf(const OrderBook& book, const OrderRecord& exit);

// The logic of the preset dialog "Eingabe Gewinnmitnahme Stoploss": it shows and edits the
// presets of one instrument. The window only shows `ticker`, `option` and `texts`, passes
// the option clicks on and calls Command1_Click (button or close box) with what was typed;
// it closes only when that returns true. The preset is looked up again by its ticker at
// every step, so a new instrument list that arrives while the dialog is open does not make
// the values land on another instrument.
class Eingabe {
public:
    Eingabe(State& state, Prompts& prompts, LogList& protocol, int wpIndex);

    static QString caption();
    static QStringList optionCaptions();
    static QStringList fieldLabels();

    QString ticker;
    int option = 0;
    QString texts[2];

    // Fills the shown values from the preset.
    void Eingabe_Form_Load();
    // The option button `index` was chosen: the preset's mode changes at once.
    void Option1_Click(int index);
    // "&OK" or the close box with the typed texts; false keeps the dialog open with the
    // corrected texts.
    bool Command1_Click(const QString& first, const QString& second);
    bool closed() const { return m_closed; }

private:
    bool Eingabe_Form_Unload();
    WpvPreset* preset();

    State& m_state;
    Prompts& m_prompts;
    LogList& m_protocol;
    int m_wp;
    QByteArray m_ticker;
    bool m_closed = false;
};

// Bracket orders: a main order with a take-profit, a stop-loss and optionally a
// market-on-close exit, created from the two bracket menus of the order grid. The exits
// are entry lines; they go to the server with the group's "TRANSMIT".
//
// Every wait (the menu, the preset dialog, each message box) runs the event loop, and a
// server message may rebuild the grid or replace the order table meanwhile. So the main is
// held by its entry-line index or its server id, never by a grid row, and is looked up
// again after each wait.
class Brackets : public QObject {
    Q_OBJECT
public:
    // "@BR1=" goes out through `placing`, under the rule of every order: only to a server
    // that greeted us, and a main is marked only when the message left.
    Brackets(State& state, OrderGrid& grid, OrderEntry& entry, OrderPlacing& placing, Prompts& prompts,
             LogList& protocol, QObject* parent = nullptr);

    // Writes "Korvi.wpv"; false on failure.
    std::function<bool()> savePresets;

    // The instrument the preset dialog shows.
    qint16 EingabeWP = 0;

    // Takes note of the record behind grid row `row` when a context menu opens for it, so
    // the menu's choice acts on that record even when the grid changed while it was open.
    void rememberMenuRow(int row);
    // The menu items (0 to 3) of the entry-line and the placed-order bracket menus.
    void m_createbracket_Click(int index);
    void m_createbracket2_Click(int index);

    // The same on a given record: entry line `entry`, or the order with server id `orderId`.
    void bracketForEntryLine(int index, int entry);
    void bracketForOrder(int index, const QByteArray& orderId);

    // Opens the preset dialog for instrument `wpIndex` and waits until it is closed.
    void editPresets(int wpIndex);

    // "@BR1=" for an order.
    static QByteArray bracketMainText(const OrderRecord& order);
    // The limit mode of a preset; other values than 0, 1 and 2 count as 0 (logged once per
    // instrument).
    LimitMode modeOf(const WpvPreset& preset);

private:
    struct Target {
        bool order = false;
        int entry = 0;
        QByteArray orderId;
    };
    void create(int index, const Target& target);
    OrderRecord* resolve(const Target& target, int* orderIndex = nullptr);
    bool refusedRole(const OrderRecord& r, bool placed);

    State& m_state;
    OrderGrid& m_grid;
    OrderEntry& m_entry;
    OrderPlacing& m_placing;
    Prompts& m_prompts;
    LogList& m_protocol;
    Target m_menuTarget;
    QSet<QByteArray> m_badModeLogged;
};

} // namespace korvi
