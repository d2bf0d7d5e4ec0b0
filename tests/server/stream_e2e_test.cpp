// The price stream decoded as the client decodes it, the keep-alive spacing and the
// address pages, against the real server binary on 127.0.0.1.
#include "serverprocess.h"

#include "fields.h"
#include "numbers.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace {

struct Quote {
    double last = 0, bid = 0, ask = 0, tick = 0;
    qint32 bidSize = 0, askSize = 0;
};

// Applies one price message the way the client's handlers do: bid and ask as distances
// from the last price, sizes as they come. Returns the form's name.
QByteArray applyPrice(QByteArrayView m, std::vector<Quote>& quotes)
{
    korvi::Fields f;
    QByteArray form;
    QByteArrayView body;
    if (m.startsWith("@KU=")) {
        form = "@KU";
        body = m.sliced(4);
    } else if (m.startsWith('~')) {
        form = "~";
        body = m.sliced(1);
    } else {
        form = m.first(2).toByteArray();
        body = m.sliced(2);
    }
    f.split(body, 20, ';');
    const int n = *korvi::toInt32(korvi::readNumber(f[1]));
    EXPECT_GE(n, 1);
    EXPECT_LE(n, static_cast<int>(quotes.size()));
    if (n < 1 || n > static_cast<int>(quotes.size()))
        return form;
    Quote& q = quotes[static_cast<size_t>(n - 1)];
    const auto num = [&](int i) { return korvi::readNumber(f[i]); };
    const auto size = [&](int i) { return *korvi::toInt32(num(i)); };
    if (form == "@KU") {
        EXPECT_EQ(f.count(), 6);
        q.bid = num(2);
        q.bidSize = size(3);
        q.ask = num(4);
        q.askSize = size(5);
        q.last = num(6);
    } else if (form == "~") {
        EXPECT_EQ(f.count(), 6);
        q.last = num(2);
        q.bid = q.last - num(3);
        q.bidSize = size(4);
        q.ask = q.last + num(5);
        q.askSize = size(6);
    } else if (form == "^1") {
        EXPECT_EQ(f.count(), 5);
        q.bid = q.last - num(2);
        q.bidSize = size(3);
        q.ask = q.last + num(4);
        q.askSize = size(5);
    } else if (form == "^2") {
        EXPECT_EQ(f.count(), 3);
        q.ask = q.last + num(2);
        q.askSize = size(3);
    } else if (form == "^3") {
        EXPECT_EQ(f.count(), 2);
        q.ask = q.last + num(2);
    } else if (form == "^4") {
        EXPECT_EQ(f.count(), 2);
        q.askSize = size(2);
    } else if (form == "^5") {
        EXPECT_EQ(f.count(), 3);
        q.bid = q.last - num(2);
        q.bidSize = size(3);
    } else {
        ADD_FAILURE() << "unknown price form " << m.toByteArray().toStdString();
    }
    return form;
}

// The quotes of an "@SI" message.
std::vector<Quote> quotesOf(QByteArrayView si)
{
    std::vector<Quote> quotes;
    korvi::Fields lines, f;
    const int count = lines.split(si.sliced(4), 1000, '\n');
    for (int i = 1; i <= count; ++i) {
        f.split(lines[i], 100, ';');
        Quote q;
        q.last = korvi::readNumber(f[4]);
        q.bid = korvi::readNumber(f[5]);
        q.bidSize = *korvi::toInt32(korvi::readNumber(f[6]));
        q.ask = korvi::readNumber(f[7]);
        q.askSize = *korvi::toInt32(korvi::readNumber(f[8]));
        q.tick = korvi::readNumber(f[12]);
        EXPECT_GT(q.tick, 0);
        quotes.push_back(q);
    }
    return quotes;
}

bool onGrid(double price, double tick) { return std::fabs(price / tick - std::round(price / tick)) < 1e-3; }

