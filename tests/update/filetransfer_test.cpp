// Receiving an update package: "@FIS", "@FID", "@FIE" and what ends up in the working
// folder, including names and transfers that must never write anything.
#include "escaping.h"
#include "loglist.h"
#include "update/filetransfer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvi;

namespace {

class TransferTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_work.mkpath(QStringLiteral("work"))); }

    QString workDir() const { return m_outer.filePath(QStringLiteral("work")); }
    QStringList files() const { return QDir(workDir()).entryList(QDir::Files | QDir::Hidden | QDir::System); }
    QByteArray read(const QString& name) const
    {
        QFile f(QDir(workDir()).filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // Sends `raw` escaped in pieces of `piece` bytes under `id`.
    void sendAll(const QByteArray& id, const QByteArray& target, const QByteArray& raw, int piece = 7)
    {
        const QByteArray escaped = EscapeEncode(raw);
        transfer.WS_FIS(id + ';' + target + ';' + QByteArray::number(escaped.size()));
        for (qsizetype at = 0; at < escaped.size(); at += piece)
            transfer.WS_FID(id + ';' + escaped.mid(at, piece));
        transfer.WS_FIE(id);
    }

    QTemporaryDir m_outer;
    QDir m_work{m_outer.path()};
    LogList log;
    FileTransfer transfer{workDir(), log};
};

QByteArray package()
{
    QByteArray p = "a;b;;c=d\r\n";
    for (int i = 0; i < 256; ++i)
        p.append(static_cast<char>(i));
    return p + "\xFE" "g\xFE" "d;";
}

} // namespace

TEST_F(TransferTest, StoresThePackageWholeAndLeavesNoTemporaryFile)
{
    sendAll("7", "KORVIUP.EXX", package());
    EXPECT_EQ(read("KORVIUP.EXX"), package());
    EXPECT_EQ(files(), QStringList{"KORVIUP.EXX"});
    EXPECT_EQ(transfer.FileTransferState, FileTransfer::Finished);
    EXPECT_TRUE(log.lines().isEmpty()) << log.lines().join('\n').toStdString();

    // A second package replaces the first.
    sendAll("8", "KORVIUP.EXX", "neu");
    EXPECT_EQ(read("KORVIUP.EXX"), "neu");
}

TEST_F(TransferTest, OtherIdentifiersAreIgnoredAndANewStartRestarts)
{
    transfer.WS_FIS("1;KORVIUP.EXX;6");
    transfer.WS_FID("1;abc");
    transfer.WS_FID("2;zzz");           // another transfer's data
    transfer.WS_FIE("2");               // another transfer's end
    EXPECT_EQ(transfer.FileTransferNext, 4);
    EXPECT_EQ(transfer.FileTransferState, FileTransfer::Receiving);
    EXPECT_EQ(read("KORVIUP.EXX"), "<missing>");

    transfer.WS_FIS("3;KORVIUP.EXX;3"); // starts again from nothing
    EXPECT_EQ(transfer.FileTransferState, FileTransfer::Started);
    transfer.WS_FID("1;def");
    transfer.WS_FID("3;xyz");
    transfer.WS_FIE("3");
    EXPECT_EQ(read("KORVIUP.EXX"), "xyz");
    EXPECT_EQ(files(), QStringList{"KORVIUP.EXX"});

    // An end with no transfer running touches nothing, not even a stray temporary file.
    QFile stray(QDir(workDir()).filePath("dummy.bin"));
    ASSERT_TRUE(stray.open(QIODevice::WriteOnly));
    stray.write("junk");
    stray.close();
    transfer.WS_FIE("3");
    transfer.WS_FIE("");
    EXPECT_EQ(read("KORVIUP.EXX"), "xyz");
}

