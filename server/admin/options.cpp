#include "options.h"

#include "passwordhash.h"
#include "updatepublisher.h"

#include <QCommandLineParser>

namespace korvi::server {

namespace {

bool readPort(const QString& text, quint16& out)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value > 65535)
        return false;
    out = static_cast<quint16>(value);
    return true;
}

} // namespace

ParseResult parseOptions(const QStringList& arguments, ServerOptions& options, QString& text)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Game server for the Korvi trading client.\n\n"
        "Administration (runs, prints and exits):\n"
        "  user add NAME PASSWORD   add a participant\n"
        "  user import FILE         add the participants of FILE, one \"name;password\" a\n"
        "                           line, all or none; a line with only a name gets a\n"
        "                           generated password, printed once as \"name;password\"\n"
        "  user block NAME          block a participant (no more logins)\n"
        "  user unblock NAME        allow logins again\n"
        "  user level NAME N        chat level: 0 none, 1 chat, 2 chat and trades feed\n"
        "  user list                list all participants\n"
        "  user password NAME PASSWORD  set a new password\n"
        "  user remove NAME [--force]   remove a participant (refused while it has open\n"
        "                           orders or positions, unless --force)\n"
        "  backup FILE              write a consistent copy of the game data, also while\n"
        "                           the server runs\n"
        "  restore FILE             put a backup in place (the server must be stopped)"));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Game port (default 4100, 0 = any free port)."), QStringLiteral("N"));
    const QCommandLineOption httpPort(QStringLiteral("http-port"), QStringLiteral("Port of the address pages (default 8100, 0 = any free port)."), QStringLiteral("M"));
    const QCommandLineOption data(QStringLiteral("data"), QStringLiteral("Data folder (default korvi-data)."), QStringLiteral("DIR"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Seed of the price simulator; the same seed gives the same market."), QStringLiteral("S"));
    const QCommandLineOption rate(QStringLiteral("rate"), QStringLiteral("Price messages per second over all instruments (default 50, 0 = none)."), QStringLiteral("R"));
    const QCommandLineOption instruments(QStringLiteral("instruments"), QStringLiteral("Instrument list (default: instruments.conf beside the program)."), QStringLiteral("FILE"));
    const QCommandLineOption bind(QStringLiteral("bind"), QStringLiteral("Listen for participants and address-page requests on this address (default 127.0.0.1, this machine only; 0.0.0.0 for every network)."), QStringLiteral("ADDRESS"));
    const QCommandLineOption hashIterations(QStringLiteral("hash-iterations"), QStringLiteral("PBKDF2 rounds of new password hashes (default 600000; fewer only for tests). Stored hashes with fewer rounds are upgraded at the next login."), QStringLiteral("N"));
    const QCommandLineOption maxWaiting(QStringLiteral("max-waiting"), QStringLiteral("Connections that have not logged in yet, at most (default 256); further ones are closed at once."), QStringLiteral("N"));
    const QCommandLineOption maxWaitingPerAddress(QStringLiteral("max-waiting-per-address"), QStringLiteral("The same from one address (default 16)."), QStringLiteral("N"));
    const QCommandLineOption maxOpenOrders(QStringLiteral("max-open-orders"), QStringLiteral("Open orders one participant may have at once (default 500); further ones are refused."), QStringLiteral("N"));
    const QCommandLineOption maxOrdersPerDay(QStringLiteral("max-orders-per-day"), QStringLiteral("Orders one participant may place in a trading day (default 20000); further ones are refused until the daily close."), QStringLiteral("N"));
    const QCommandLineOption orderRate(QStringLiteral("order-rate"), QStringLiteral("Orders per second one participant may place once its burst is used up (default 20); faster ones are refused."), QStringLiteral("N"));
    const QCommandLineOption orderBurst(QStringLiteral("order-burst"), QStringLiteral("Orders one participant may place at once before --order-rate applies (default 200)."), QStringLiteral("N"));
    const QCommandLineOption publicHost(QStringLiteral("public-host"), QStringLiteral("Host named on the address pages (default: the address the page was asked on)."), QStringLiteral("HOST"));
    const QCommandLineOption loginTimeout(QStringLiteral("login-timeout"), QStringLiteral("Seconds a connection may take to log in (default 30)."), QStringLiteral("SECONDS"));
    const QCommandLineOption loginSilence(QStringLiteral("login-silence"), QStringLiteral("Milliseconds a new connection may take to ask to log in (default 8000); a silent one is closed."), QStringLiteral("MS"));
    const QCommandLineOption maxConnections(QStringLiteral("max-connections-per-participant"), QStringLiteral("Connections one participant may hold at once (default 3); a further login closes its oldest."), QStringLiteral("N"));
    const QCommandLineOption sendStall(QStringLiteral("send-stall"), QStringLiteral("Milliseconds a logged-in connection's send queue may stay undrained (default 5000); a client that stops reading is closed then."), QStringLiteral("MS"));
    const QCommandLineOption stats(QStringLiteral("stats"), QStringLiteral("Log traffic figures every this many seconds."), QStringLiteral("SECONDS"));
    const QCommandLineOption backupEvery(QStringLiteral("backup-every"), QStringLiteral("Back the game data up every this many minutes while the server runs (0: never, the default); the newest 7 backups are kept."), QStringLiteral("MINUTES"));
    const QCommandLineOption backupDir(QStringLiteral("backup-dir"), QStringLiteral("Folder of the scheduled backups (default: \"backups\" in the data folder)."), QStringLiteral("DIR"));
    const QCommandLineOption force(QStringLiteral("force"), QStringLiteral("With \"user remove\": remove also a participant with open orders or positions."));
    const QCommandLineOption closeTime(QStringLiteral("close-time"), QStringLiteral("Local time of the daily close, HH:MM (default 22:00; \"off\": no automatic close). Market-on-close orders fill then, open orders end and the day is booked."), QStringLiteral("HH:MM"));
    const QCommandLineOption instantFills(QStringLiteral("instant-fills"), QStringLiteral("Fill limit and stop orders at once at their own price and market orders in full, whatever the quotes (for tests)."));
    const QCommandLineOption testControl(QStringLiteral("test-control"), QStringLiteral("Accept test messages from logged-in clients: \"@TESTQUOTE=n;last;bid;ask;bid size;ask size\" sets a quote, \"@TESTCLOSE\" books the daily close now. Never on a public server."));
    const QCommandLineOption updatePackage(QStringLiteral("update-package"), QStringLiteral("Send this file as the update package \"KORVIUP.EXX\" to every client that reports a version below --update-below."), QStringLiteral("FILE"));
    const QCommandLineOption updateBelow(QStringLiteral("update-below"), QStringLiteral("Clients reporting a version below this one (e.g. 1.1.369) receive the update package."), QStringLiteral("VERSION"));
    const QCommandLineOption quiet(QStringLiteral("quiet"), QStringLiteral("No log on stderr."));
    parser.addOptions({help, port, httpPort, data, seed, rate, instruments, bind, publicHost, loginTimeout, stats, closeTime,
                       instantFills, testControl, updatePackage, updateBelow, quiet, hashIterations, maxWaiting,
                       maxWaitingPerAddress, maxOpenOrders, maxOrdersPerDay, orderRate, orderBurst, backupEvery, backupDir, force,
                       loginSilence, maxConnections, sendStall});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("Optional administration command, see above."), QStringLiteral("[user ...]"));

    if (!parser.parse(QStringList{QStringLiteral("korvi-server")} + arguments)) {
        text = parser.errorText();
        return ParseResult::Error;
    }
    if (parser.isSet(help)) {
        text = parser.helpText();
        return ParseResult::Help;
    }
    if (parser.isSet(port) && !readPort(parser.value(port), options.port)) {
        text = QStringLiteral("--port needs a number from 0 to 65535");
        return ParseResult::Error;
    }
    if (parser.isSet(httpPort) && !readPort(parser.value(httpPort), options.httpPort)) {
        text = QStringLiteral("--http-port needs a number from 0 to 65535");
        return ParseResult::Error;
    }
    if (parser.isSet(data))
        options.dataDir = parser.value(data);
    if (parser.isSet(seed)) {
        bool ok = false;
        const quint64 value = parser.value(seed).toULongLong(&ok);
        if (!ok) {
            text = QStringLiteral("--seed needs a whole number");
            return ParseResult::Error;
        }
        options.seed = value;
    }
    if (parser.isSet(rate)) {
        bool ok = false;
        const double value = parser.value(rate).toDouble(&ok);
        if (!ok || !(value >= 0) || value > 1'000'000) {
            text = QStringLiteral("--rate needs a number from 0 to 1000000");
            return ParseResult::Error;
        }
        options.rate = value;
    }
    if (parser.isSet(instruments))
        options.instruments = parser.value(instruments);
    if (parser.isSet(bind))
        options.bindAddress = parser.value(bind);
    const struct {
        const QCommandLineOption* option;
        int* target;
        int least;
        int most;
    } counts[] = {{&hashIterations, &options.hashIterations, kMinIterations, 10'000'000},
                  {&maxWaiting, &options.maxWaiting, 1, 100'000},
                  {&maxWaitingPerAddress, &options.maxWaitingPerAddress, 1, 100'000},
                  {&maxOpenOrders, &options.maxOpenOrders, 1, 100'000},
                  {&maxOrdersPerDay, &options.orderLimits.perDay, 1, 10'000'000},
                  {&orderBurst, &options.orderLimits.burst, 1, 1'000'000},
                  {&loginSilence, &options.loginSilenceMs, 100, 3'600'000},
                  {&maxConnections, &options.maxConnectionsPerParticipant, 1, 1000},
                  {&sendStall, &options.sendStallMs, 100, 3'600'000}};
    for (const auto& c : counts) {
        if (!parser.isSet(*c.option))
            continue;
        bool ok = false;
        const int value = parser.value(*c.option).toInt(&ok);
        if (!ok || value < c.least || value > c.most) {
            text = QStringLiteral("--%1 needs a number from %2 to %3").arg(c.option->names().constFirst()).arg(c.least).arg(c.most);
            return ParseResult::Error;
        }
        *c.target = value;
    }
    if (parser.isSet(orderRate)) {
        bool ok = false;
        const double value = parser.value(orderRate).toDouble(&ok);
        if (!ok || !(value > 0) || value > 1'000'000) {
            text = QStringLiteral("--order-rate needs a number above 0 and up to 1000000");
            return ParseResult::Error;
        }
        options.orderLimits.perSecond = value;
    }
    if (parser.isSet(publicHost))
        options.publicHost = parser.value(publicHost).toLatin1();
    for (const auto& [option, target] : {std::pair{&loginTimeout, &options.loginTimeoutSeconds}, std::pair{&stats, &options.statsSeconds}}) {
        if (!parser.isSet(*option))
            continue;
        bool ok = false;
        const int value = parser.value(*option).toInt(&ok);
        if (!ok || value < (option == &loginTimeout ? 1 : 0) || value > 86400) {
            text = QStringLiteral("--%1 needs a number of seconds").arg(option->names().constFirst());
            return ParseResult::Error;
        }
        *target = value;
    }
    if (parser.isSet(backupEvery)) {
        bool ok = false;
        options.backupEveryMinutes = parser.value(backupEvery).toInt(&ok);
        if (!ok || options.backupEveryMinutes < 0 || options.backupEveryMinutes > 7 * 24 * 60) {
            text = QStringLiteral("--backup-every needs a number of minutes");
            return ParseResult::Error;
        }
    }
    options.backupDir = parser.value(backupDir);
    options.force = parser.isSet(force);
    if (parser.isSet(closeTime)) {
        const QString value = parser.value(closeTime);
        if (value == QLatin1String("off")) {
            options.closeTime.reset();
        } else {
            const QTime t = QTime::fromString(value, QStringLiteral("H:mm"));
            if (!t.isValid()) {
                text = QStringLiteral("--close-time needs a time HH:MM or \"off\"");
                return ParseResult::Error;
            }
            options.closeTime = t;
        }
    }
    if (parser.isSet(updatePackage) != parser.isSet(updateBelow)) {
        text = QStringLiteral("--update-package and --update-below go together");
        return ParseResult::Error;
    }
    if (parser.isSet(updatePackage)) {
        options.updatePackage = parser.value(updatePackage);
        options.updateBelow = parseVersion(parser.value(updateBelow).toLatin1());
        if (options.updatePackage.isEmpty() || options.updateBelow.isNull()) {
            text = QStringLiteral("--update-below needs a version such as 1.1.369");
            return ParseResult::Error;
        }
    }
    options.instantFills = parser.isSet(instantFills);
    options.testControl = parser.isSet(testControl);
    options.quiet = parser.isSet(quiet);
    options.command = parser.positionalArguments();
    return ParseResult::Run;
}

} // namespace korvi::server
