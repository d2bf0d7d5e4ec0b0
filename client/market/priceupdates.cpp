#include "priceupdates.h"

#include "numbers.h"
#include "state.h"

#include <algorithm>
#include <cmath>

namespace korvi {

namespace {

// Each field is stored by its own step: a value that does not fit leaves the old one.
void setPrice(float& target, double value)
{
    if (const auto v = toSingle(value))
        target = *v;
}

// The fewest decimals (up to 6) that give back `value` when a decimal with that many
// places is stored as a single.
int decimalsOf(float value)
{
    double scale = 1;
    for (int d = 0; d < 6; ++d, scale *= 10) {
        if (static_cast<float>(std::round(double(value) * scale) / scale) == value)
            return d;
    }
    return 6;
}

// The decimals a number read from the wire was written with (up to 6).
int decimalsOf(double value)
{
    double scale = 1;
    for (int d = 0; d < 6; ++d, scale *= 10) {
        if (std::fabs(std::round(value * scale) / scale - value) <= 1e-9 * std::max(1.0, std::fabs(value)))
            return d;
    }
    return 6;
}

// A price given as a distance from the last price. The last price is a single, so its
// sum with the distance would carry the single's error ("78.49001" for 78.49); the sum is
// rounded to the decimals of the two numbers, which is the price the server meant.
double fromLast(float last, double distance)
{
    if (!std::isfinite(distance))
        return distance;
    const int d = std::max(decimalsOf(last), decimalsOf(distance));
    const double scale = std::pow(10.0, d);
    const double exactLast = std::round(double(last) * scale) / scale;
    return std::round((exactLast + distance) * scale) / scale;
}

void setSize(qint32& target, QByteArrayView field)
{
    if (const auto v = toInt32(readNumber(field)))
        target = *v;
}

} // namespace

// Splits the body and finds the instrument. Null when the message changes nothing; an
// instrument number that names no instrument still raises PricesChanged, a 0 does not.
InstrumentRecord* PriceUpdates::target(QByteArrayView body, int maxFields, bool shortForm)
{
    m_f.split(body, maxFields, ';');
    m_n = toInt32(readNumber(m_f[1])).value_or(0);
    if (m_n == 0)
        return nullptr;
    InstrumentRecord* r = m_state.instrument(m_n);
    if (!r) {
        m_state.PricesChanged = true;
        return nullptr;
    }
    if (shortForm && r->Letzter == 0)
        return nullptr; // no last price yet to measure the distances from
    return r;
}

void PriceUpdates::finish(int n, bool remember)
{
    m_state.Instruments[n].Geaendert = 1;
    if (remember)
        Merkkurse(n);
    m_state.PricesChanged = true;
}

void PriceUpdates::WS_KU(QByteArrayView body)
{
    InstrumentRecord* r = target(body, 1000, false);
    if (!r)
        return;
    setPrice(r->Letzter, readNumber(m_f[6]));
    setPrice(r->Bid, readNumber(m_f[2]));
    setSize(r->BidVol, m_f[3]);
    setPrice(r->Ask, readNumber(m_f[4]));
    setSize(r->AskVol, m_f[5]);
    finish(m_n, true);
}

void PriceUpdates::WS_KuKurz(QByteArrayView body)
{
    InstrumentRecord* r = target(body, 20, false);
    if (!r)
        return;
    setPrice(r->Letzter, readNumber(m_f[2]));
    setPrice(r->Bid, fromLast(r->Letzter, -readNumber(m_f[3])));
    setSize(r->BidVol, m_f[4]);
    setPrice(r->Ask, fromLast(r->Letzter, readNumber(m_f[5])));
    setSize(r->AskVol, m_f[6]);
    finish(m_n, true);
}

void PriceUpdates::WS_KuKurzBBVAAV(QByteArrayView body)
{
    InstrumentRecord* r = target(body, 20, true);
    if (!r)
        return;
    setPrice(r->Bid, fromLast(r->Letzter, -readNumber(m_f[2])));
    setSize(r->BidVol, m_f[3]);
    setPrice(r->Ask, fromLast(r->Letzter, readNumber(m_f[4])));
    setSize(r->AskVol, m_f[5]);
    finish(m_n, true);
}

void PriceUpdates::WS_KuKurzAAV(QByteArrayView body)
{
    InstrumentRecord* r = target(body, 20, true);
    if (!r)
        return;
    setPrice(r->Ask, fromLast(r->Letzter, readNumber(m_f[2])));
    setSize(r->AskVol, m_f[3]);
    finish(m_n, true);
}

void PriceUpdates::WS_KuKurzA(QByteArrayView body)
{
    InstrumentRecord* r = target(body, 20, true);
    if (!r)
        return;
    setPrice(r->Ask, fromLast(r->Letzter, readNumber(m_f[2])));
    finish(m_n, true);
}

void PriceUpdates::WS_KuKurzAV(QByteArrayView body)
{
    InstrumentRecord* r = target(body, 20, true);
    if (!r)
        return;
    setSize(r->AskVol, m_f[2]);
    finish(m_n, false); // a size alone is not kept in the history
}

void PriceUpdates::WS_KuKurzBBV(QByteArrayView body)
{
    InstrumentRecord* r = target(body, 20, true);
    if (!r)
        return;
    setPrice(r->Bid, fromLast(r->Letzter, -readNumber(m_f[2])));
    setSize(r->BidVol, m_f[3]);
    finish(m_n, true);
}

void PriceUpdates::Merkkurse(int n)
{
    PriceHistory& h = m_state.priceHistory;
    const InstrumentRecord* r = m_state.instrument(n);
    if (!r || !h.hasRow(n))
        return; // not an instrument of the list
    int s = h.pos(n);
    static const PriceSnapshot kEmpty{};
    const PriceSnapshot& current = s > 0 ? h.at(n, s) : kEmpty;
    // The last price alone does not make a new snapshot.
    if (r->Umsatz == current.Umsatz && r->Ask == current.Ask && r->Bid == current.Bid)
        return;
    if (++s > PriceHistory::kSlots)
        s = 1;
    h.at(n, s) = PriceSnapshot{r->Bid, r->Ask, r->Letzter, r->Umsatz, m_time.now()};
    h.setPos(n, s);
}

bool PriceUpdates::refresh(std::vector<int>& changed)
{
    changed.clear();
    if (!m_state.PricesChanged && !m_state.PositionsReceived)
        return false;
    for (int n = 1; n <= m_state.InstrumentCount; ++n) {
        InstrumentRecord& r = m_state.Instruments[n];
        if (r.Geaendert == 0)
            continue;
        r.Geaendert = 0;
        if (PositionRecord* p = m_state.positionOf(n); p && r.Letzter != 0) {
            if (const auto v = toSingle(double(p->Bestand) * r.Letzter * r.Faktor))
                p->SumWert = *v;
        }
        changed.push_back(n);
    }
    return true;
}

} // namespace korvi
