#include "settings.h"
#include "textfile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace korvi;

namespace {

Settings sample()
{
    Settings s;
    s.userName = "demo";
    s.serverAddress = "127.0.0.1";
    s.ipCheck = 1;
    s.reserved4 = "r4";
    s.reserved6 = 7;
    s.orderGridWidths = " 1200; 800; 15";
    s.width = 12000;
    s.height = 9000.5f;
    s.top = 300;
    s.left = 150;
    s.zeigeAlleOrders = 1;
    s.password = "demo";
    s.colourFile = "korvi.col";
    s.safetyQuestion = 0;
    s.wexPort = "4101";
    s.wexIp = "192.0.2.1";
    return s;
}

} // namespace

TEST(SettingsFile, WritesTheTwentyFourLines)
{
    const QByteArray golden =
        "\"demo\"\r\n\"127.0.0.1\"\r\n 1 \r\n\"r4\"\r\n\"\"\r\n 7 \r\n 1200; 800; 15\r\n\r\n"
        " 12000 \r\n 9000.5 \r\n 300 \r\n 150 \r\n 1 \r\ndemo\r\nkorvi.col\r\n 0 \r\n 1 \r\n1.wav\r\n"
        " 0 \r\n 0 \r\n 1 \r\n4101\r\n\"ZAQR\"\r\n192.0.2.1\r\n";
    EXPECT_EQ(serializeSettings(sample()), golden);
    EXPECT_EQ(serializeSettings(sample()).count("\r\n"), 24);
}

TEST(SettingsFile, RoundTripsEveryValue)
{
    const Settings s = sample();
    Settings r;
    ASSERT_TRUE(parseSettings(serializeSettings(s), r));
    EXPECT_EQ(r.userName, s.userName);
    EXPECT_EQ(r.serverAddress, s.serverAddress);
    EXPECT_EQ(r.ipCheck, 1);
    EXPECT_EQ(r.reserved4, "r4");
    EXPECT_EQ(r.reserved6, 7);
    // The reader skips the blank in front of the first width; the widths read the same.
    EXPECT_EQ(r.orderGridWidths, "1200; 800; 15");
    EXPECT_EQ(r.width, 12000);
    EXPECT_EQ(r.height, 9000.5f);
    EXPECT_EQ(r.top, 300);
    EXPECT_EQ(r.left, 150);
    EXPECT_EQ(r.zeigeAlleOrders, 1);
    EXPECT_EQ(r.password, "demo");
    EXPECT_EQ(r.safetyQuestion, 0);
    EXPECT_EQ(r.wexPort, "4101");
    EXPECT_EQ(r.wexUser, "ZAQR");
    EXPECT_EQ(r.wexIp, "192.0.2.1");
}

TEST(SettingsFile, OlderFifteenLineFileKeepsWhatWasThereBefore)
{
    // Lines 1 to 15 come from the file; every value of the missing lines keeps what the
    // settings held before reading, whatever that was.
    QByteArrayList lines = serializeSettings(sample()).split('\n');
    const QByteArray fifteen = lines.mid(0, 15).join('\n') + '\n';
    Settings before;
    before.safetyQuestion = 7;
    before.chatSound = 8;
    before.chatSoundFile = "x.wav";
    before.fennixExtern = 9;
    before.asciiRemote = 10;
    before.executionSound = 11;
    before.wexPort = "4999";
    before.wexUser = "USR";
    before.wexIp = "10.0.0.9";
    Settings r = before;
    ASSERT_TRUE(parseSettings(fifteen, r));
    EXPECT_EQ(r.colourFile, "korvi.col");
    EXPECT_EQ(r.password, "demo");
    EXPECT_EQ(serializeSettings(r).split('\n').mid(15), serializeSettings(before).split('\n').mid(15));
    // A file without the safety line leaves the question on.
    Settings fresh;
    ASSERT_TRUE(parseSettings(fifteen, fresh));
    EXPECT_EQ(fresh.safetyQuestion, 1);
}

TEST(SettingsFile, EmptyPortLineKeepsThePortAndGarbageIsHarmless)
{
    Settings s = sample();
    s.wexPort = "";
    Settings r;
    r.wexPort = "4555";
    ASSERT_TRUE(parseSettings(serializeSettings(s), r));
    EXPECT_EQ(r.wexPort, "4555");

    Settings g;
    EXPECT_TRUE(parseSettings(QByteArray("\x01\x02\xff\r\nabc\r\n99999999\r\n\"\r\n"), g));
    EXPECT_EQ(g.ipCheck, 0);
    EXPECT_FALSE(parseSettings(QByteArray(), g));
}

