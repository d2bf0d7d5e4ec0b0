#include "brackets.h"

#include "framing.h"
#include "loglist.h"
#include "numbers.h"
#include "orderentry.h"
#include "ordergrid.h"
#include "placing.h"
#include "seams.h"
#include "state.h"
#include "textfile.h"

#include <cmath>

namespace korvi {

namespace {

const QString kAlreadyMain = QStringLiteral("Dieser Order sind bereits Bracketorders zugeordnet !");
const QString kExitOfExit = QString::fromLatin1("Keine Bracketorders f\xfcr Bracketorders !");
const QString kNoPriceBefore = QStringLiteral(
    "Es gibt momentan noch keinen Kurs. Bitte anderes Limit als 'Offset zum momentanen Kurs' eingeben");
const QString kNoPriceAfter = QStringLiteral("Es gibt momentan noch keinen Kurs. Bitte Limit korrigieren !");
const QString kNoPricesPlaced = QStringLiteral("Achtung - noch keine Kurse. Bitte Limits korrigieren!!");
const QString kZeroLimit = QStringLiteral("Bitte tragen Sie einen anderen Limitkurs als Null ein !");
const QString kNotSent = QStringLiteral("Keine Verbindung zum Server - Bracket Orders nicht erzeugt !");

// The preset of the instrument with ticker `ticker`: instrument `wp` when it still has that
// ticker, otherwise the first instrument that has it.
WpvPreset* presetByTicker(State& state, int wp, const QByteArray& ticker)
{
    auto fits = [&](int n) {
        return n >= 1 && n <= state.InstrumentCount && size_t(n) < state.WpvPresets.size() &&
               size_t(n) < state.Instruments.size() && state.Instruments[n].Ticker == ticker;
    };
    if (fits(wp))
        return &state.WpvPresets[size_t(wp)];
    for (int n = 1; n <= state.InstrumentCount; ++n) {
        if (fits(n))
            return &state.WpvPresets[size_t(n)];
    }
    return nullptr;
}

float numericValue(const QString& text) { return toSingle(readNumber(toWire(text))).value_or(0.0f); }

} // namespace

float exitLimit(LimitMode mode, bool takeProfit, bool mainIsBuy, float wert1, float wert2, float letzter)
{
    switch (mode) {
    case LimitMode::OffsetToLast:
        // The take-profit lies on the winning side of the last price, the stop-loss on the
        // losing side.
        if (takeProfit)
            return mainIsBuy ? letzter + wert1 : letzter - wert1;
        return mainIsBuy ? letzter - wert2 : letzter + wert2;
    case LimitMode::OffsetToFill:
        // Zero or below: a distance from the main's fill price, resolved by the server.
        return -std::fabs(takeProfit ? wert1 : wert2);
    case LimitMode::Prices:
        break;
    }
    return takeProfit ? wert1 : wert2;
}

int placedMainOf(const OrderBook& book, const OrderRecord& exit)
{
    if (exit.BrRolle < 2 || exit.BrParent >= 0)
        return 0;
    if (exit.BrParentID != 0)
        return book.SuchOrderUserID(exit.BrParentID);
    return book.orders.valid(-exit.BrParent) ? -exit.BrParent : 0;
}

// ---- the preset dialog -----------------------------------------------------------------

Eingabe::Eingabe(State& state, Prompts& prompts, LogList& protocol, int wpIndex)
    : m_state(state), m_prompts(prompts), m_protocol(protocol), m_wp(wpIndex)
{
    if (const InstrumentRecord* ins = m_state.instrument(wpIndex))
        m_ticker = ins->Ticker;
}

QString Eingabe::caption() { return QStringLiteral("Eingabe Gewinnmitnahme Stoploss"); }

QStringList Eingabe::optionCaptions()
{
    return {QStringLiteral("Kurse direkt eingeben"), QStringLiteral("Offset zum momentanen Kurs"),
            QString::fromLatin1("Offset zum Ausf\xfchrungskurs")};
}

QStringList Eingabe::fieldLabels() { return {QStringLiteral("Gewinnmitnahme:"), QStringLiteral("Stoploss")}; }

WpvPreset* Eingabe::preset() { return presetByTicker(m_state, m_wp, m_ticker); }

void Eingabe::Eingabe_Form_Load()
{
    const WpvPreset* p = preset();
    ticker = fromWire(p ? p->Ticker : m_ticker);
    const WpvPreset none;
    const WpvPreset& v = p ? *p : none;
    // A mode other than 0, 1 and 2 is shown (and treated) as direct prices.
    option = v.Wert3 == 1 ? 1 : v.Wert3 == 2 ? 2 : 0;
    const float sign = option == 2 ? -1.0f : 1.0f;
    texts[0] = fromWire(writeSingle(sign * std::fabs(v.Wert1)));
    texts[1] = fromWire(writeSingle(sign * std::fabs(v.Wert2)));
}

void Eingabe::Option1_Click(int index)
{
    if (index < 0 || index > 2)
        return;
    option = index;
    if (WpvPreset* p = preset())
        p->Wert3 = static_cast<float>(index);
}

bool Eingabe::Command1_Click(const QString& first, const QString& second)
{
    texts[0] = first;
    texts[1] = second;
    m_closed = Eingabe_Form_Unload();
    return m_closed;
}

bool Eingabe::Eingabe_Form_Unload()
{
    const float sign = option == 2 ? -1.0f : 1.0f;
    float values[2];
    for (int i = 0; i < 2; ++i) {
        values[i] = sign * numericValue(texts[i]);
        texts[i] = fromWire(writeSingle(values[i]));
    }
    WpvPreset* p = preset();
    if (!p) {
        // The instrument left the table while the dialog was open: nothing to keep.
        m_protocol.add(QStringLiteral("F:Eingabe_Form_Unload ") + fromWire(m_ticker));
        return true;
    }
    p->Wert1 = values[0];
    p->Wert2 = values[1];
    p->Wert3 = static_cast<float>(option);
    if (values[0] == 0 || values[1] == 0) {
        m_prompts.message(kZeroLimit);
        return false;
    }
    return true;
}

// ---- creating brackets -------------------------------------------------------------------

Brackets::Brackets(State& state, OrderGrid& grid, OrderEntry& entry, OrderPlacing& placing, Prompts& prompts,
                   LogList& protocol, QObject* parent)
    : QObject(parent), m_state(state), m_grid(grid), m_entry(entry), m_placing(placing), m_prompts(prompts),
      m_protocol(protocol)
{
}

QByteArray Brackets::bracketMainText(const OrderRecord& o)
{
    return "@BR1=" + o.UserKz.trimmed() + ';' + QByteArray::number(o.OrderUserID) + ';' + o.OrderID.trimmed();
}

LimitMode Brackets::modeOf(const WpvPreset& p)
{
    if (p.Wert3 == 1)
        return LimitMode::OffsetToLast;
    if (p.Wert3 == 2)
        return LimitMode::OffsetToFill;
    if (p.Wert3 != 0 && !m_badModeLogged.contains(p.Ticker)) {
        m_badModeLogged.insert(p.Ticker);
        m_protocol.add(QStringLiteral("F:Bracket Modus ") + QString::number(double(p.Wert3)) +
                       QStringLiteral(" fuer ") + fromWire(p.Ticker) + QStringLiteral(", als 0 genommen"));
    }
    return LimitMode::Prices;
}

void Brackets::rememberMenuRow(int row)
{
    m_menuTarget = Target{};
    const OrderBook& book = m_state.book;
    if (!book.OGRowMap.valid(row))
        return;
    const RowEntry& e = book.OGRowMap[row];
    if (e.Art == EntryLine && book.LeerOrders.valid(e.Item)) {
        m_menuTarget.entry = e.Item;
    } else if ((e.Art == OpenOrder || e.Art == FinishedOrder) && book.orders.valid(e.Item)) {
        m_menuTarget.order = true;
        m_menuTarget.orderId = book.orders[e.Item].OrderID;
    }
}

void Brackets::m_createbracket_Click(int index)
{
    if (!m_menuTarget.order && m_menuTarget.entry)
        create(index, m_menuTarget);
}

void Brackets::m_createbracket2_Click(int index)
{
    if (m_menuTarget.order)
        create(index, m_menuTarget);
}

void Brackets::bracketForEntryLine(int index, int entry) { create(index, Target{false, entry, {}}); }

void Brackets::bracketForOrder(int index, const QByteArray& orderId) { create(index, Target{true, 0, orderId}); }

void Brackets::editPresets(int wpIndex)
{
    EingabeWP = static_cast<qint16>(wpIndex);
    Eingabe dialog(m_state, m_prompts, m_protocol, wpIndex);
    dialog.Eingabe_Form_Load();
    m_prompts.eingabe(dialog);
    // Written at once: a new instrument list reads the presets from the file again, which
    // would otherwise undo the edit.
    if (dialog.closed() && savePresets && !savePresets())
        m_protocol.add(QStringLiteral("F:SaveInit Korvi.wpv"));
}

OrderRecord* Brackets::resolve(const Target& t, int* orderIndex)
{
    OrderBook& book = m_state.book;
    if (t.order) {
        const int o = t.orderId.trimmed().isEmpty() ? 0 : book.SuchOrderID(t.orderId);
        if (orderIndex)
            *orderIndex = o;
        return o ? &book.orders[o] : nullptr;
    }
    if (!book.LeerOrders.valid(t.entry) || book.LeerOrders[t.entry].WPIndex == 0)
        return nullptr;
    return &book.LeerOrders[t.entry];
}

bool Brackets::refusedRole(const OrderRecord& r, bool placed)
{
    // An order cancelled without a fill meanwhile has nothing left to protect.
    if (placed && !(r.Status >= PendSubm && r.Status <= Submitted) && r.Status != Filled) {
        m_prompts.message(QStringLiteral("Bitte eine nicht abgeschlossene Order anklicken!"));
        return true;
    }
    if (r.BrRolle == 1) {
        m_prompts.message(kAlreadyMain);
        return true;
    }
    if (r.BrRolle >= 2 && r.BrRolle <= 4) {
        m_prompts.message(kExitOfExit);
        return true;
    }
    return false;
}

void Brackets::create(int index, const Target& target)
{
    if (index < 0 || index > 3)
        return;
    const char* const where = target.order ? "F:m_createbracket2_Click " : "F:m_createbracket_Click ";
    auto gone = [&] { m_protocol.add(QLatin1String(where) + QStringLiteral("Order nicht mehr vorhanden")); };

    OrderRecord* main = resolve(target);
    if (!main)
        return gone();
    if (refusedRole(*main, target.order))
        return;
    const qint16 wp = main->WPIndex;
    EingabeWP = wp;

    if (index >= 2) {
        editPresets(wp);
        // The dialog let other events run: the main is looked up again and checked anew.
        main = resolve(target);
        if (!main || main->WPIndex != wp)
            return gone();
        if (refusedRole(*main, target.order))
            return;
    }

    const InstrumentRecord* ins = m_state.instrument(wp);
    if (!ins || size_t(wp) >= m_state.WpvPresets.size())
        return gone();
    const QByteArray ticker = ins->Ticker;
    WpvPreset preset = m_state.WpvPresets[size_t(wp)];
    const LimitMode mode = modeOf(preset);
    if (mode == LimitMode::OffsetToLast && ins->Letzter == 0) {
        m_prompts.message(kNoPriceBefore);
        return;
    }

    const QByteArray side = main->BS.trimmed();
    QByteArray exitSide;
    if (side == "BUY")
        exitSide = "SEL";
    else if (side == "SEL")
        exitSide = "BUY";
    else
        return;
    const bool mainIsBuy = side == "BUY";
    if (m_entry.instrumentRow(wp) == 0)
        return;

    // The main.
    int orderIndex = 0;
    if (target.order) {
        resolve(target, &orderIndex);
        // Not sent: the order stays plain and no exit is made; the user has been told.
        if (!m_placing.sendOrderMessage(bracketMainText(*main), kNotSent)) {
            m_protocol.add(QLatin1String(where) + QStringLiteral("@BR1= nicht gesendet"));
            return;
        }
    }
    main->BrRolle = 1;
    main->BrParent = 0;
    const qint32 quantity = main->Stck;
    const qint32 mainUserId = main->OrderUserID;
    main = nullptr; // new entry lines may move the entry-line table

    struct Exit {
        qint16 role;
        const char* typ;
    };
    const Exit exits[] = {{2, "LMT"}, {3, "STP"}, {4, "MOC"}};
    const int exitCount = index == 1 || index == 3 ? 3 : 2;
    float stopLimit = 0;
    for (int k = 0; k < exitCount; ++k) {
        // A message box of the exit before may have let the grid and the tables change: the
        // main and the instrument are looked up again. The group keeps the key it got first,
        // even when the order moved in the table meanwhile.
        if (k > 0) {
            main = resolve(target);
            ins = m_state.instrument(wp);
            if (!main || main->WPIndex != wp || !ins || ins->Ticker != ticker) {
                gone();
                break;
            }
            preset = m_state.WpvPresets[size_t(wp)];
        }
        const int instrumentRow = m_entry.instrumentRow(wp);
        const int row = instrumentRow ? m_entry.openEntryLine(instrumentRow, exitSide) : 0;
        const Exit& x = exits[k];
        const float letzter = ins->Letzter;
        float limit = 0;
        if (x.role == 4)
            limit = stopLimit;
        else
            limit = exitLimit(modeOf(preset), x.role == 2, mainIsBuy, preset.Wert1, preset.Wert2, letzter);
        if (x.role == 3)
            stopLimit = limit;
        if (row != 0 && m_state.book.OGRowMap.valid(row)) {
            OrderRecord& e = m_state.book.LeerOrders[m_state.book.OGRowMap[row].Item];
            e.BrRolle = x.role;
            e.BrParent = target.order ? -orderIndex : target.entry;
            if (target.order)
                e.BrParentID = mainUserId;
            e.Stck = quantity;
            e.Typ = x.typ;
            e.Limit1 = limit;
            m_grid.zeigOrderGrid(2, row);
            if (modeOf(preset) == LimitMode::OffsetToLast && letzter == 0)
                m_prompts.message(kNoPriceAfter);
            if (target.order && letzter == 0 && !(preset.Wert1 <= 0 && preset.Wert2 <= 0))
                m_prompts.message(kNoPricesPlaced);
        }
    }
    m_grid.rebuild();
}

} // namespace korvi