TEST(PriceStreamTest, EveryFormDecodesIntoConsistentPrices)
{
    QTemporaryDir dir;
    ServerProcess server(dir.path());
    ASSERT_TRUE(server.start({QStringLiteral("--rate"), QStringLiteral("1000"), QStringLiteral("--seed"), QStringLiteral("11")}))
        << server.lastError().toStdString();
    Peer peer;
    ASSERT_TRUE(peer.connectTo(server.tcpPort()));
    const std::vector<QByteArray> greeting = peer.loginAndGreeting("demo", "demo");
    ASSERT_EQ(greeting.size(), 13u);

    std::vector<Quote> quotes = quotesOf(greeting[5]);
    ASSERT_GE(quotes.size(), 12u);

    std::map<QByteArray, int> forms;
    int checkedLists = 0;
    int messages = 0;
    QElapsedTimer clock;
    clock.start();
    while (messages < 3000 && clock.elapsed() < 20000) {
        const std::optional<QByteArray> m = peer.next(2000);
        ASSERT_TRUE(m) << "the stream stopped";
        if (*m == "@=" || m->startsWith('!'))
            continue;
        if (m->startsWith("@SI=")) {
            // The server answers in stream order, so its list must match what the
            // price messages before it built up, price for price.
            ++checkedLists;
            const std::vector<Quote> listed = quotesOf(*m);
            ASSERT_EQ(listed.size(), quotes.size());
            for (size_t i = 0; i < quotes.size(); ++i) {
                const double eps = quotes[i].tick / 4;
                EXPECT_NEAR(listed[i].last, quotes[i].last, eps) << "instrument " << i + 1;
                EXPECT_NEAR(listed[i].bid, quotes[i].bid, eps) << "instrument " << i + 1;
                EXPECT_NEAR(listed[i].ask, quotes[i].ask, eps) << "instrument " << i + 1;
                EXPECT_EQ(listed[i].bidSize, quotes[i].bidSize) << "instrument " << i + 1;
                EXPECT_EQ(listed[i].askSize, quotes[i].askSize) << "instrument " << i + 1;
            }
            continue;
        }
        const QByteArray form = applyPrice(*m, quotes);
        ++forms[form];
        if (++messages % 250 == 0)
            peer.send("@IR");
        for (const Quote& q : quotes) {
            const double eps = q.tick / 4;
            ASSERT_LT(q.bid, q.ask - eps) << m->toStdString();
            ASSERT_LE(q.bid, q.last + eps) << m->toStdString();
            ASSERT_LE(q.last, q.ask + eps) << m->toStdString();
            ASSERT_TRUE(onGrid(q.bid, q.tick) && onGrid(q.ask, q.tick) && onGrid(q.last, q.tick)) << m->toStdString();
            ASSERT_GT(q.bidSize, 0);
            ASSERT_GT(q.askSize, 0);
        }
    }
    EXPECT_EQ(messages, 3000);
    EXPECT_GE(checkedLists, 10);
    for (const char* form : {"@KU", "~", "^1", "^2", "^3", "^4", "^5"})
        EXPECT_GT(forms[form], 0) << "form " << form << " never seen";
    // The short forms carry most of the traffic.
    EXPECT_LT(forms["@KU"], messages / 10);
}

TEST(KeepaliveTest, SomethingArrivesAtLeastEveryFiveSeconds)
{
    QTemporaryDir dir;
    ServerProcess server(dir.path());
    ASSERT_TRUE(server.start({QStringLiteral("--rate"), QStringLiteral("0")})) << server.lastError().toStdString();
    Peer peer;
    ASSERT_TRUE(peer.connectTo(server.tcpPort()));
    ASSERT_EQ(peer.loginAndGreeting("demo", "demo").size(), 13u);
    QElapsedTimer clock;
    clock.start();
    qint64 previous = 0;
    qint64 longestGap = 0;
    int keepalives = 0;
    while (clock.elapsed() < 11000) {
        const std::optional<QByteArray> m = peer.next(7000);
        ASSERT_TRUE(m) << "nothing for 7 seconds";
        EXPECT_FALSE(m->startsWith('~') || m->startsWith('^')) << "no prices at rate 0";
        if (*m == "@=")
            ++keepalives;
        longestGap = std::max(longestGap, clock.elapsed() - previous);
        previous = clock.elapsed();
    }
    EXPECT_GE(keepalives, 2);
    EXPECT_LE(longestGap, 5000);
}

