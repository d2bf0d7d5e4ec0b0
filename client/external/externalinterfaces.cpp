#include "externalinterfaces.h"

#include "account/account.h"
#include "account/closing.h"
#include "account/executions.h"
#include "orders/orderstatus.h"
#include "orders/placing.h"
#include "state.h"

namespace korvi {

ExternalInterfaces::ExternalInterfaces(State& state, Connection& connection, Account& account,
                                       Executions& executions, OrderStatusTracker& orderStatus,
                                       OrderPlacing& placing, OrderGrid& grid, OrderEntry& entry,
                                       PositionClosing& closing, Messages& messages, Prompts& prompts,
                                       Clock& clock, LogList& protocol, QObject* parent)
    : QObject(parent), orders(state, grid, entry, placing, prompts, messages, list1),
      wex(state, connection, account, orders, messages, clock, list1),
      files(state.workDir, orders, clock, list2, protocol), m_state(state)
{
    orders.refused = [this](int code, const QByteArray& text, const QByteArray& reference, bool order) {
        wex.ExtS_Error(code, text, reference);
        if (order)
            files.WriteOrderRefusal(reference, code, text);
    };

    placing.external.ExtS_NewOrderId = [this](const QByteArray& ref, qint32 id) { wex.ExtS_NewOrderId(ref, id); };
    placing.external.WriteOrderConfirmation = [this](const QByteArray& ref, qint32 id) {
        files.WriteOrderConfirmation(ref, id);
    };
    placing.external.list1 = [this](const QString& line) { list1.add(line); };

    orderStatus.wexConnected = [this] { return wex.WexConnected(); };
    orderStatus.wexSend = [this](const QByteArray& framed) { wex.WexSenddata(framed); };
    orderStatus.externalStatus = [this](int index) { wex.ExtS_Orderstatus(index); };

    executions.externalExecution = [this](QByteArrayView body) { wex.ExtEx(body); };
    executions.takeExecutionsPending = [this] { return wex.takeExecutionsPending(); };
    executions.wexSend = [this](const QByteArray& framed) { wex.WexSenddata(framed); };
    account.WexSenddata = [this](const QByteArray& framed) { wex.WexSenddata(framed); };

    files.glatt = [&closing] { closing.Command11_Click(); };
    files.cancelAll = [&placing] { placing.cancelAlle(); };
}

void ExternalInterfaces::start()
{
    wex.Command17_Click();
    files.Check6_Click(m_state.settings.asciiRemote == 1);
}

void ExternalInterfaces::collectSettings() { m_state.settings.asciiRemote = files.isOn() ? 1 : 0; }

bool ExternalInterfaces::Check5_Click(bool ticked)
{
    if (m_state.GameEdition != 0)
        return false;
    m_state.settings.fennixExtern = ticked ? 1 : 0;
    return ticked;
}

} // namespace korvi
