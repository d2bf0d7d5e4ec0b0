// korvi-remote: trades through a running Korvi from the command line, over Korvi's order
// socket for outside programs.

#include "ports.h"
#include "remoteformat.h"
#include "remotesession.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <cstdio>

namespace {

enum Exit {
    Ok = 0,
    Usage = 1,
    Unreachable = 2,
    Refused = 3,
    UnknownInstrument = 4,
    NoAnswer = 5,
    Busy = 6,
    NotConnected = 7, // Korvi itself has no connection to its game server
    NotDone = 8,      // Korvi or its game server refused the order or the cancellation
};

void out(const QString& line)
{
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int fail(int code, const QString& text)
{
    std::fprintf(stderr, "korvi-remote: %s\n", text.toLocal8Bit().constData());
    return code;
}

QString text(QByteArrayView bytes) { return QString::fromLatin1(bytes); }

QList<QByteArray> fieldsOf(const QByteArray& message) { return message.split(';'); }

bool sameId(const QByteArray& a, qint64 id) { return a.trimmed().toLongLong() == id; }

// Korvi's "@ER" answer (code; text; reference) as an exit code with its message; the
// answer itself is printed in the chosen form first.
int refusedBy(const QByteArray& message, RemoteFormat format)
{
    const QList<QByteArray> f = fieldsOf(message);
    out(formatMessage(message, format));
    const int code = f.value(1).trimmed().toInt();
    const QString why = text(f.value(2));
    switch (code) {
    case 1:
        return fail(UnknownInstrument, QStringLiteral("Korvi answered: %1").arg(why));
    case 3:
        return fail(NotConnected, QStringLiteral("Korvi is not connected to its server: nothing was sent (%1)").arg(why));
    default:
        return fail(NotDone, QStringLiteral("Korvi refused it: %1").arg(why));
    }
}

// Whether an "@ER" answers the order with reference `ref` (an older Korvi sends none).
bool answersRef(const QByteArray& message, const QByteArray& ref)
{
    const QList<QByteArray> f = fieldsOf(message);
    return f[0] == "@ER" && (f.size() < 4 || f.value(3) == ref);
}

// Waits for the messages of one order: "@OC" with its number, "@OI" with the server's id,
// and with `follow` every "@OS" until it is filled or cancelled.
int placeOrder(RemoteSession& s, const QByteArray& command, const QByteArray& ref, bool follow, int timeoutMs,
               RemoteFormat format)
{
    s.send(command);
    qint64 id = 0;
    bool haveServerId = false;
    for (;;) {
        const std::optional<QByteArray> m = s.next(timeoutMs);
        if (!m)
            return fail(NoAnswer, id == 0 ? QStringLiteral("no order number came back")
                                          : QStringLiteral("order %1: no further answer").arg(id));
        const QList<QByteArray> f = fieldsOf(*m);
        if (id == 0 && answersRef(*m, ref))
            return refusedBy(*m, format);
        if (f[0] == "@OR" && id != 0) {
            out(formatMessage(*m, format));
            return fail(NotDone, QStringLiteral("order %1 rejected: %2").arg(id).arg(formatMessage(*m, RemoteFormat::Raw)));
        }
        if (f[0] == "@OC" && id == 0 && f.value(1) == ref) {
            id = f.value(2).trimmed().toLongLong();
            out(formatMessage(*m, format));
        } else if (f[0] == "@OI" && id != 0 && sameId(f.value(1), id) && !haveServerId) {
            haveServerId = true;
            out(formatMessage(*m, format));
            if (!follow)
                return Ok;
        } else if (f[0] == "@OS" && id != 0 && sameId(f.value(1), id)) {
            out(formatMessage(*m, format));
            const int status = f.value(2).trimmed().toInt();
            if (follow && haveServerId && (status == 5 || status == 6))
                return Ok;
        }
    }
}

// Sends a request and prints the first answer that starts with `answer`.
int request(RemoteSession& s, const QByteArray& command, const QByteArray& answer, int timeoutMs, RemoteFormat format)
{
    s.send(command);
    for (;;) {
        const std::optional<QByteArray> m = s.next(timeoutMs);
        if (!m)
            return fail(NoAnswer, QStringLiteral("no %1 came back").arg(text(answer)));
        if (m->startsWith(answer + ';') || *m == answer) {
            const QByteArray body = m->mid(answer.size() + 1);
            const QStringList lines =
                answer == "@SUK" ? formatAccount(body, format) : formatExecutions(body, format);
            for (const QString& line : lines)
                out(line);
            return Ok;
        }
    }
}

// An order number of Korvi's outside orders is negative ("cancel -2"); the command line
// parser would take it for an option, so such words are hidden from it and put back after.
const QString kNegativeMark = QStringLiteral("\x01neg");

QStringList hideNegativeNumbers(QStringList arguments)
{
    static const QRegularExpression negative(QStringLiteral("^-[0-9]+$"));
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (negative.match(arguments[i]).hasMatch())
            arguments[i] = kNegativeMark + arguments[i].mid(1);
    }
    return arguments;
}

QString restoreNegative(QString argument)
{
    return argument.startsWith(kNegativeMark) ? QLatin1Char('-') + argument.mid(kNegativeMark.size()) : argument;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvi-remote"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Trades through a running Korvi over its order socket for outside programs.\n\n"
        "Commands:\n"
        "  instruments                 the instrument list (number, ticker, code, name)\n"
        "  buy|sell TICKER QTY         places an order; TICKER is the code, the ticker or the number\n"
        "  cancel ID                   cancels the order with Korvi's number ID (as printed,\n"
        "                              e.g. cancel -2)\n"
        "  account                     the account figures\n"
        "  executions                  all executions\n"
        "  watch                       prints every message from Korvi until interrupted\n"
        "  hi                          asks Korvi for its time\n\n"
        "Output: labelled columns for people; --json one JSON object per line; --raw the\n"
        "protocol lines as Korvi sent them.\n\n"
        "Exit codes: 0 done, 1 wrong use, 2 Korvi not reachable, 3 user name refused,\n"
        "4 unknown instrument, 5 no answer in time, 6 Korvi busy (another program is\n"
        "connected to its order socket), 7 Korvi is not connected to its server (nothing\n"
        "was sent, and nothing will be), 8 refused: the order number is unknown or the\n"
        "order is no longer open (cancel), the stop price is on the wrong side of the last\n"
        "price, or the server rejected the order."));
    parser.addHelpOption();
    const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("Korvi's address (127.0.0.1)."),
                                  QStringLiteral("H"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Korvi's order socket (%1).").arg(korvi::kOrderSocketPort),
                                  QStringLiteral("P"), QString::number(korvi::kOrderSocketPort));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("The user name Korvi expects (ZAQR)."),
                                  QStringLiteral("U"), QStringLiteral("ZAQR"));
    const QCommandLineOption limit(QStringLiteral("limit"), QStringLiteral("Limit price."), QStringLiteral("X"));
    const QCommandLineOption stop(QStringLiteral("stop"), QStringLiteral("Stop price."), QStringLiteral("Y"));
    const QCommandLineOption type(QStringLiteral("type"),
                                  QStringLiteral("MKT, LMT, STP or MOC (MKT; LMT with --limit, STP with --stop)."),
                                  QStringLiteral("T"));
    const QCommandLineOption ref(QStringLiteral("ref"), QStringLiteral("Reference echoed by Korvi."), QStringLiteral("R"));
    const QCommandLineOption wait(QStringLiteral("wait"),
                                  QStringLiteral("After placing: print every status until filled or cancelled."));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QStringLiteral("Seconds to wait for an answer (10)."),
                                     QStringLiteral("S"), QStringLiteral("10"));
    const QCommandLineOption asJson(QStringLiteral("json"), QStringLiteral("One JSON object per line, for scripts."));
    const QCommandLineOption asRaw(QStringLiteral("raw"), QStringLiteral("The protocol lines as Korvi sent them."));
    parser.addOptions({host, port, user, limit, stop, type, ref, wait, timeout, asJson, asRaw});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("What to do (see above)."));
    parser.process(hideNegativeNumbers(QCoreApplication::arguments()));

    QStringList args = parser.positionalArguments();
    for (QString& a : args)
        a = restoreNegative(a);
    if (parser.isSet(asJson) && parser.isSet(asRaw))
        return fail(Usage, QStringLiteral("--json and --raw exclude each other"));
    const RemoteFormat format = parser.isSet(asJson) ? RemoteFormat::Json
                                : parser.isSet(asRaw) ? RemoteFormat::Raw
                                                      : RemoteFormat::People;
    if (args.isEmpty())
        return fail(Usage, QStringLiteral("no command given (see --help)"));
    const QString command = args[0].toLower();
    bool portOk = false;
    const uint portNumber = parser.value(port).toUInt(&portOk);
    const int timeoutMs = qMax(1, parser.value(timeout).toInt()) * 1000;
    if (!portOk || portNumber == 0 || portNumber > 65535)
        return fail(Usage, QStringLiteral("bad port %1").arg(parser.value(port)));

    const bool order = command == QLatin1String("buy") || command == QLatin1String("sell");
    QByteArray orderType;
    if (order) {
        if (args.size() != 3)
            return fail(Usage, QStringLiteral("%1 needs TICKER and QTY").arg(command));
        bool qtyOk = false;
        if (args[2].toInt(&qtyOk) <= 0 || !qtyOk)
            return fail(Usage, QStringLiteral("bad quantity %1").arg(args[2]));
        orderType = parser.isSet(type)      ? parser.value(type).toUpper().toLatin1()
                    : parser.isSet(limit) ? QByteArray("LMT")
                    : parser.isSet(stop)  ? QByteArray("STP")
                                          : QByteArray("MKT");
        if (orderType != "MKT" && orderType != "LMT" && orderType != "STP" && orderType != "MOC")
            return fail(Usage, QStringLiteral("bad order type %1").arg(parser.value(type)));
    } else if (command == QLatin1String("cancel")) {
        bool idOk = false;
        args.value(1).toInt(&idOk);
        if (args.size() != 2 || !idOk)
            return fail(Usage, QStringLiteral("cancel needs Korvi's order number"));
    } else if (!QStringList{"instruments", "account", "executions", "watch", "hi"}.contains(command)) {
        return fail(Usage, QStringLiteral("unknown command %1 (see --help)").arg(args[0]));
    }

    RemoteSession s;
    switch (s.login(parser.value(host), static_cast<quint16>(portNumber), parser.value(user).toLatin1(), timeoutMs)) {
    case RemoteSession::Login::Unreachable:
        return fail(Unreachable, QStringLiteral("Korvi is not reachable at %1:%2: %3")
                                     .arg(parser.value(host)).arg(portNumber).arg(s.lastError()));
    case RemoteSession::Login::Refused:
        return fail(Refused, s.lastError());
    case RemoteSession::Login::Busy:
        return fail(Busy, s.lastError());
    case RemoteSession::Login::Ok:
        break;
    }

    if (command == QLatin1String("instruments")) {
        for (const QString& line : formatInstruments(s.instrumentListBody(), format))
            out(line);
        return Ok;
    }
    if (order) {
        const std::optional<RemoteInstrument> ins = s.find(args[1].toLatin1());
        if (!ins)
            return fail(UnknownInstrument, QStringLiteral("unknown instrument %1").arg(args[1]));
        const QByteArray reference = parser.isSet(ref) ? parser.value(ref).toLatin1()
                                                       : "R" + QByteArray::number(QCoreApplication::applicationPid());
        const QByteArray po = "@PO;" + ins->lumticker + ';' + QByteArray::number(ins->number) + ';' +
                              (command == QLatin1String("buy") ? "BUY" : "SELL") + ';' + orderType + ';' +
                              args[2].toLatin1() + ';' + parser.value(limit).toLatin1() + ';' +
                              parser.value(stop).toLatin1() + ';' + reference;
        return placeOrder(s, po, reference, parser.isSet(wait), timeoutMs, format);
    }
    if (command == QLatin1String("cancel")) {
        const qint64 id = args[1].toLongLong();
        s.send("@CO;" + args[1].toLatin1());
        for (;;) {
            const std::optional<QByteArray> m = s.next(timeoutMs);
            if (!m)
                return fail(NoAnswer, QStringLiteral("no status change of order %1 came back").arg(id));
            const QList<QByteArray> f = fieldsOf(*m);
            if (f[0] == "@OS" && sameId(f.value(1), id)) {
                out(formatMessage(*m, format));
                return Ok;
            }
            // Korvi answers at once when it cannot cancel: no such order, not open, offline.
            if (f[0] == "@ER" && (f.size() < 4 || sameId(f.value(3), id)))
                return refusedBy(*m, format);
        }
    }
    if (command == QLatin1String("account"))
        return request(s, "@WT_RA", "@SUK", timeoutMs, format);
    if (command == QLatin1String("executions"))
        return request(s, "@WT_REX", "@SAE", timeoutMs, format);
    if (command == QLatin1String("hi")) {
        s.sendRaw("HI");
        for (;;) {
            const std::optional<QByteArray> m = s.next(timeoutMs);
            if (!m)
                return fail(NoAnswer, QStringLiteral("no answer to HI"));
            if (m->startsWith("HERE I AM;")) {
                out(formatMessage(*m, format));
                return Ok;
            }
        }
    }
    // watch
    for (;;) {
        const std::optional<QByteArray> m = s.next(-1);
        if (!m)
            return s.connected() ? Ok : fail(Unreachable, QStringLiteral("Korvi closed the connection"));
        out(formatMessage(*m, format));
    }
}
