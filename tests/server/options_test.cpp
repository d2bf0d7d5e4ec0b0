#include "options.h"

#include <gtest/gtest.h>

using namespace korvi::server;

namespace {

TEST(OptionsTest, DefaultsAndEveryOption)
{
    ServerOptions o;
    QString text;
    ASSERT_EQ(parseOptions({}, o, text), ParseResult::Run);
    EXPECT_EQ(o.port, 4100);
    EXPECT_EQ(o.httpPort, 8100);
    // Neither is the client's order socket: a server and a client started with their
    // defaults both listen on one machine.
    EXPECT_EQ(o.port, korvi::kGamePort);
    EXPECT_EQ(o.httpPort, korvi::kAddressPagePort);
    EXPECT_NE(o.port, korvi::kOrderSocketPort);
    EXPECT_NE(o.httpPort, korvi::kOrderSocketPort);
    EXPECT_EQ(o.dataDir, QStringLiteral("korvi-data"));
    EXPECT_FALSE(o.seed.has_value());
    EXPECT_EQ(o.bindAddress, QStringLiteral("127.0.0.1")) << "only this machine unless opened";
    EXPECT_EQ(o.hashIterations, 600000);

    ServerOptions p;
    ASSERT_EQ(parseOptions({"--port", "0", "--http-port", "0", "--data", "/tmp/d", "--seed", "99", "--rate", "12.5",
                            "--instruments", "i.conf", "--login-timeout", "3", "--bind", "0.0.0.0", "--hash-iterations", "1000",
                            "--max-waiting", "7", "--max-waiting-per-address", "2", "--max-open-orders", "40", "user", "add", "n", "pw"},
                           p, text),
              ParseResult::Run)
        << text.toStdString();
    EXPECT_EQ(p.port, 0);
    EXPECT_EQ(p.httpPort, 0);
    EXPECT_EQ(p.dataDir, QStringLiteral("/tmp/d"));
    EXPECT_EQ(p.seed, 99u);
    EXPECT_DOUBLE_EQ(p.rate, 12.5);
    EXPECT_EQ(p.instruments, QStringLiteral("i.conf"));
    EXPECT_EQ(p.loginTimeoutSeconds, 3);
    EXPECT_EQ(p.bindAddress, QStringLiteral("0.0.0.0"));
    EXPECT_EQ(p.hashIterations, 1000);
    EXPECT_EQ(p.maxWaiting, 7);
    EXPECT_EQ(p.maxWaitingPerAddress, 2);
    EXPECT_EQ(p.maxOpenOrders, 40);
    EXPECT_EQ(p.command, (QStringList{"user", "add", "n", "pw"}));
}

TEST(OptionsTest, BadValuesAreErrorsAndHelpIsHelp)
{
    for (const QStringList& args : {QStringList{"--port", "65536"}, QStringList{"--port", "x"}, QStringList{"--rate", "-1"},
                                    QStringList{"--seed", "abc"}, QStringList{"--login-timeout", "0"},
                                    QStringList{"--hash-iterations", "999"}, QStringList{"--max-waiting", "0"}, QStringList{"--max-open-orders", "0"},
                                    QStringList{"--no-such-option"}}) {
        ServerOptions o;
        QString text;
        EXPECT_EQ(parseOptions(args, o, text), ParseResult::Error) << args.join(' ').toStdString();
        EXPECT_FALSE(text.isEmpty());
    }
    ServerOptions o;
    QString text;
    EXPECT_EQ(parseOptions({"--help"}, o, text), ParseResult::Help);
    EXPECT_TRUE(text.contains(QLatin1String("--http-port")));
}

} // namespace
