#include "dispatcher.h"

#include "loglist.h"
#include "state.h"
#include "textfile.h"

namespace korvi {

void Dispatcher::dispatch(QByteArrayView message)
{
    beginBatch();
    try {
        route(message);
    } catch (...) {
        --m_depth;
        throw;
    }
    endBatch();
}

void Dispatcher::endBatch()
{
    if (m_depth > 0 && --m_depth == 0 && m_settled)
        m_settled();
}

void Dispatcher::route(QByteArrayView message)
{
    const char kind = message.isEmpty() ? '\0' : message.front();
    switch (kind) {
    case '!':
        if (m_control)
            m_control(message);
        return;
    case '~':
        if (m_state.InstrumentCount > 0 && m_shortPrice[0])
            m_shortPrice[0](message.sliced(1));
        if (m_record)
            m_record(message);
        return;
    case '^': {
        const char form = message.size() > 1 ? message[1] : '\0';
        if (form >= '1' && form <= '5' && m_shortPrice[form - '0'])
            m_shortPrice[form - '0'](message.sliced(2));
        if (m_record)
            m_record(message);
        return;
    }
    case '@': {
        const CommandParts parts = splitCommand(message);
        const auto cmd = lookupCommand(parts.word);
        if (!cmd)
            return; // already logged by the receive step
        if (*cmd == Cmd::Kursupdate && m_state.InstrumentCount < 1)
            return;
        const Handler& handler = m_handlers[static_cast<size_t>(*cmd)];
        if (handler)
            handler(parts.body);
        return;
    }
    default:
        m_incoming.add(QStringLiteral("Unbekannter Befehl:") + fromWire(message));
    }
}

} // namespace korvi