TEST(SettingsFile, PasswordWithACommaSurvives)
{
    Settings s = sample();
    s.password = "ab,cd";
    Settings r;
    ASSERT_TRUE(parseSettings(serializeSettings(s), r));
    EXPECT_EQ(r.password, "ab,cd");
    EXPECT_EQ(r.colourFile, "korvi.col");
    // A file written by hand with the comma unquoted is cut there, nothing else shifts.
    QByteArray handWritten = serializeSettings(sample()).replace("\r\ndemo\r\n", "\r\nab,cd\r\n");
    ASSERT_TRUE(parseSettings(handWritten, r));
    EXPECT_EQ(r.password, "ab");
    EXPECT_EQ(r.colourFile, "korvi.col");
}

TEST(SettingsFile, FileNameInAnyCaseAndAtomicReplace)
{
    QTemporaryDir dir;
    ASSERT_TRUE(writeFileAtomically(dir.filePath("KORVI.INI"), serializeSettings(sample())));
    Settings r;
    ASSERT_TRUE(loadSettingsFile(dir.path(), r));
    EXPECT_EQ(r.userName, "demo");
    r.userName = "zweiter";
    ASSERT_TRUE(saveSettingsFile(dir.path(), r));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"KORVI.INI"});
    Settings missing;
    EXPECT_FALSE(loadSettingsFile(dir.filePath("nowhere"), missing));
}

TEST(SettingsFile, OnlyTheOwnerMayReadIt)
{
    // The file holds the password: a new file and an existing one of any mode end up
    // readable and writable by the owner alone, whatever the process's umask allows.
    const mode_t umaskBefore = ::umask(022);
    for (const mode_t before : {mode_t(0), mode_t(0644), mode_t(0666), mode_t(0600), mode_t(0400)}) {
        QTemporaryDir dir;
        const QString path = dir.filePath("Korvi.Ini");
        if (before != 0) {
            ASSERT_TRUE(writeFileAtomically(path, "alt\r\n"));
            ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), before), 0);
        }
        ASSERT_TRUE(saveSettingsFile(dir.path(), sample())) << std::oct << before;
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u) << "was " << std::oct << before;
        Settings r;
        ASSERT_TRUE(loadSettingsFile(dir.path(), r));
        EXPECT_EQ(r.password, "demo");
    }
    ::umask(umaskBefore);
}

TEST(SettingsFile, ColumnWidthsKeepTheirForm)
{
    EXPECT_EQ(formatColumnWidths({250, 1200, 0}), " 250; 1200; 0");
    EXPECT_EQ(parseColumnWidths("250; 1200; 0"), (QList<int>{250, 1200, 0}));
    EXPECT_EQ(parseColumnWidths(" 5;x;-3;1e9"), (QList<int>{5, 0, -1, -1}));
    EXPECT_TRUE(parseColumnWidths("").isEmpty());
}

// Line 2 takes "host:port" by the address pages' rule, keeps the host alone for the
// standard port, and an address given for one run only leaves the line as it was read.
TEST(SettingsFile, ServerAddressWithPort)
{
    const struct {
        const char* text;
        const char* host;
        const char* port;
        const char* joined;
    } cases[] = {
        {"game.example", "game.example", "", "game.example"},
        {"game.example:4200", "game.example", "4200", "game.example:4200"},
        {"game.example: 4200 ", "game.example", "4200", "game.example:4200"},
        {"127.0.0.1:4100", "127.0.0.1", "4100", "127.0.0.1"},
        {"a:b:c", "a", "b:c", "a:b:c"},
        {":4200", "", "4200", ":4200"},
        {"", "", "", ""},
    };
    for (const auto& c : cases) {
        const HostAndPort a = splitServerAddress(c.text);
        EXPECT_EQ(a, (HostAndPort{c.host, c.port})) << c.text;
        EXPECT_EQ(joinServerAddress(a.host, a.port), QByteArray(c.joined)) << c.text;
        EXPECT_EQ(splitServerAddress(joinServerAddress(a.host, a.port)).host, a.host) << c.text;
    }
    EXPECT_EQ(serverAddressToSave("h:4200", "", {"h", "4300"}), "h:4300");
    EXPECT_EQ(serverAddressToSave("h:4200", "o:5000", {"o", "5000"}), "h:4200");
    EXPECT_EQ(serverAddressToSave("h:4200", "o", {"o", "4100"}), "h:4200");
    EXPECT_EQ(serverAddressToSave("h:4200", "o:5000", {"x", "5000"}), "x:5000"); // changed in the run
}
