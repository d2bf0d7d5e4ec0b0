// korvi-server sends its update package to clients that report an older version, in
// pieces between the prices, and to nobody else.
#include "escaping.h"
#include "serverprocess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class PublishTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 300'000; ++i)
            m_package.append(static_cast<char>((unsigned(i) * 7919u) % 256u));
        QFile f(m_dir.filePath("package.bin"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(m_package);
        f.close();
        m_server = std::make_unique<ServerProcess>(m_dir.path());
        ASSERT_TRUE(m_server->start({"--rate", "200", "--seed", "5", "--update-package", m_dir.filePath("package.bin"),
                                     "--update-below", "1.1.369"}))
            << m_server->lastError().toStdString();
    }

    QTemporaryDir m_dir;
    QByteArray m_package;
    std::unique_ptr<ServerProcess> m_server;
};

} // namespace

TEST_F(PublishTest, OlderClientReceivesThePackageBetweenThePrices)
{
    Peer old;
    ASSERT_TRUE(old.connectTo(m_server->tcpPort()));
    ASSERT_EQ(old.loginAndGreeting("demo", "demo").back(), "@RV");
    old.send("@SV=V1.1.368");
    old.send("@SVK=1");

    QByteArray id, escaped;
    qint64 announced = -1;
    int prices = 0;
    const QDeadlineTimer deadline(30000);
    for (;;) {
        const std::optional<QByteArray> m = old.next(5000);
        ASSERT_TRUE(m && !deadline.hasExpired()) << "the transfer stopped\n" << m_server->log().toStdString();
        if (isPriceOrKeepalive(*m)) {
            if (announced >= 0)
                ++prices;
            continue;
        }
        if (m->startsWith("@FIS=")) {
            const QList<QByteArray> f = m->mid(5).split(';');
            ASSERT_EQ(f.size(), 3);
            id = f[0];
            EXPECT_EQ(f[1], "KORVIUP.EXX");
            announced = f[2].toLongLong();
        } else if (m->startsWith("@FID=")) {
            ASSERT_TRUE(m->startsWith("@FID=" + id + ';'));
            escaped += m->mid(6 + id.size());
        } else if (m->startsWith("@FIE=")) {
            EXPECT_EQ(m->mid(5), id);
            break;
        }
    }
    EXPECT_EQ(escaped.size(), announced);
    EXPECT_EQ(korvi::EscapeDecode(escaped), m_package);
    // The price stream to this participant went on during the transfer.
    std::optional<QByteArray> after = old.next(3000);
    while (after && !isPriceOrKeepalive(*after))
        after = old.next(3000);
    EXPECT_TRUE(after.has_value());
    RecordProperty("prices_during_transfer", prices);
}

TEST_F(PublishTest, CurrentOrUnknownVersionsGetNothing)
{
    for (const char* version : {"@SV=V1.1.369", "@SV=V2.0.0", "@SV=neu"}) {
        Peer peer;
        ASSERT_TRUE(peer.connectTo(m_server->tcpPort()));
        ASSERT_EQ(peer.loginAndGreeting("demo", "demo").back(), "@RV");
        peer.send(version);
        peer.send("@SVK=1");
        // Asking for the instruments shows the server has handled the version by then.
        peer.send("@IR");
        std::optional<QByteArray> m = peer.nextNonPrice(5000);
        ASSERT_TRUE(m) << version;
        EXPECT_TRUE(m->startsWith("@SI=")) << version << ": " << m->left(40).constData();
    }
}
