#include "participantimport.h"
#include "participantstore.h"
#include "passwordhash.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <functional>
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

// A new store holds nobody: no shared account lets anyone in.
TEST(ParticipantStoreTest, NewStoreIsEmptyAndLoginsAreChecked)
{
    QTemporaryDir dir;
    ParticipantStore store;
    store.setHashIterations(kMinIterations);
    QString error;
    ASSERT_TRUE(store.open(dir.path(), error)) << error.toStdString();
    EXPECT_TRUE(store.createdNow());
    EXPECT_EQ(store.count(), 0);
    EXPECT_TRUE(store.list().empty());
    Participant p;
    EXPECT_EQ(store.checkLogin("demo", "demo", p), ParticipantStore::Login::WrongPassword);
    ASSERT_TRUE(store.add("demo", "demo", error)) << error.toStdString();
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
        ASSERT_TRUE(store.add("demo", "demo", error));
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
    ASSERT_EQ(all.size(), 2u) << "nothing is added by opening again";
    EXPECT_EQ(all[1].name, "bob");
    EXPECT_TRUE(all[1].blocked);
    EXPECT_EQ(all[1].lastOrderId, 41);

    QFile file(dir.filePath(QStringLiteral("korvi.sqlite")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_FALSE(bytes.contains("hunter2"));
    EXPECT_TRUE(bytes.contains("pbkdf2-sha256$") || QFile::exists(dir.filePath(QStringLiteral("korvi.sqlite-wal"))));
}

// Lines of an import file: names with passwords, names alone (a password is made), blank
// lines skipped; bad names and passwords and a name twice (without regard to case) are
// reported with their line numbers, and the rest is still read so all problems show.
TEST(ParticipantImportTest, LinesAreReadWithTheirNumbers)
{
    int made = 0;
    const participantimport::Parsed p = participantimport::parse(
        "anna;GEHEIM\r\nbob\r\n\r\ncarl;pa;ss\nDora;\n a;b\nANNA;x\nx;\x01\n" + QByteArray(31, 'n') + ";pw\nlast;pw",
        [&] { return "gen" + QByteArray::number(++made); });
    const std::vector<std::tuple<int, QByteArray, QByteArray, bool>> expected = {
        {1, "anna", "GEHEIM", false}, {2, "bob", "gen1", true}, {4, "carl", "pa;ss", false}, {5, "Dora", "gen2", true},
        {10, "last", "pw", false}};
    ASSERT_EQ(p.entries.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const auto& [line, name, password, generated] = expected[i];
        EXPECT_EQ(p.entries[i].line, line);
        EXPECT_EQ(p.entries[i].name, name);
        EXPECT_EQ(p.entries[i].password, password);
        EXPECT_EQ(p.entries[i].generated, generated);
    }
    std::vector<int> problemLines;
    for (const auto& problem : p.problems)
        problemLines.push_back(problem.line);
    EXPECT_EQ(problemLines, (std::vector<int>{6, 7, 8, 9}));
    EXPECT_TRUE(p.problems[1].text.contains(QLatin1String("line 1"))) << p.problems[1].text.toStdString();

    const QByteArray a = participantimport::generatePassword();
    QString why;
    EXPECT_TRUE(ParticipantStore::validPassword(a, why));
    EXPECT_EQ(a.size(), 12);
    EXPECT_NE(a, participantimport::generatePassword());
}

// An import goes in whole, every participant with a working password (also the generated
// ones, printed once), or not at all: a bad line or a name already in the store refuses
// the file with its line numbers and writes nothing.
TEST(ParticipantImportTest, AFileGoesInWholeOrNotAtAll)
{
    QTemporaryDir dir;
    ParticipantStore store;
    store.setHashIterations(kMinIterations);
    QString error;
    ASSERT_TRUE(store.open(dir.path(), error));
    ASSERT_TRUE(store.add("zoe", "pw", error));
    const auto write = [&](const QString& name, const QByteArray& text) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return f.fileName();
    };
    QByteArray out, err;
    EXPECT_EQ(participantimport::run(write(QStringLiteral("bad.txt"), "anna;pw1\r\nZOE;x\r\nbo;b\x02\r\nanna;again\r\n"), store, out,
                                     err), 1);
    EXPECT_TRUE(out.isEmpty());
    for (const char* line : {"line 2: participant ZOE exists already", "line 3: ", "line 4: anna is already on line 1"})
        EXPECT_TRUE(err.contains(line)) << line << " in " << err.toStdString();
    EXPECT_EQ(store.count(), 1) << "nothing of a refused file is written";
    EXPECT_EQ(participantimport::run(dir.filePath(QStringLiteral("missing.txt")), store, out, err), 1);

    QByteArray names;
    for (int i = 0; i < 40; ++i)
        names += "schueler" + QByteArray::number(i) + (i % 2 == 0 ? ";pw" + QByteArray::number(i) : QByteArray()) + "\r\n";
    out.clear();
    err.clear();
    ASSERT_EQ(participantimport::run(write(QStringLiteral("class.txt"), names), store, out, err), 0) << err.toStdString();
    EXPECT_TRUE(err.contains("imported 40 participants"));
    const QList<QByteArray> handed = out.trimmed().split('\n');
    ASSERT_EQ(handed.size(), 20) << "each generated password is printed once";
    QHash<QByteArray, QByteArray> passwords;
    for (const QByteArray& line : handed)
        passwords.insert(line.left(line.indexOf(';')), line.mid(line.indexOf(';') + 1));
    Participant p;
    for (int i = 0; i < 40; ++i) {
        const QByteArray name = "schueler" + QByteArray::number(i);
        const QByteArray password = i % 2 == 0 ? "pw" + QByteArray::number(i) : passwords.value(name);
        EXPECT_EQ(store.checkLogin(name, password, p), ParticipantStore::Login::Ok) << name.toStdString();
    }
    EXPECT_EQ(store.count(), 41);
    EXPECT_EQ(participantimport::run(write(QStringLiteral("again.txt"), "neu;pw\r\nschueler3;pw\r\n"), store, out, err), 1);
    EXPECT_FALSE(store.find("neu")) << "one name already there refuses the whole file";
}

// The hashes of many passwords come out in the entries' order, whatever thread made them.
TEST(ParticipantImportTest, HashesOnManyThreadsKeepTheirOrder)
{
    std::vector<participantimport::Entry> entries;
    for (int i = 0; i < 37; ++i)
        entries.push_back({i + 1, "n" + QByteArray::number(i), "pw" + QByteArray::number(i), false});
    const std::vector<QByteArray> hashes = participantimport::hashAll(entries, kMinIterations, 4);
    ASSERT_EQ(hashes.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_TRUE(verifyPassword(entries[i].password, hashes[i])) << i;
        EXPECT_FALSE(verifyPassword(entries[(i + 1) % entries.size()].password, hashes[i])) << i;
    }
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

// A running server looks at all participants only when the change count moved. Every change
// it must notice moves it, also one made by another process on the same folder; the
// bookkeeping of trading (the last order number) does not.
TEST(ParticipantStoreTest, TheChangeCountMovesWithEveryChangeOfNamesPasswordsBlocksAndLevels)
{
    QTemporaryDir dir;
    QString error;
    ParticipantStore server;   // the running game's view
    ParticipantStore operator_; // an administration command meanwhile
    server.setHashIterations(kMinIterations);
    operator_.setHashIterations(kMinIterations);
    ASSERT_TRUE(server.open(dir.path(), error)) << error.toStdString();
    ASSERT_TRUE(operator_.open(dir.path(), error)) << error.toStdString();
    ASSERT_TRUE(operator_.add("anna", "geheim1", error));
    const auto anna = server.find("anna");
    ASSERT_TRUE(anna);

    struct Step {
        const char* what;
        std::function<bool()> change;
        bool moves;
    };
    const std::vector<Step> steps = {
        {"added", [&] { return operator_.add("bert", "geheim2", error); }, true},
        {"password", [&] { return operator_.setPassword("anna", "anders1", error); }, true},
        {"blocked", [&] { return operator_.setBlocked("anna", true, error); }, true},
        {"unblocked", [&] { return operator_.setBlocked("anna", false, error); }, true},
        {"level", [&] { return operator_.setLevel("anna", 2, error); }, true},
        {"last order number", [&] { return server.setLastOrderId(anna->id, 7, error); }, false},
        {"removed", [&] { return operator_.remove("bert", true, error); }, true},
    };
    qint64 before = server.changeCount();
    ASSERT_GE(before, 0);
    for (const Step& step : steps) {
        ASSERT_TRUE(step.change()) << step.what << ": " << error.toStdString();
        const qint64 after = server.changeCount();
        if (step.moves)
            EXPECT_GT(after, before) << step.what;
        else
            EXPECT_EQ(after, before) << step.what;
        before = after;
    }

    // A store from before the count gets it when it is opened.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("older"));
        db.setDatabaseName(dir.filePath(QStringLiteral("korvi.sqlite")));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        for (const char* drop : {"DROP TRIGGER participant_added", "DROP TRIGGER participant_removed",
                                 "DROP TRIGGER participant_credentials", "DROP TABLE participant_changes"})
            ASSERT_TRUE(q.exec(QString::fromLatin1(drop))) << drop;
    }
    QSqlDatabase::removeDatabase(QStringLiteral("older"));
    ParticipantStore reopened;
    reopened.setHashIterations(kMinIterations);
    ASSERT_TRUE(reopened.open(dir.path(), error)) << error.toStdString();
    const qint64 fresh = reopened.changeCount();
    ASSERT_GE(fresh, 0);
    ASSERT_TRUE(reopened.setBlocked("anna", true, error));
    EXPECT_GT(reopened.changeCount(), fresh);
}
