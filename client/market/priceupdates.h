#pragma once

#include "dayclock.h"
#include "fields.h"

#include <QByteArrayView>
#include <vector>

namespace korvi {

struct InstrumentRecord;
struct State;

// The seven price handlers, the price history they feed and the price part of the main
// window's periodic refresh. The short forms carry bid and ask as distances from the last
// price. Nothing here allocates once the field splitter is warm.
class PriceUpdates {
public:
    PriceUpdates(State& state, Clock& clock) : m_state(state), m_time(clock) {}

    void WS_KU(QByteArrayView body);           // "@KU": n; bid; bid size; ask; ask size; last
    void WS_KuKurz(QByteArrayView body);       // "~": n; last; bid dist.; bid size; ask dist.; ask size
    void WS_KuKurzBBVAAV(QByteArrayView body); // "^1": n; bid dist.; bid size; ask dist.; ask size
    void WS_KuKurzAAV(QByteArrayView body);    // "^2": n; ask dist.; ask size
    void WS_KuKurzA(QByteArrayView body);      // "^3": n; ask dist.
    void WS_KuKurzAV(QByteArrayView body);     // "^4": n; ask size
    void WS_KuKurzBBV(QByteArrayView body);    // "^5": n; bid dist.; bid size

    // Adds a snapshot of instrument n to its history when bid, ask or volume changed.
    void Merkkurse(int n);

    // The periodic refresh: clears the change marks, revalues the positions of changed
    // instruments and lists the instruments whose lines must be redrawn. Returns false
    // while no price or position has arrived yet.
    bool refresh(std::vector<int>& changed);

private:
    InstrumentRecord* target(QByteArrayView body, int maxFields, bool shortForm);
    void finish(int n, bool remember);

    State& m_state;
    DayClock m_time;
    Fields m_f;
    int m_n = 0;
};

} // namespace korvi
