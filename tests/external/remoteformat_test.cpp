#include "remoteformat.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

QJsonObject parsed(const QString& line)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
    return doc.object();
}

const QByteArray kAccount = "20261208;; 0; 100000; -12.5;3;1; 2500";
const QByteArray kExecutions = "EX;O0000001;x;1;y;E0000001;101530;BUY;2; 18001.5; 36003; 4.8; 0\n"
                               "EX;O0000002;x;2;y;E0000002;101601;SEL;10; 5251.25; 52512.5; 2.4; -7.5\n";

} // namespace

// Every format of every answer: people get labelled, aligned columns, scripts get one JSON
// object per line with the numbers as numbers, and --raw gives the protocol as it came.
TEST(RemoteFormat, AccountExecutionsAndMessagesInEveryFormat)
{
    const QStringList account = formatAccount(kAccount, RemoteFormat::People);
    ASSERT_EQ(account.size(), 6);
    EXPECT_EQ(account[0], QStringLiteral("Kontobeginn    20261208"));
    EXPECT_EQ(account[2], QStringLiteral("Tagesergebnis  -12.5"));
    const QJsonObject a = parsed(formatAccount(kAccount, RemoteFormat::Json).value(0));
    EXPECT_EQ(a["base_value"].toDouble(), 100000);
    EXPECT_EQ(a["today_result"].toDouble(), -12.5);
    EXPECT_EQ(a["account_start"].toString(), QStringLiteral("20261208"));
    EXPECT_EQ(formatAccount(kAccount, RemoteFormat::Raw), QStringList{QString::fromLatin1(kAccount)});

    const QStringList table = formatExecutions(kExecutions, RemoteFormat::People);
    ASSERT_EQ(table.size(), 3);
    // Columns line up: every line has its price column ending at the same place.
    const qsizetype end = table[0].indexOf(QStringLiteral("Preis")) + 5;
    EXPECT_EQ(table[1].mid(0, end).right(7), QStringLiteral("18001.5"));
    EXPECT_EQ(table[2].mid(0, end).right(7), QStringLiteral("5251.25"));
    const QStringList json = formatExecutions(kExecutions, RemoteFormat::Json);
    ASSERT_EQ(json.size(), 2);
    const QJsonObject e = parsed(json[1]);
    EXPECT_EQ(e["execution_id"].toString(), QStringLiteral("E0000002"));
    EXPECT_EQ(e["quantity"].toDouble(), 10);
    EXPECT_EQ(e["profit"].toDouble(), -7.5);
    EXPECT_EQ(formatExecutions(kExecutions, RemoteFormat::Raw).size(), 2);
    // Times read as people read them, in the table and in JSON; raw keeps Korvi's text.
    EXPECT_TRUE(table[1].contains(QStringLiteral(" 10:15:30 "))) << table[1].toStdString();
    EXPECT_EQ(e["time"].toString(), QStringLiteral("10:16:01"));
    EXPECT_TRUE(formatExecutions(kExecutions, RemoteFormat::Raw)[0].contains(QStringLiteral(";101530;")));

    // The instrument list: a header and one line each, one object each, the lines as sent.
    const QByteArray instruments = "FDAX;W1;Dax Future\nFGBL;BUND;Bund";
    const QStringList people = formatInstruments(instruments, RemoteFormat::People);
    ASSERT_EQ(people.size(), 3);
    EXPECT_EQ(people[0], QStringLiteral("Nr  Ticker  Code  Name"));
    EXPECT_EQ(people[2], QStringLiteral(" 2  FGBL    BUND  Bund"));
    const QStringList objects = formatInstruments(instruments, RemoteFormat::Json);
    ASSERT_EQ(objects.size(), 2);
    const QJsonObject i = parsed(objects[1]);
    EXPECT_EQ(i["type"].toString(), QStringLiteral("instrument"));
    EXPECT_EQ(i["number"].toInt(), 2);
    EXPECT_EQ(i["ticker"].toString(), QStringLiteral("FGBL"));
    EXPECT_EQ(i["code"].toString(), QStringLiteral("BUND"));
    EXPECT_EQ(formatInstruments(instruments, RemoteFormat::Raw), (QStringList{"FDAX;W1;Dax Future", "FGBL;BUND;Bund"}));
    EXPECT_TRUE(formatInstruments("", RemoteFormat::Json).isEmpty());
    EXPECT_EQ(clockTime(QStringLiteral("130633")), QStringLiteral("13:06:33"));
    EXPECT_EQ(clockTime(QStringLiteral("13:06")), QStringLiteral("13:06"));
    EXPECT_TRUE(formatExecutions("", RemoteFormat::Json).isEmpty());

    struct Case {
        QByteArray message;
        QString people;
        QString type;
    };
    const Case cases[] = {
        {"@OC;R1;-2", "order -2 ref R1", "order"},
        {"@OI;-2;O000000E", "order -2 server id O000000E", "confirmed"},
        {"@OS;-2;6;1;0; 18001.5", "order -2 status Filled filled 1 rem 0 price 18001.5", "status"},
        {"@OR;-3;Zu wenig Margin", "rejected: -3;Zu wenig Margin", "rejected"},
        {"@XY;\"quoted\"\nsecond", "@XY;\"quoted\" | second", "message"},
        {"@ER; 3;Keine Verbindung zum Server;R1", "error 3: Keine Verbindung zum Server (R1)", "error"},
        {"HERE I AM;13:06:33", "Korvi time 13:06:33", "time"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(formatMessage(c.message, RemoteFormat::People), c.people);
        EXPECT_EQ(parsed(formatMessage(c.message, RemoteFormat::Json))["type"].toString(), c.type);
        EXPECT_EQ(formatMessage(c.message, RemoteFormat::Raw).size(), c.message.size() + c.message.count('\n') * 2);
    }
    EXPECT_EQ(parsed(formatMessage("@OS;-2;6;1;0; 18001.5", RemoteFormat::Json))["order"].toDouble(), -2);
}
