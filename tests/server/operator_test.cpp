// The operator's commands on the game data, in this process: removing a participant who
// still holds something, and the scheduled backups.
#include "admin.h"
#include "backup.h"
#include "participantstore.h"
#include "tradestore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

using namespace korvi::server;

namespace {

Order storedOrder(qint64 seq, qint64 participant, qint16 state, qint16 orderRole = role::Plain)
{
    Order o;
    o.seq = seq;
    o.participant = participant;
    o.orderId = makeId('O', seq);
    o.userOrderId = static_cast<qint32>(seq);
    o.type = OrderType::Limit;
    o.quantity = 2;
    o.limit1 = 90;
    o.status = state;
    o.filled = state == status::Filled ? 2 : 0;
    o.remaining = state == status::Filled || state == status::Cancelled ? 0 : 2;
    o.role = orderRole;
    o.active = state != status::PreSubmitted;
    o.day = 1;
    return o;
}

// "user remove" refuses a participant for every kind of holding, each alone; finished
// orders, a closed position and what others hold are no reason to refuse.
TEST(OperatorCommandTest, RemoveRefusesEveryKindOfHoldingAlone)
{
    using Put = std::function<void(TradeStore&, qint64)>;
    struct Case {
        const char* holding;
        Put put;
        bool refused;
    };
    const Case cases[] = {
        {"a working limit order",
         [](TradeStore& t, qint64 p) { t.saveOrder(storedOrder(10, p, status::Submitted)); },
         true},
        {"a pre-submitted exit",
         [](TradeStore& t, qint64 p) {
             Order exit = storedOrder(11, p, status::PreSubmitted, role::TakeProfit);
             exit.buy = false;
             exit.bracketOrderId = makeId('O', 10);
             t.saveOrder(exit);
         },
         true},
        {"a short position", [](TradeStore& t, qint64 p) { t.savePosition(p, 0, Position{-3, -3000}); }, true},
        {"a long position", [](TradeStore& t, qint64 p) { t.savePosition(p, 1, Position{2, 100}); }, true},
        {"finished orders and a closed position",
         [](TradeStore& t, qint64 p) {
             t.saveOrder(storedOrder(10, p, status::Filled));
             t.saveOrder(storedOrder(11, p, status::Cancelled));
             t.savePosition(p, 0, Position{0, 0});
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.holding);
        QTemporaryDir dir;
        ParticipantStore participants;
        participants.setHashIterations(kMinIterations);
        QString error;
        ASSERT_TRUE(participants.open(dir.path(), error)) << error.toStdString();
        ASSERT_TRUE(participants.add("ann", "pw", error) && participants.add("bob", "pw", error))
            << error.toStdString();
        const qint64 ann = participants.find("ann")->id;
        const qint64 bob = participants.find("bob")->id;
        {
            TradeStore trades;
            ASSERT_TRUE(trades.open(dir.path(), error)) << error.toStdString();
            // Someone else's holdings of every kind.
            trades.saveOrder(storedOrder(1, bob, status::Submitted));
            trades.saveOrder(storedOrder(2, bob, status::PreSubmitted, role::StopLoss));
            trades.savePosition(bob, 0, Position{-1, -1000});
            trades.savePosition(bob, 1, Position{1, 50});
            c.put(trades, ann);
            ASSERT_TRUE(trades.commit(error)) << error.toStdString();
        }
        QByteArray out, err;
        const int code = runAdminCommand({"user", "remove", "ann"}, participants, out, err);
        EXPECT_EQ(code, c.refused ? 1 : 0) << err.toStdString();
        EXPECT_EQ(participants.find("ann").has_value(), c.refused);
        if (c.refused) {
            EXPECT_TRUE(err.contains("cannot remove ann")) << err.toStdString();
            EXPECT_EQ(runAdminCommand({"user", "remove", "ann"}, participants, out, err, true), 0) << "--force";
            EXPECT_FALSE(participants.find("ann").has_value());
        }
        EXPECT_TRUE(participants.find("bob").has_value());
    }
}

// One scheduled backup in a folder with more old backups than are kept leaves exactly the
// newest ones, the new one among them, and nothing else of the folder is touched.
TEST(ScheduledBackupsTest, OneBackupLeavesExactlyTheNewest)
{
    QTemporaryDir dir;
    const QString data = dir.filePath("data");
    const QString folder = dir.filePath("backups");
    ParticipantStore participants;
    participants.setHashIterations(kMinIterations);
    QString error;
    ASSERT_TRUE(participants.open(data, error) && participants.add("ann", "pw", error)) << error.toStdString();
    ASSERT_TRUE(QDir().mkpath(folder));
    QStringList old;
    for (int day = 1; day <= 12; ++day)
        old << QStringLiteral("korvi-202409%1-235959.sqlite").arg(day, 2, 10, QLatin1Char('0'));
    for (const QString& name : old + QStringList{"notes.txt", "korvi.sqlite"}) {
        QFile f(QDir(folder).filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    {
        ScheduledBackups backups(data, folder, 60, [] { return QDateTime(QDate(2024, 9, 20), QTime(8, 0, 0)); });
        backups.run();
    } // waits for the backup
    const QStringList kept = QDir(folder).entryList({"korvi-*.sqlite"}, QDir::Files, QDir::Name);
    ASSERT_EQ(ScheduledBackups::kKept, 7);
    EXPECT_EQ(kept, old.mid(6) << "korvi-20240920-080000.sqlite");
    EXPECT_TRUE(QFile::exists(QDir(folder).filePath("notes.txt")));
    EXPECT_TRUE(QFile::exists(QDir(folder).filePath("korvi.sqlite")));
    EXPECT_GT(QFileInfo(QDir(folder).filePath("korvi-20240920-080000.sqlite")).size(), 3);
}

} // namespace
