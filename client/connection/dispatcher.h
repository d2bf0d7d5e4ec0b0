#pragma once

#include "catalogue.h"

#include <QByteArrayView>
#include <array>
#include <functional>

namespace korvi {

class LogList;
struct State;

// Routes each received message to its handler: "@" messages by their command word, the
// short price forms "~" and "^1".."^5" by their leading characters, "!" control lines to the
// control handler. Parts that are not built yet leave their rows empty, which does nothing.
class Dispatcher {
public:
    using Handler = std::function<void(QByteArrayView body)>;

    Dispatcher(const State& state, LogList& incoming) : m_state(state), m_incoming(incoming) {}

    void on(Cmd cmd, Handler handler) { m_handlers[static_cast<size_t>(cmd)] = std::move(handler); }
    // form 0 is "~", 1 to 5 are "^1" to "^5"; the handler gets the text after the prefix.
    void onShortPrice(int form, Handler handler) { m_shortPrice.at(form) = std::move(handler); }
    void onControl(Handler handler) { m_control = std::move(handler); }
    // Called with every short price message while the price recording is open.
    void onPriceRecord(Handler handler) { m_record = std::move(handler); }

    void dispatch(QByteArrayView message);

    // Called once after the handlers have run: at the end of a batch, or after a message
    // dispatched on its own. The grids catch up with their tables there.
    void onSettled(std::function<void()> settled) { m_settled = std::move(settled); }
    // A batch (one receive step) is settled once, when its last message has been handled.
    void beginBatch() { ++m_depth; }
    void endBatch();
    // Handlers are running (inside a batch or a single dispatch).
    bool busy() const { return m_depth > 0; }

private:
    void route(QByteArrayView message);

    const State& m_state;
    LogList& m_incoming;
    std::array<Handler, static_cast<size_t>(Cmd::Count)> m_handlers;
    std::array<Handler, 6> m_shortPrice;
    Handler m_control;
    Handler m_record;
    std::function<void()> m_settled;
    int m_depth = 0;
};

} // namespace korvi
