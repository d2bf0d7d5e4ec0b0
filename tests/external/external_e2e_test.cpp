#include "externalfixture.h"

#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

struct RemoteRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs korvi-remote while the client's event loop keeps going.
RemoteRun remote(const QStringList& args, int ms = 30000)
{
    QProcess p;
    p.start(QString::fromLocal8Bit(qgetenv("KORVI_REMOTE")), args);
    RemoteRun run;
    if (!p.waitForStarted(5000))
        return run;
    if (!waitFor([&] { return p.state() == QProcess::NotRunning; }, ms)) {
        p.kill();
        p.waitForFinished(2000);
        return run;
    }
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(p.readAllStandardError());
    return run;
}

// The order with this user order id, once the server reported it with `status`.
bool orderReached(const ClientApp& app, qint32 id, qint16 status)
{
    const int o = app.state.book.SuchOrderUserID(id);
    return o != 0 && app.state.book.orders[o].Status == status;
}

} // namespace

// korvi-remote places a market order through the client's order socket; the game server
// fills it and the fill comes back to korvi-remote as a status change. The same order from
// a command file is confirmed in "KORVIREM.ORD".
TEST(ExternalEndToEnd, RemoteAndCommandFileAgainstTheGameServer)
{
    KORVI_NEEDS_SERVER();
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("KORVI_REMOTE"));
    LiveSession live;
    ClientApp& app = live.client.app;
    ASSERT_TRUE(live.start({"--instant-fills"}));
    ASSERT_TRUE(waitFor([&] { return app.state.user().UserKz.trimmed().size() > 0; }));
    app.orderGrid.rebuild();
    app.state.settings.wexPort = "0";
    app.external.wex.Command17_Click();
    const QString port = QString::number(app.external.wex.listeningPort());
    ASSERT_NE(port, "0");
    const QString code = QString::fromLatin1(app.state.Instruments[1].Lumticker.trimmed());

    // The instrument list in the three forms: labelled columns, one JSON object per
    // instrument, the protocol lines.
    const QString ticker = QString::fromLatin1(app.state.Instruments[1].Ticker.trimmed());
    const RemoteRun list = remote({"--port", port, "instruments"});
    EXPECT_EQ(list.exitCode, 0) << list.err.toStdString();
    const QStringList listLines = list.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(listLines.size(), app.state.InstrumentCount + 1) << list.out.toStdString();
    EXPECT_TRUE(listLines[0].startsWith(QStringLiteral("Nr  Ticker"))) << listLines[0].toStdString();
    EXPECT_EQ(listLines[1].split(QLatin1Char(' '), Qt::SkipEmptyParts).mid(0, 3), (QStringList{"1", ticker, code}));
    const RemoteRun listJson = remote({"--port", port, "instruments", "--json"});
    EXPECT_EQ(listJson.exitCode, 0) << listJson.err.toStdString();
    const QStringList jsonLines = listJson.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(jsonLines.size(), app.state.InstrumentCount) << listJson.out.toStdString();
    for (int n = 1; n <= app.state.InstrumentCount; ++n) {
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(jsonLines[n - 1].toUtf8(), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << jsonLines[n - 1].toStdString();
        EXPECT_EQ(o["type"].toString(), QStringLiteral("instrument"));
        EXPECT_EQ(o["number"].toInt(), n);
        EXPECT_EQ(o["code"].toString(), QString::fromLatin1(app.state.Instruments[size_t(n)].Lumticker.trimmed()));
    }
    const RemoteRun listRaw = remote({"--port", port, "instruments", "--raw"});
    EXPECT_TRUE(listRaw.out.startsWith(ticker + QLatin1Char(';') + code + QLatin1Char(';'))) << listRaw.out.toStdString();
    // An order number that does not exist is answered at once, not after the time-out.
    const RemoteRun unknown = remote({"--port", port, "cancel", "-999999", "--timeout", "60"});
    EXPECT_EQ(unknown.exitCode, 8) << unknown.err.toStdString();
    EXPECT_TRUE(unknown.out.startsWith(QStringLiteral("error 4: Order nicht vorhanden"))) << unknown.out.toStdString();

    const RemoteRun buy = remote({"--port", port, "buy", code.toLower(), "1", "--ref", "E2E", "--wait", "--timeout", "20"});
    ASSERT_EQ(buy.exitCode, 0) << buy.err.toStdString() << buy.out.toStdString();
    const QStringList lines = buy.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 3) << buy.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("order -"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(" ref E2E")));
    EXPECT_TRUE(lines[1].contains(QStringLiteral(" server id ")));
    EXPECT_TRUE(lines.last().contains(QStringLiteral(" Filled filled 1 rem 0 "))) << buy.out.toStdString();
    const qint32 id = lines[0].section(QLatin1Char(' '), 1, 1).toInt();
    EXPECT_TRUE(orderReached(app, id, Filled));
    EXPECT_TRUE(app.external.list1.lines().filter(QStringLiteral("Ex:")).size() >= 1);

    // The failures korvi-remote names by its exit code.
    EXPECT_EQ(remote({"--port", port, "buy", "NOSUCH", "1"}).exitCode, 4);
    EXPECT_EQ(remote({"--port", port, "--user", "zaqr", "account"}).exitCode, 3);
    ASSERT_TRUE(waitFor([&] { return app.external.wex.stateNumber() == 2; }));
    const RemoteRun account = remote({"--port", port, "account"});
    EXPECT_EQ(account.exitCode, 0) << account.err.toStdString();
    EXPECT_TRUE(account.out.startsWith(QStringLiteral("Kontobeginn"))) << account.out.toStdString();
    app.external.wex.Command22_Click();
    const RemoteRun closed = remote({"--port", port, "instruments"});
    EXPECT_EQ(closed.exitCode, 2);
    EXPECT_TRUE(closed.err.contains(QStringLiteral("not reachable")));

    // The same order from a command file.
    app.external.files.Check6_Click(true);
    {
        QFile file(live.client.dir.filePath(QStringLiteral("KORVIREM.TXT")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("'von Hand\r\n@PO;" + code.toLatin1() + ";0;BUY;MKT;1;0;0;F1\r\n");
    }
    const QString confirmations = live.client.dir.filePath(QStringLiteral("KORVIREM.ORD"));
    ASSERT_TRUE(waitFor([&] { return QFile::exists(confirmations); }, 5000));
    QFile file(confirmations);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray line = file.readAll();
    const qint32 fileId = id - 1;
    EXPECT_EQ(line, "\"F1\";" + QByteArray::number(fileId) + " \r\n");
    EXPECT_TRUE(waitFor([&] { return orderReached(app, fileId, Filled); }, 10000))
        << app.outgoing.lines().mid(app.outgoing.lines().size() - 15).join("\n").toStdString();

    app.external.wex.Command17_Click();
    const QString again = QString::number(app.external.wex.listeningPort());
    // Scripts read one JSON object per execution, and cancel takes the negative number that
    // korvi-remote printed for an order (a market-on-close order waits for the close).
    const RemoteRun fills = remote({"--port", again, "executions", "--json"});
    EXPECT_EQ(fills.exitCode, 0) << fills.err.toStdString();
    const QStringList fillLines = fills.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(fillLines.size(), 1) << fills.out.toStdString();
    EXPECT_TRUE(fillLines[0].startsWith(QStringLiteral("{\"action\":"))) << fillLines[0].toStdString();
    static const QRegularExpression clock(QStringLiteral("^[0-2][0-9]:[0-5][0-9]:[0-5][0-9]$"));
    for (const QString& fill : fillLines)
        EXPECT_TRUE(clock.match(QJsonDocument::fromJson(fill.toUtf8())["time"].toString()).hasMatch()) << fill.toStdString();
    const RemoteRun fillTable = remote({"--port", again, "executions"});
    EXPECT_TRUE(QRegularExpression(QStringLiteral("\\b[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\\b")).match(fillTable.out).hasMatch())
        << fillTable.out.toStdString();
    const RemoteRun moc = remote({"--port", again, "buy", code, "1", "--type", "MOC", "--json"});
    ASSERT_EQ(moc.exitCode, 0) << moc.err.toStdString();
    const qint32 mocId = QJsonDocument::fromJson(moc.out.section(QLatin1Char('\n'), 0, 0).toUtf8())["order"].toInt();
    ASSERT_LT(mocId, 0) << moc.out.toStdString();
    // While one program holds the order socket, another learns that it is busy.
    QTcpSocket holder;
    holder.connectToHost(QHostAddress::LocalHost, again.toUShort());
    ASSERT_TRUE(waitFor([&] { return app.external.wex.WexConnected(); }));
    const RemoteRun busy = remote({"--port", again, "account"});
    EXPECT_EQ(busy.exitCode, 6) << busy.err.toStdString();
    EXPECT_TRUE(busy.err.contains(QStringLiteral("Korvi is busy"))) << busy.err.toStdString();
    holder.abort();
    ASSERT_TRUE(waitFor([&] { return !app.external.wex.WexConnected(); }));
    const RemoteRun cancel = remote({"--port", again, "cancel", QString::number(mocId), "--timeout", "20"});
    EXPECT_EQ(cancel.exitCode, 0) << cancel.err.toStdString();
    EXPECT_TRUE(cancel.out.contains(QStringLiteral(" status Cancelled"))) << cancel.out.toStdString();
}

// While Korvi has no connection to its game server, an outside order is answered as failed
// at once (korvi-remote exits 7, well before its time-out), no entry line is left, no box
// pops up; after the server is back, not even "TRANS Alle" sends anything of it.
TEST(ExternalEndToEnd, OrdersWhileTheServerIsDownFailAtOnceAndNeverLeave)
{
    KORVI_NEEDS_SERVER();
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("KORVI_REMOTE"));
    LiveSession live;
    ClientApp& app = live.client.app;
    ASSERT_TRUE(live.start({"--instant-fills"}));
    ASSERT_TRUE(waitFor([&] { return app.connection.canTrade() && app.state.user().UserKz.trimmed().size() > 0; }));
    app.orderGrid.rebuild();
    app.state.settings.wexPort = "0";
    app.external.wex.Command17_Click();
    const QString port = QString::number(app.external.wex.listeningPort());
    const QString code = QString::fromLatin1(app.state.Instruments[1].Lumticker.trimmed());
    auto orderIds = [&] {
        QList<qint32> ids;
        for (int o = 1; o <= app.state.book.orders.count(); ++o)
            ids << app.state.book.orders[o].OrderUserID;
        std::sort(ids.begin(), ids.end());
        return ids;
    };
    const QList<qint32> before = orderIds();

    live.server.stop();
    ASSERT_TRUE(waitFor([&] { return !app.connection.canTrade(); }, 10000));
    for (int i = 0; i < 3; ++i) {
        const RemoteRun buy = remote({"--port", port, "buy", code, "1", "--timeout", "60"});
        EXPECT_EQ(buy.exitCode, 7) << buy.err.toStdString() << buy.out.toStdString();
        EXPECT_TRUE(buy.err.contains(QStringLiteral("not connected to its server"))) << buy.err.toStdString();
        ASSERT_TRUE(waitFor([&] { return app.external.wex.stateNumber() == 2; }));
    }
    const RemoteRun json = remote({"--port", port, "sell", code, "2", "--json"});
    EXPECT_EQ(json.exitCode, 7);
    EXPECT_EQ(QJsonDocument::fromJson(json.out.toUtf8())["code"].toInt(), 3) << json.out.toStdString();
    EXPECT_EQ(app.state.book.entryLineCount(), 0);
    EXPECT_TRUE(live.client.prompts.messages.isEmpty()) << live.client.prompts.messages.value(0).toStdString();

    app.connection.KeepConnected = false;
    ASSERT_TRUE(live.server.start({"--instant-fills"}));
    ASSERT_TRUE(live.client.loginTo(live.server.port));
    ASSERT_TRUE(waitFor([&] { return app.connection.canTrade(); }, 10000));
    app.placing.transAlle();
    // A round trip through the server: whatever "TRANS Alle" sent has been answered.
    const RemoteRun account = remote({"--port", port, "account", "--timeout", "20"});
    EXPECT_EQ(account.exitCode, 0) << account.err.toStdString();
    EXPECT_EQ(orderIds(), before);
}
