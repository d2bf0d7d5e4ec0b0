#pragma once

#include "fields.h"

#include <QByteArrayView>
#include <functional>

namespace korvi {

class LogList;
struct State;

// Builds the instrument table from the server's instrument list ("@SI") and the server
// code table from the "!;T;" control line.
class InstrumentTable {
public:
    InstrumentTable(State& state, LogList& outgoing, LogList& protocol)
        : m_state(state), m_outgoing(outgoing), m_protocol(protocol)
    {
    }

    // Replaces the instrument table, the presets and the position index; the price history
    // follows the new list.
    void WS_SI(QByteArrayView body);
    void InitTabelle(QByteArrayView list);

    // Runs after every instrument list: the order grid is rebuilt and drawn whole.
    std::function<void()> buildOrderGrid;

private:
    State& m_state;
    LogList& m_outgoing;
    LogList& m_protocol;
    Fields m_lines;
    Fields m_fields;
};

} // namespace korvi
