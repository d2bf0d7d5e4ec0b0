// The operator's commands against the real server binary: a backup taken while a
// participant places orders, restored into another data folder; passwords reset and
// participants removed.
#include "serverprocess.h"

#include <QDir>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QStringList kOptions = {"--rate", "0", "--seed", "1", "--test-control", "--close-time", "off", "--instant-fills"};

// The user order numbers stored in a database file.
QSet<qint64> storedOrders(const QString& file)
{
    QSet<qint64> ids;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("backup-check"));
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("SELECT user_order_id FROM orders"));
            while (q.next())
                ids.insert(q.value(0).toLongLong());
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("backup-check"));
    return ids;
}

// One figure of the metrics page, or -1 when the page or the figure is missing.
double metric(quint16 httpPort, const QByteArray& name)
{
    QTcpSocket http;
    http.connectToHost(QHostAddress::LocalHost, httpPort);
    if (!http.waitForConnected(5000))
        return -1;
    http.write("GET /metrics HTTP/1.0\r\n\r\n");
    QByteArray page;
    while (http.state() == QAbstractSocket::ConnectedState && http.waitForReadyRead(5000))
        page += http.readAll();
    page += http.readAll();
    if (!page.startsWith("HTTP/1.0 200"))
        return -1;
    for (const QByteArray& line : page.split('\n')) {
        if (line.startsWith(name + ' '))
            return line.mid(name.size() + 1).toDouble();
    }
    return -1;
}

} // namespace

// The metrics page counts what happens: logins good and bad, orders and fills, the
// connections of now.
TEST(OperatorTest, MetricsPageCountsLoginsOrdersAndFills)
{
    QTemporaryDir dir;
    ServerProcess server(dir.path());
    ASSERT_TRUE(server.start(kOptions)) << server.lastError().toStdString();
    const quint16 pages = server.httpPort();
    EXPECT_EQ(metric(pages, "korvi_logins_total"), 0);
    EXPECT_EQ(metric(pages, "korvi_participants_logged_in"), 0);

    Peer wrong;
    ASSERT_TRUE(wrong.connectTo(server.tcpPort()));
    wrong.login("demo", "falsch");
    Peer peer;
    ASSERT_TRUE(peer.connectTo(server.tcpPort()));
    ASSERT_EQ(peer.loginAndGreeting("demo", "demo").size(), 13u);
    peer.send("@PO=U00001;1;1;BUY ;MKT;1; 0; 0;0;0");
    peer.send("@PO=U00001;2;1;BUY ;MKT;0; 0; 0;0;0");
    for (int i = 0; i < 20 && metric(pages, "korvi_orders_refused_total") < 1; ++i)
        peer.nextNonPrice(200);

    EXPECT_EQ(metric(pages, "korvi_logins_total"), 1);
    EXPECT_EQ(metric(pages, "korvi_failed_logins_total"), 1);
    EXPECT_EQ(metric(pages, "korvi_participants_logged_in"), 1);
    EXPECT_GE(metric(pages, "korvi_connections"), 1);
    EXPECT_EQ(metric(pages, "korvi_orders_accepted_total"), 1);
    EXPECT_EQ(metric(pages, "korvi_orders_refused_total"), 1);
    EXPECT_EQ(metric(pages, "korvi_fills_total"), 1);
    EXPECT_GE(metric(pages, "korvi_store_commits_total"), 1);
}

TEST(OperatorTest, BackupDuringAnOrderBurstHoldsEveryAcknowledgedOrderAndRestores)
{
    QTemporaryDir dir;
    const QString data = dir.filePath("data");
    const QString backup = dir.filePath("copy.sqlite");
    const QString other = dir.filePath("other");
    ASSERT_TRUE(QDir().mkpath(data) && QDir().mkpath(other));
    ServerProcess server(data);
    // The burst goes beyond the default 200 orders at once.
    ASSERT_TRUE(server.start(kOptions + QStringList{"--order-burst", "400"})) << server.lastError().toStdString();
    Peer peer;
    ASSERT_TRUE(peer.connectTo(server.tcpPort()));
    ASSERT_EQ(peer.loginAndGreeting("demo", "demo").size(), 13u);

    // Buying and selling in turn keeps the margin small; an odd count leaves a position.
    constexpr int kOrders = 301;
    for (int n = 1; n <= kOrders; ++n)
        peer.send("@PO=U00001;" + QByteArray::number(n) + (n % 2 ? ";1;BUY ;MKT;1; 0; 0;0;0" : ";1;SEL ;MKT;1; 0; 0;0;0"));
    QSet<qint64> acknowledged;
    while (acknowledged.size() < kOrders / 3) {
        const auto m = peer.nextNonPrice(10000);
        ASSERT_TRUE(m);
        if (m->startsWith("@OO="))
            acknowledged.insert(m->mid(4, m->indexOf(';') - 4).toLongLong());
    }
    // The rest of the burst is still being worked while the backup runs.
    ASSERT_EQ(ServerProcess::admin(data, {"backup", backup}), 0);
    const QSet<qint64> inBackup = storedOrders(backup);
    EXPECT_TRUE(inBackup.contains(acknowledged)) << inBackup.size() << " of " << acknowledged.size();
    EXPECT_NE(ServerProcess::admin(data, {"backup", backup}), 0) << "an existing file is not overwritten";

    for (QSet<qint64> all = acknowledged; all.size() < kOrders;) {
        const auto m = peer.nextNonPrice(10000);
        ASSERT_TRUE(m) << all.size();
        if (m->startsWith("@OO="))
            all.insert(m->mid(4, m->indexOf(';') - 4).toLongLong());
    }
    // A participant with positions is not removed by mistake.
    EXPECT_NE(ServerProcess::admin(data, {"user", "remove", "demo"}), 0);

    // The backup goes into another folder, but not while a server uses it.
    ServerProcess second(other);
    ASSERT_TRUE(second.start(kOptions)) << second.lastError().toStdString();
    EXPECT_NE(ServerProcess::admin(other, {"restore", backup}), 0);
    EXPECT_EQ(second.terminate(), 0);
    ASSERT_EQ(ServerProcess::admin(other, {"restore", backup}), 0);
    EXPECT_EQ(storedOrders(QDir(other).filePath("korvi.sqlite")), inBackup);
    ASSERT_TRUE(second.start(kOptions)) << second.lastError().toStdString();
    Peer again;
    ASSERT_TRUE(again.connectTo(second.tcpPort()));
    EXPECT_EQ(again.loginAndGreeting("demo", "demo").size(), 13u);

    // A new password works at once; the participant can then be removed for good.
    ASSERT_EQ(ServerProcess::admin(other, {"user", "password", "demo", "neues-wort"}), 0);
    Peer renewed;
    ASSERT_TRUE(renewed.connectTo(second.tcpPort()));
    EXPECT_EQ(renewed.loginAndGreeting("demo", "neues-wort").size(), 13u);
    EXPECT_EQ(ServerProcess::admin(other, {"user", "remove", "demo", "--force"}), 0);
    QByteArray list;
    ASSERT_EQ(ServerProcess::admin(other, {"user", "list"}, &list), 0);
    EXPECT_FALSE(list.contains("demo"));
}