QByteArray httpGet(quint16 port, QByteArrayView path)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    if (!socket.waitForConnected(5000))
        return {};
    socket.write("GET " + path.toByteArray() + " HTTP/1.0\r\nHost: 127.0.0.1\r\nUser-Agent: Nordel:INET\r\n\r\n");
    QByteArray response;
    QElapsedTimer clock;
    clock.start();
    while (socket.state() == QAbstractSocket::ConnectedState && clock.elapsed() < 5000) {
        socket.waitForReadyRead(500);
        response += socket.readAll();
    }
    return response + socket.readAll();
}

TEST(AddressPageTest, PagesNameTheGamePort)
{
    QTemporaryDir dir;
    ServerProcess server(dir.path());
    ASSERT_TRUE(server.start({QStringLiteral("--rate"), QStringLiteral("0")})) << server.lastError().toStdString();
    const QByteArray expected = "127.0.0.1:" + QByteArray::number(server.tcpPort()) + "\r\n";
    for (const char* page : {"/ipkorvi.html", "/ip.html", "/ipvarn3.html"}) {
        const QByteArray response = httpGet(server.httpPort(), page);
        EXPECT_TRUE(response.startsWith("HTTP/1.0 200")) << response.toStdString();
        EXPECT_TRUE(response.endsWith("\r\n\r\n" + expected)) << response.toStdString();
    }
    const QByteArray missing = httpGet(server.httpPort(), "/other.html");
    EXPECT_TRUE(missing.startsWith("HTTP/1.0 404"));
    EXPECT_TRUE(missing.contains("existiert"));
}

} // namespace

namespace {

TEST(PriceStreamTest, ARestartedServerGoesOnFromTheLastQuotes)
{
    QTemporaryDir dir;
    const QStringList quiet = {QStringLiteral("--rate"), QStringLiteral("0"), QStringLiteral("--test-control")};
    std::vector<Quote> start;
    {
        ServerProcess server(dir.path());
        ASSERT_TRUE(server.start(quiet)) << server.lastError().toStdString();
        Peer peer;
        ASSERT_TRUE(peer.connectTo(server.tcpPort()));
        const std::vector<QByteArray> greeting = peer.loginAndGreeting("demo", "demo");
        ASSERT_EQ(greeting.size(), 13u);
        start = quotesOf(greeting[5]);
        // Move the first instrument well away from its start price, then stop.
        peer.send("@TESTQUOTE=1;20000;19999.5;20000.5;7;8");
        std::optional<QByteArray> m;
        while ((m = peer.next(2000)) && !m->startsWith("@KU=")) {
        }
        ASSERT_TRUE(m);
        ASSERT_EQ(server.terminate(), 0);
    }
    ServerProcess again(dir.path());
    ASSERT_TRUE(again.start(quiet)) << again.lastError().toStdString();
    EXPECT_TRUE(again.log().contains(QLatin1String("go on from the quotes of the last run")));
    Peer peer;
    ASSERT_TRUE(peer.connectTo(again.tcpPort()));
    const std::vector<QByteArray> greeting = peer.loginAndGreeting("demo", "demo");
    ASSERT_EQ(greeting.size(), 13u);
    const std::vector<Quote> after = quotesOf(greeting[5]);
    ASSERT_EQ(after.size(), start.size());
    EXPECT_EQ(after[0].last, 20000);
    EXPECT_EQ(after[0].bid, 19999.5);
    EXPECT_EQ(after[0].ask, 20000.5);
    EXPECT_EQ(after[0].bidSize, 7);
    EXPECT_EQ(after[0].askSize, 8);
    for (size_t i = 1; i < after.size(); ++i)
        EXPECT_EQ(after[i].last, start[i].last) << "instrument " << i + 1;
}

} // namespace