TEST_F(TransferTest, BrokenTransfersNeverLeaveAPackage)
{
    struct Case {
        const char* what;
        std::vector<QByteArray> messages; // "S", "D" or "E" then the body
        const char* logged;
    };
    const Case cases[] = {
        {"short", {"S1;KORVIUP.EXX;10", "D1;12345", "E1"}, "L SOll= 10 IST= 5"},
        {"long", {"S1;KORVIUP.EXX;3", "D1;12345", "D1;6", "E1"}, "L SOll= 3 IST= 6"},
        {"too large", {"S1;KORVIUP.EXX;300000000", "D1;12345", "E1"}, "F:WS_FIS KORVIUP.EXX: Datei zu gro\u00df"},
    };
    for (const Case& c : cases) {
        log.clear();
        QFile old(QDir(workDir()).filePath("KORVIUP.EXX"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        for (const QByteArray& m : c.messages) {
            const QByteArray body = m.mid(1);
            if (m[0] == 'S')
                transfer.WS_FIS(body);
            else if (m[0] == 'D')
                transfer.WS_FID(body);
            else
                transfer.WS_FIE(body);
        }
        EXPECT_TRUE(log.contains(QString::fromUtf8(c.logged))) << c.what << ": " << log.lines().join('|').toStdString();
        EXPECT_EQ(read("KORVIUP.EXX"), "old") << c.what;
        EXPECT_EQ(files(), QStringList{"KORVIUP.EXX"}) << c.what;
    }
}

TEST_F(TransferTest, OnlyTheUpdatePackageIsEverWritten)
{
    // Names outside the folder, the program's own files (settings, price files, schemes,
    // the updater, the order files) and any other name: refused before anything is written.
    const QByteArray refused[] = {"../outside.exx",
                                  "/tmp/abs.exx",
                                  "sub/x.exx",
                                  "sub\\x.exx",
                                  "C:x.exx",
                                  ".hidden",
                                  "..",
                                  "CON",
                                  "nul.txt",
                                  "LPT1.EXX",
                                  "",
                                  "dummy.bin",
                                  "DUMMY.BIN",
                                  "a\x01"
                                  "b",
                                  "trailing.",
                                  " blank",
                                  QByteArray(300, 'n'),
                                  "Korvi.Ini",
                                  "KORVI.INI ",
                                  "K1.dat",
                                  "Kurse.idx",
                                  "korvi.col",
                                  "Korvi.wpv",
                                  "KORVIUP.EXE",
                                  "KORVIUP.OFF",
                                  "KORVIREM.TXT",
                                  "quenby",
                                  "Korvi Update 2.exx",
                                  "KORVIUP.EXX.",
                                  " KORVIUP.EXX",
                                  "20260102K.TXT"};
    QFile settings(QDir(workDir()).filePath("Korvi.Ini"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("\"anna\"\r\n");
    settings.close();
    for (const QByteArray& name : refused) {
        log.clear();
        transfer.WS_FIS("9;" + name + ";5");
        transfer.WS_FID("9;HELLO");
        transfer.WS_FIE("9");
        EXPECT_EQ(log.lines().size(), 1) << name.constData();
        EXPECT_TRUE(log.lines().value(0).startsWith("F:WS_FIS")) << name.constData();
        EXPECT_EQ(files(), QStringList{"Korvi.Ini"})
            << name.constData() << " " << files().join(',').toStdString();
        EXPECT_EQ(read("Korvi.Ini"), "\"anna\"\r\n") << name.constData();
        EXPECT_EQ(QDir(m_outer.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                  QStringList{"work"});
    }
    // The package's name in another case is stored under its own spelling.
    sendAll("1", "korviup.exx", "ok");
    EXPECT_EQ(read("KORVIUP.EXX"), "ok");
    EXPECT_EQ(files().size(), 2);
    EXPECT_TRUE(files().contains("KORVIUP.EXX"));
}

TEST_F(TransferTest, AbandonedTransferRemovesItsTemporaryFile)
{
    transfer.WS_FIS("1;KORVIUP.EXX;100");
    transfer.WS_FID("1;part");
    EXPECT_TRUE(files().contains("dummy.bin"));
    transfer.abandon();
    EXPECT_TRUE(files().isEmpty());
    transfer.WS_FID("1;more"); // the abandoned transfer takes nothing more
    transfer.WS_FIE("1");
    EXPECT_TRUE(files().isEmpty());
}
