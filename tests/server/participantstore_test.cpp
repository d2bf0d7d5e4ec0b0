#include "participantstore.h"
#include "passwordhash.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvi::server;

namespace {

TEST(PasswordHashTest, MatchesPublishedPbkdf2VectorsAndRejectsDamage)
{
    // Published PBKDF2-HMAC-SHA256 results, written in the stored form.
    const struct {
        const char* password;
        const char* salt;
        int rounds;
        const char* key;
    } vectors[] = {{"passwd", "salt", 1, "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"},
                   {"password", "salt", 4096, "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a"}};
    for (const auto& v : vectors) {
        const QByteArray stored = "pbkdf2-sha256$" + QByteArray::number(v.rounds) + '$' + QByteArray(v.salt).toHex()
                                  + '$' + v.key;
        EXPECT_TRUE(verifyPassword(v.password, stored)) << stored.toStdString();
        EXPECT_FALSE(verifyPassword(QByteArray(v.password) + 'x', stored));
        EXPECT_EQ(hashIterations(stored), v.rounds);
    }

    const QByteArray a = hashPassword("geheim", kMinIterations);
    const QByteArray b = hashPassword("geheim", kMinIterations);
    EXPECT_NE(a, b) << "each hash has its own salt";
    EXPECT_FALSE(a.contains("geheim"));
    EXPECT_TRUE(verifyPassword("geheim", a));
    EXPECT_FALSE(verifyPassword("Geheim", a));
    EXPECT_FALSE(verifyPassword("", a));
    EXPECT_EQ(hashIterations(a), kMinIterations);
    EXPECT_EQ(kDefaultIterations, 600000) << "new hashes take the rounds current guidance asks for";
    // Damaged stored values never verify.
    for (const QByteArray& bad : {QByteArray(), QByteArray("geheim"), a.left(a.size() - 2),
                                  QByteArray(a).replace("pbkdf2-sha256", "md5"), QByteArray(a).replace("$1000$", "$0$"),
                                  QByteArray(a).replace("$1000$", "$1001$")}) {
        EXPECT_FALSE(verifyPassword("geheim", bad)) << bad.toStdString();
    }
    EXPECT_EQ(hashIterations("geheim"), 0);
}

TEST(ParticipantStoreTest, NewStoreHasDemoAndLoginsAreChecked)
{
    QTemporaryDir dir;
    ParticipantStore store;
    store.setHashIterations(kMinIterations);
    QString error;
    ASSERT_TRUE(store.open(dir.path(), error)) << error.toStdString();
    EXPECT_TRUE(store.createdNow());
    Participant p;
    ASSERT_EQ(store.checkLogin("demo", "demo", p), ParticipantStore::Login::Ok);
    EXPECT_EQ(p.shortId, "U00001");
    EXPECT_EQ(p.level, 1);
    EXPECT_DOUBLE_EQ(p.baseValue, 100000);
    EXPECT_EQ(p.accountStart.size(), 8);
    EXPECT_EQ(store.checkLogin("Demo", "demo", p), ParticipantStore::Login::Ok) << "names ignore case";
    EXPECT_EQ(store.checkLogin("demo", "DEMO", p), ParticipantStore::Login::WrongPassword);
    EXPECT_EQ(store.checkLogin("ghost", "demo", p), ParticipantStore::Login::WrongPassword);

    ASSERT_TRUE(store.add("J\xF6rg", "pa\xDF%;", error)) << error.toStdString();
    EXPECT_EQ(store.checkLogin("J\xF6rg", "pa\xDF%;", p), ParticipantStore::Login::Ok);
    EXPECT_EQ(p.name, "J\xF6rg") << "single-byte names come back unchanged";
    EXPECT_EQ(p.shortId, "U00002");
    ASSERT_TRUE(store.setBlocked("J\xF6rg", true, error));
    EXPECT_EQ(store.checkLogin("J\xF6rg", "pa\xDF%;", p), ParticipantStore::Login::Blocked);
    EXPECT_EQ(store.checkLogin("J\xF6rg", "wrong", p), ParticipantStore::Login::WrongPassword);
    EXPECT_FALSE(store.setBlocked("ghost", true, error));

    EXPECT_FALSE(store.add("DEMO", "x", error)) << "names differ only in case";
    EXPECT_TRUE(error.contains(QLatin1String("exists")));
    for (const QByteArray& name : {QByteArray(), QByteArray(" x"), QByteArray("a;b"), QByteArray("a%b"),
                                   QByteArray("tab\t"), QByteArray(31, 'n')})
        EXPECT_FALSE(store.add(name, "pw", error)) << name.toStdString();
    EXPECT_FALSE(store.add("fine", "", error));
    // A batch is all or nothing.
    EXPECT_FALSE(store.addMany({{"x1", "pw"}, {"x2", "pw"}, {"x1", "pw"}}, error));
    EXPECT_FALSE(store.find("x2").has_value());
}

TEST(ParticipantStoreTest, EverythingSurvivesReopeningAndNoPasswordIsStoredInClear)
{
    QTemporaryDir dir;
    QString error;
    {
        ParticipantStore store;
        store.setHashIterations(kMinIterations);
        ASSERT_TRUE(store.open(dir.path(), error));
        ASSERT_TRUE(store.add("bob", "hunter2", error));
        ASSERT_TRUE(store.setBlocked("bob", true, error));
        const auto bob = store.find("bob");
        ASSERT_TRUE(bob);
        ASSERT_TRUE(store.setLastOrderId(bob->id, 41, error));
    }
    ParticipantStore store;
    store.setHashIterations(kMinIterations);
    ASSERT_TRUE(store.open(dir.path(), error));
    EXPECT_FALSE(store.createdNow());
    const std::vector<Participant> all = store.list();
    ASSERT_EQ(all.size(), 2u) << "demo is created once only";
    EXPECT_EQ(all[1].name, "bob");
    EXPECT_TRUE(all[1].blocked);
    EXPECT_EQ(all[1].lastOrderId, 41);

    QFile file(dir.filePath(QStringLiteral("korvi.sqlite")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_FALSE(bytes.contains("hunter2"));
    EXPECT_TRUE(bytes.contains("pbkdf2-sha256$") || QFile::exists(dir.filePath(QStringLiteral("korvi.sqlite-wal"))));
}

TEST(ParticipantStoreTest, UnusableFolderIsAClearError)
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ParticipantStore store;
    store.setHashIterations(kMinIterations);
    QString error;
    EXPECT_FALSE(store.open(dir.filePath(QStringLiteral("file/sub")), error));
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
