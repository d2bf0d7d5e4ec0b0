#pragma once

#include <QByteArrayView>
#include <optional>

namespace korvi {

// Every command word of the game protocol, in both directions. Client and server both
// look words up here, so the two sides cannot drift apart. Append new words at the end;
// never renumber.
enum class Cmd : quint8 {
    // server to client
    Keepalive,       // "@" (the body of "@=" is empty)
    Welcome,         // "@WELCOME"
    RequestVersion,  // "@RV"
    SendVersion,     // "@SV" (level from the server; "@SV=" version from the client)
    SystemInfo,      // "@SYI"
    PlatzInfo,       // "@PI", "@PlatzInfo"
    GewinnerVerlierer, // "@GV", "@GewinnerVerlierer"
    TimeSet,         // "@TS", "@TIMESET"
    UserData,        // "@UD"
    SendAllOrders,   // "@SAO", "@SENDALLORDERS"
    SendAllExecutions, // "@SAE", "@SENDALLEXECUTIONS"
    SendUserKonto,   // "@SUK", "@SUD1", "@SENDUSERKONTO"
    SendUserData,    // "@SUD", "@SENDUSERDATA"
    SendUserPlaetze, // "@SUP", "@SENDUSERPLAETZE"
    OpenOrder,       // "@OO", "@OpenOrder"
    CancelRejected,  // "@CR", "@CancelRejected"
    OrderRejected,   // "@OR", "@OrderRejected"
    SendOpenOrders,  // "@SOO", "@SENDOPENORDERS"
    SendInstruments, // "@SI", "@SENDINSTRUMENTS"
    Kursupdate,      // "@KU", "@KURSUPDATE"
    LastOrderId,     // "@LI"
    Status,          // "@ST", "@STATUS"
    Execution,       // "@EX", "@Execution"
    OrderStatus,     // "@OS", "@ORDERSTATUS"
    ReceiveChat,     // "@RC", "@ReceiveChat"
    ReceiveTChat,    // "@RT", "@ReceiveTChat"
    Error,           // "@ER", "@ERROR"
    ConnectionClosed, // "@CC", "@CONNECTIONCLOSED"
    SendDocument,    // "@SD", "@SENDDOCUMENT"
    SendAnnotation,  // "@SA", "@SENDANNOTATION"
    Message,         // "@MSG", "@MESSAGE"
    Heartbeat,       // "@HB", "@Heartbeat"
    FileStart,       // "@FIS"
    FileData,        // "@FID"
    FileEnd,         // "@FIE"
    SendChatUsers,   // "@SCU"
    ChatUserOn,      // "@CU1"
    ChatUserOff,     // "@CU0"
    // client to server
    Login,           // "@U"
    PlaceOrder,      // "@PO"
    CancelOrder,     // "@CO"
    BracketMain,     // "@BR1"
    BracketQuery,    // "@BR?"
    RequestAll,      // "@RA"
    RequestOpenOrders, // "@RAO"
    RequestAllExecutions, // "@RAE"
    InstrumentRequest, // "@IR"
    TimeGet,         // "@TIMEGET"
    GetUserKonto,    // "@GSUK"
    GetKontoauszug,  // "@GKO"
    RequestInfo,     // "@RI"
    Chat,            // "@C"
    ChatChannel,     // "@CH"
    ChatTo,          // "@CT"
    RequestChatUsers, // "@RCU"
    VersionKnown,    // "@SVK"
    Count
};

// Looks up a command word such as "@OO" or "@OpenOrder"; case counts.
std::optional<Cmd> lookupCommand(QByteArrayView word);

// The short word the client or server writes for a command ("@OO").
QByteArrayView commandWord(Cmd cmd);

// Splits "@WORD=body" into its command word and body. Without "=" the whole message is
// the word and the body is empty; the body may itself contain "=".
struct CommandParts {
    QByteArrayView word;
    QByteArrayView body;
};
CommandParts splitCommand(QByteArrayView message);

// The control line the server uses to identify the user ("TTUSER=" name is the reply).
inline constexpr QByteArrayView kIdentifyReply = "TTUSER=";

} // namespace korvi
