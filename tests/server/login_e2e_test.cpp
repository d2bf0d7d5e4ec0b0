// The login conversation, the requests of a logged-in client and the participant
// administration, against the real server binary on 127.0.0.1.
#include "serverprocess.h"

#include "fields.h"

#include <QDate>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class LoginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_server = std::make_unique<ServerProcess>(m_dir.path());
        ASSERT_TRUE(m_server->start({QStringLiteral("--rate"), QStringLiteral("5"), QStringLiteral("--seed"), QStringLiteral("3")}))
            << m_server->lastError().toStdString();
    }

    QTemporaryDir m_dir;
    std::unique_ptr<ServerProcess> m_server;
};

TEST_F(LoginTest, DemoLogsInAndGetsTheGameDataInOrder)
{
    Peer peer;
    ASSERT_TRUE(peer.connectTo(m_server->tcpPort()));
    const std::vector<QByteArray> greeting = peer.loginAndGreeting("demo", "demo");
    std::vector<QByteArray> words;
    for (const QByteArray& m : greeting)
        words.push_back(commandWordOf(m));
    const std::vector<QByteArray> expected = {"!;T;", "@WELCOME", "@UD", "@SV", "@LI", "@SI",
                                              "@SAO", "@SAE", "@SUK", "@SUD", "@SUP", "@PI", "@RV"};
    ASSERT_EQ(words, expected) << m_server->log().toStdString();

    // The code list names every instrument's second code, in the order of "@SI".
    korvi::Fields codes;
    codes.split(QByteArrayView(greeting[0]).sliced(6), 100, ';');
    korvi::Fields lines;
    const int instruments = lines.split(QByteArrayView(greeting[5]).sliced(4), 1000, '\n');
    EXPECT_GE(instruments, 12);
    EXPECT_EQ(codes.count(), instruments);
    korvi::Fields f;
    for (int i = 1; i <= instruments; ++i) {
        EXPECT_EQ(f.split(lines[i], 100, ';'), 12) << lines[i].toByteArray().toStdString();
        EXPECT_EQ(f[2], codes[i]);
        EXPECT_GT(f[4].toByteArray().toDouble(), 0) << "last price of line " << i;
    }
    // A new participant: a 6-character short id, level 1, no orders, executions or positions.
    EXPECT_EQ(greeting[2].size(), 4 + 6);
    EXPECT_EQ(greeting[3], "@SV=1");
    EXPECT_EQ(greeting[4], "@LI=0");
    EXPECT_EQ(greeting[6], "@SAO=");
    EXPECT_EQ(greeting[7], "@SAE=");
    EXPECT_TRUE(greeting[8].startsWith("@SUK=" + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")).toLatin1()));
    EXPECT_EQ(greeting[9], "@SUD= 0; 100000");
    EXPECT_EQ(greeting[10], "@SUP=0;0; 0");

    // The version answer is taken without a reply and the connection stays.
    peer.send("@SV=V1.1.368");
    peer.send("@SVK=1");
    peer.send("@TIMEGET");
    const std::optional<QByteArray> time = peer.nextNonPrice();
    ASSERT_TRUE(time);
    EXPECT_TRUE(time->startsWith("@ST=Serverzeit ")) << time->toStdString();
    EXPECT_TRUE(m_server->log().contains(QLatin1String("V1.1.368")));
}

TEST_F(LoginTest, RequestButtonsGetTheirOrdinaryMessages)
{
    Peer peer;
    ASSERT_TRUE(peer.connectTo(m_server->tcpPort()));
    ASSERT_FALSE(peer.loginAndGreeting("demo", "demo").empty());
    const std::vector<std::pair<QByteArray, QByteArray>> cases = {
        {"@RA", "@SAO"}, {"@RAO", "@SOO"}, {"@RAE", "@SAE"}, {"@IR", "@SI"}, {"@GSUK", "@SUK"},
        {"@PO=1;FDAX;BUY;1;MKT", "@OR"}, {"@CO=1", "@CR"}, {"@GKO=45000", "@SD"},
    };
    for (const auto& [request, answer] : cases) {
        peer.send(request);
        const std::optional<QByteArray> m = peer.nextNonPrice();
        ASSERT_TRUE(m) << request.toStdString();
        EXPECT_EQ(commandWordOf(*m), answer) << request.toStdString() << " -> " << m->toStdString();
    }
    // A statement names the participant's file for that day (45000 is 15 March 2023).
    peer.send("@GKO=45000");
    const std::optional<QByteArray> doc = peer.nextNonPrice();
    ASSERT_TRUE(doc);
    EXPECT_TRUE(doc->startsWith("@SD=FILE=U00001") && doc->contains("20230315K.TXT")) << doc->toStdString();
    // Garbage and unknown words are ignored; the session goes on.
    peer.send("@NOSUCHTHING=1");
    peer.send("hello");
    peer.send("@TIMEGET");
    const std::optional<QByteArray> m = peer.nextNonPrice();
    ASSERT_TRUE(m);
    EXPECT_TRUE(m->startsWith("@ST="));
}

TEST_F(LoginTest, WrongPasswordOrUnknownNameIsRefusedAndClosed)
{
    for (const auto& [name, password] : {std::pair<QByteArray, QByteArray>{"demo", "wrong"}, {"nobody", "demo"}, {"demo", ""}}) {
        Peer peer;
        ASSERT_TRUE(peer.connectTo(m_server->tcpPort()));
        const std::optional<QByteArray> answer = peer.login(name, password);
        ASSERT_TRUE(answer) << name.toStdString();
        EXPECT_EQ(*answer, QByteArray("@MSG=FALSCHES PA\xDFWORT")) << name.toStdString();
        EXPECT_TRUE(peer.waitClosed(5000));
    }
    // A name is found whatever its case; the password must match exactly.
    Peer peer;
    ASSERT_TRUE(peer.connectTo(m_server->tcpPort()));
    const std::optional<QByteArray> answer = peer.login("DEMO", "demo");
    ASSERT_TRUE(answer);
    EXPECT_EQ(commandWordOf(*answer), "!;T;");
}

TEST_F(LoginTest, BlockedParticipantIsToldAndDisconnected)
{
    ASSERT_EQ(ServerProcess::admin(m_dir.path(), {"user", "add", "alice", "s3cret%x"}), 0);
    ASSERT_EQ(ServerProcess::admin(m_dir.path(), {"user", "block", "alice"}), 0);
    {
        Peer peer;
        ASSERT_TRUE(peer.connectTo(m_server->tcpPort()));
        const std::optional<QByteArray> answer = peer.login("alice", "s3cret%x");
        ASSERT_TRUE(answer);
        EXPECT_EQ(*answer, "@MSG=USER GESPERRT");
        EXPECT_TRUE(peer.waitClosed(5000));
    }
    {
        // Without the right password nobody learns that the account is blocked.
        Peer peer;
        ASSERT_TRUE(peer.connectTo(m_server->tcpPort()));
        const std::optional<QByteArray> answer = peer.login("alice", "guess");
        ASSERT_TRUE(answer);
        EXPECT_EQ(*answer, QByteArray("@MSG=FALSCHES PA\xDFWORT"));
    }
    ASSERT_EQ(ServerProcess::admin(m_dir.path(), {"user", "unblock", "alice"}), 0);
    Peer peer;
    ASSERT_TRUE(peer.connectTo(m_server->tcpPort()));
    const std::vector<QByteArray> greeting = peer.loginAndGreeting("alice", "s3cret%x");
    ASSERT_EQ(greeting.size(), 13u);
    EXPECT_EQ(greeting[2], "@UD=U00002");
}

TEST(AdminTest, CommandsReportAndRefuseClearly)
{
    QTemporaryDir dir;
    QByteArray out;
    EXPECT_EQ(ServerProcess::admin(dir.path(), {"user", "add", "bob", "pw"}, &out), 0);
    EXPECT_TRUE(out.contains("bob")) << out.toStdString();
    EXPECT_EQ(ServerProcess::admin(dir.path(), {"user", "add", "BOB", "other"}), 1) << "names differ only in case";
    EXPECT_EQ(ServerProcess::admin(dir.path(), {"user", "add", "a;b", "pw"}), 1);
    EXPECT_EQ(ServerProcess::admin(dir.path(), {"user", "block", "nobody"}), 1);
    EXPECT_EQ(ServerProcess::admin(dir.path(), {"user", "frobnicate"}), 2);
    EXPECT_EQ(ServerProcess::admin(dir.path(), {"user", "list"}, &out), 0);
    const QList<QByteArray> rows = out.trimmed().split('\n');
    ASSERT_EQ(rows.size(), 2) << out.toStdString(); // header, bob: nobody else
    EXPECT_TRUE(rows[1].startsWith("bob") && rows[1].contains("U00001") && rows[1].contains("active"));
    EXPECT_EQ(ServerProcess::admin(dir.path(), {"--help"}, &out), 0);
    EXPECT_TRUE(out.contains("user add NAME PASSWORD"));
    EXPECT_TRUE(out.contains("user import FILE"));
    EXPECT_EQ(ServerProcess::admin(dir.path(), {"user", "import", dir.filePath("missing.txt")}), 1);
    EXPECT_EQ(ServerProcess::admin(dir.path(), {"--port", "99999"}), 2);
}

// A fresh data folder lets nobody in, not even as "demo", and the log says how to add a
// participant; one added while the server runs logs in at once.
TEST(FreshFolderTest, NobodyLogsInUntilTheOperatorAddsSomeone)
{
    QTemporaryDir dir;
    ServerProcess server(dir.path(), ServerProcess::Participants::None);
    ASSERT_TRUE(server.start({QStringLiteral("--rate"), QStringLiteral("0")})) << server.lastError().toStdString();
    EXPECT_TRUE(server.log().contains(QStringLiteral("user add NAME PASSWORD"))) << server.log().toStdString();
    Peer demo;
    ASSERT_TRUE(demo.connectTo(server.tcpPort()));
    const std::optional<QByteArray> refused = demo.login("demo", "demo");
    ASSERT_TRUE(refused);
    EXPECT_FALSE(refused->startsWith("!;T;")) << refused->toStdString();
    QFile file(dir.filePath("klasse.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("anna;eins\r\nben\r\n");
    file.close();
    QByteArray handed;
    ASSERT_EQ(ServerProcess::admin(dir.path(), {"user", "import", file.fileName()}, &handed), 0);
    ASSERT_TRUE(handed.startsWith("ben;")) << handed.toStdString();
    for (const auto& [name, password] : {std::pair<QByteArray, QByteArray>{"anna", "eins"}, {"ben", handed.mid(4).trimmed()}}) {
        Peer peer;
        ASSERT_TRUE(peer.connectTo(server.tcpPort()));
        EXPECT_EQ(peer.loginAndGreeting(name, password).size(), 13u) << name.toStdString();
    }
}

TEST(RestartTest, NothingCommittedIsLostWhenTheServerIsKilled)
{
    QTemporaryDir dir;
    QByteArray shortId;
    {
        ServerProcess server(dir.path());
        ASSERT_TRUE(server.start({QStringLiteral("--rate"), QStringLiteral("0")})) << server.lastError().toStdString();
        // Added while the server runs: the next login sees it without a restart.
        ASSERT_EQ(ServerProcess::admin(dir.path(), {"user", "add", "carol", "pw1"}), 0);
        Peer peer;
        ASSERT_TRUE(peer.connectTo(server.tcpPort()));
        const std::vector<QByteArray> greeting = peer.loginAndGreeting("carol", "pw1");
        ASSERT_EQ(greeting.size(), 13u);
        shortId = greeting[2];
        server.kill();
    }
    ServerProcess server(dir.path());
    ASSERT_TRUE(server.start({QStringLiteral("--rate"), QStringLiteral("0")})) << server.lastError().toStdString();
    Peer peer;
    ASSERT_TRUE(peer.connectTo(server.tcpPort()));
    const std::vector<QByteArray> greeting = peer.loginAndGreeting("carol", "pw1");
    ASSERT_EQ(greeting.size(), 13u);
    EXPECT_EQ(greeting[2], shortId);
    QByteArray list;
    ASSERT_EQ(ServerProcess::admin(dir.path(), {"user", "list"}, &list), 0);
    EXPECT_EQ(list.count("demo"), 1) << "the demo participant is created once";
    EXPECT_EQ(server.terminate(), 0);
}

TEST(ShutdownTest, TermAndIntStopCleanly)
{
    QTemporaryDir dir;
    for (bool useTerm : {true, false}) {
        ServerProcess server(dir.path());
        ASSERT_TRUE(server.start()) << server.lastError().toStdString();
        Peer peer;
        ASSERT_TRUE(peer.connectTo(server.tcpPort()));
        ASSERT_TRUE(peer.login("demo", "demo"));
        EXPECT_EQ(useTerm ? server.terminate() : server.interrupt(), 0);
        EXPECT_TRUE(server.log().contains(QLatin1String("stopped")));
        EXPECT_TRUE(peer.waitClosed(5000));
    }
}

} // namespace

TEST(BlockTest, AParticipantBlockedWhilePlayingIsSentAway)
{
    QTemporaryDir dir;
    ServerProcess server(dir.path());
    ASSERT_TRUE(server.start({QStringLiteral("--rate"), QStringLiteral("0")})) << server.lastError().toStdString();
    ASSERT_EQ(ServerProcess::admin(dir.path(), {"user", "add", "dora", "pw1"}), 0);
    Peer dora, demo;
    ASSERT_TRUE(dora.connectTo(server.tcpPort()));
    ASSERT_EQ(dora.loginAndGreeting("dora", "pw1").size(), 13u);
    ASSERT_TRUE(demo.connectTo(server.tcpPort()));
    ASSERT_EQ(demo.loginAndGreeting("demo", "demo").size(), 13u);

    ASSERT_EQ(ServerProcess::admin(dir.path(), {"user", "block", "dora"}), 0);
    std::optional<QByteArray> m;
    while ((m = dora.nextNonPrice(8000)) && *m != "@MSG=USER GESPERRT") {
    }
    ASSERT_TRUE(m) << "no word of the block";
    EXPECT_TRUE(dora.waitClosed(5000));
    // The others play on.
    demo.send("@IR");
    while ((m = demo.nextNonPrice(5000)) && !m->startsWith("@SI=")) {
    }
    EXPECT_TRUE(m);
}
