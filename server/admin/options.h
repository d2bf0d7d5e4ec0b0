#pragma once

#include "passwordhash.h"
#include "orderallowance.h"
#include "ports.h"
#include "trading.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QVersionNumber>
#include <optional>

namespace korvi::server {

// Everything the command line can set.
struct ServerOptions {
    quint16 port = kGamePort;
    quint16 httpPort = kAddressPagePort;
    QString dataDir = QStringLiteral("korvi-data");
    std::optional<quint64> seed;   // none: a new seed each start (logged)
    double rate = 50;              // price messages per second over all instruments
    QString instruments;           // empty: the shipped list beside the program
    QString bindAddress = QStringLiteral("127.0.0.1"); // only this machine unless opened with --bind
    QByteArray publicHost;         // host named on the address pages; empty: the address asked
    int loginTimeoutSeconds = 30;
    int loginSilenceMs = 8000;     // a connection must ask to log in within this
    int hashIterations = kDefaultIterations; // rounds of new and upgraded password hashes
    int maxWaiting = 256;          // connections not logged in, in total
    int maxWaitingPerAddress = 16; // connections not logged in, from one address
    int maxOpenOrders = kMaxOpenOrders; // per participant
    OrderLimitSettings orderLimits;     // order rate and orders per day, per participant
    int maxConnectionsPerParticipant = 3; // a further login closes the oldest connection
    int sendStallMs = 5000;        // a playing connection whose queue does not drain this long is closed
    int statsSeconds = 0;          // 0: no statistics lines
    int backupEveryMinutes = 0;    // 0: no scheduled backups
    QString backupDir;             // empty: "backups" in the data folder
    bool force = false;            // "user remove" also with open orders or positions
    bool quiet = false;
    std::optional<QTime> closeTime = QTime(22, 0); // daily close; none: only when asked
    bool instantFills = false;     // limit and stop orders fill at once (tests)
    bool testControl = false;      // accept the test messages that set quotes and close the day
    QString updatePackage;         // a file sent as "KORVIUP.EXX" to clients below updateBelow
    QVersionNumber updateBelow;
    QStringList command;           // administration command, e.g. {"user", "add", "NAME", "PW"}
};

enum class ParseResult { Run, Help, Error };

// Reads the arguments (without the program name). On Help, `text` is the help; on Error,
// the message for the user.
ParseResult parseOptions(const QStringList& arguments, ServerOptions& options, QString& text);

} // namespace korvi::server
