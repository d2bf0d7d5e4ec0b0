#include "catalogue.h"

#include <array>

namespace korvi {

namespace {

struct Entry {
    QByteArrayView word;
    Cmd cmd;
};

// The first entry of each command is the short word that is written on the wire.
constexpr std::array kEntries{
    Entry{"@", Cmd::Keepalive},
    Entry{"@KU", Cmd::Kursupdate},
    Entry{"@KURSUPDATE", Cmd::Kursupdate},
    Entry{"@OS", Cmd::OrderStatus},
    Entry{"@ORDERSTATUS", Cmd::OrderStatus},
    Entry{"@EX", Cmd::Execution},
    Entry{"@Execution", Cmd::Execution},
    Entry{"@OO", Cmd::OpenOrder},
    Entry{"@OpenOrder", Cmd::OpenOrder},
    Entry{"@WELCOME", Cmd::Welcome},
    Entry{"@RV", Cmd::RequestVersion},
    Entry{"@SV", Cmd::SendVersion},
    Entry{"@SYI", Cmd::SystemInfo},
    Entry{"@PI", Cmd::PlatzInfo},
    Entry{"@PlatzInfo", Cmd::PlatzInfo},
    Entry{"@GV", Cmd::GewinnerVerlierer},
    Entry{"@GewinnerVerlierer", Cmd::GewinnerVerlierer},
    Entry{"@TS", Cmd::TimeSet},
    Entry{"@TIMESET", Cmd::TimeSet},
    Entry{"@UD", Cmd::UserData},
    Entry{"@SAO", Cmd::SendAllOrders},
    Entry{"@SENDALLORDERS", Cmd::SendAllOrders},
    Entry{"@SAE", Cmd::SendAllExecutions},
    Entry{"@SENDALLEXECUTIONS", Cmd::SendAllExecutions},
    Entry{"@SUK", Cmd::SendUserKonto},
    Entry{"@SUD1", Cmd::SendUserKonto},
    Entry{"@SENDUSERKONTO", Cmd::SendUserKonto},
    Entry{"@SUD", Cmd::SendUserData},
    Entry{"@SENDUSERDATA", Cmd::SendUserData},
    Entry{"@SUP", Cmd::SendUserPlaetze},
    Entry{"@SENDUSERPLAETZE", Cmd::SendUserPlaetze},
    Entry{"@CR", Cmd::CancelRejected},
    Entry{"@CancelRejected", Cmd::CancelRejected},
    Entry{"@OR", Cmd::OrderRejected},
    Entry{"@OrderRejected", Cmd::OrderRejected},
    Entry{"@SOO", Cmd::SendOpenOrders},
    Entry{"@SENDOPENORDERS", Cmd::SendOpenOrders},
    Entry{"@SI", Cmd::SendInstruments},
    Entry{"@SENDINSTRUMENTS", Cmd::SendInstruments},
    Entry{"@LI", Cmd::LastOrderId},
    Entry{"@ST", Cmd::Status},
    Entry{"@STATUS", Cmd::Status},
    Entry{"@RC", Cmd::ReceiveChat},
    Entry{"@ReceiveChat", Cmd::ReceiveChat},
    Entry{"@RT", Cmd::ReceiveTChat},
    Entry{"@ReceiveTChat", Cmd::ReceiveTChat},
    Entry{"@ER", Cmd::Error},
    Entry{"@ERROR", Cmd::Error},
    Entry{"@CC", Cmd::ConnectionClosed},
    Entry{"@CONNECTIONCLOSED", Cmd::ConnectionClosed},
    Entry{"@SD", Cmd::SendDocument},
    Entry{"@SENDDOCUMENT", Cmd::SendDocument},
    Entry{"@SA", Cmd::SendAnnotation},
    Entry{"@SENDANNOTATION", Cmd::SendAnnotation},
    Entry{"@MSG", Cmd::Message},
    Entry{"@MESSAGE", Cmd::Message},
    Entry{"@HB", Cmd::Heartbeat},
    Entry{"@Heartbeat", Cmd::Heartbeat},
    Entry{"@FIS", Cmd::FileStart},
    Entry{"@FID", Cmd::FileData},
    Entry{"@FIE", Cmd::FileEnd},
    Entry{"@SCU", Cmd::SendChatUsers},
    Entry{"@CU1", Cmd::ChatUserOn},
    Entry{"@CU0", Cmd::ChatUserOff},
    Entry{"@U", Cmd::Login},
    Entry{"@PO", Cmd::PlaceOrder},
    Entry{"@CO", Cmd::CancelOrder},
    Entry{"@BR1", Cmd::BracketMain},
    Entry{"@BR?", Cmd::BracketQuery},
    Entry{"@RA", Cmd::RequestAll},
    Entry{"@RAO", Cmd::RequestOpenOrders},
    Entry{"@RAE", Cmd::RequestAllExecutions},
    Entry{"@IR", Cmd::InstrumentRequest},
    Entry{"@TIMEGET", Cmd::TimeGet},
    Entry{"@GSUK", Cmd::GetUserKonto},
    Entry{"@GKO", Cmd::GetKontoauszug},
    Entry{"@RI", Cmd::RequestInfo},
    Entry{"@C", Cmd::Chat},
    Entry{"@CH", Cmd::ChatChannel},
    Entry{"@CT", Cmd::ChatTo},
    Entry{"@RCU", Cmd::RequestChatUsers},
    Entry{"@SVK", Cmd::VersionKnown},
};

} // namespace

std::optional<Cmd> lookupCommand(QByteArrayView word)
{
    // The price and order words come first in the table, so the frequent messages are
    // found after a few comparisons.
    for (const Entry& e : kEntries) {
        if (e.word.size() == word.size() && e.word == word)
            return e.cmd;
    }
    return std::nullopt;
}

QByteArrayView commandWord(Cmd cmd)
{
    for (const Entry& e : kEntries) {
        if (e.cmd == cmd)
            return e.word;
    }
    return {};
}

CommandParts splitCommand(QByteArrayView message)
{
    const qsizetype eq = message.indexOf('=');
    if (eq < 0)
        return {message, {}};
    return {message.first(eq), message.sliced(eq + 1)};
}

} // namespace korvi
