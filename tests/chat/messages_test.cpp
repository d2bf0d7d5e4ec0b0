#include "app/clientapp.h"
#include "framing.h"
#include "support/liveserver.h"
#include "textfile.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

struct MessageFixture : ClientFixture {
    Messages& m = app.messages;

    MessageFixture()
    {
        app.state.UserName = "anna";
        app.state.UserPassword = "alt";
        InitUser(app.state);
        app.connection.load(false);
    }
    void in(QByteArrayView message) { app.dispatcher.dispatch(message); }
};

} // namespace

TEST(Messages, LineHistoryWindowAndBeep)
{
    MessageFixture f;
    auto popups = record(&f.m, &Messages::popupRequested);
    f.in("@MSG=Markt \xf6" "ffnet");
    f.clock.time = f.clock.time.addSecs(1);
    f.in("@SA=Notiz");
    EXPECT_EQ(f.m.messageLine(), QStringLiteral("09:30:16 Notiz"));
    EXPECT_EQ(f.m.history(), QStringList({QStringLiteral("09:30:15 Markt öffnet"), "09:30:16 Notiz"}));
    EXPECT_EQ(popups->size(), 2);
    EXPECT_EQ(f.sound.beeps, 2);

    // After "nicht mehr als Fenster zeigen" the line and the history still follow.
    f.m.setMessageNoPopup();
    f.in("@SENDANNOTATION=");
    f.m.setMessageLine("Extern: verbunden");
    EXPECT_EQ(popups->size(), 2);
    EXPECT_EQ(f.sound.beeps, 2);
    EXPECT_EQ(f.m.history().size(), 4);
    EXPECT_EQ(f.m.history().at(2), QStringLiteral("09:30:16 "));
    EXPECT_EQ(f.m.messageLine(), QStringLiteral("Extern: verbunden"));

    // A server that talks for weeks: the history keeps the newest messages only.
    f.m.setMessageNoPopup();
    for (int i = 0; i < Messages::kMaxHistory + 5; ++i)
        f.m.setMessageLine(QString::number(i));
    EXPECT_EQ(f.m.history().size(), Messages::kMaxHistory);
    EXPECT_EQ(f.m.history().first(), QStringLiteral("5"));
    EXPECT_EQ(f.m.history().last(), QString::number(Messages::kMaxHistory + 4));
}

TEST(Messages, WrongPasswordAsksForNewCredentialsInAnyCase)
{
    MessageFixture f;
    int exits = 0;
    QObject::connect(&f.app, &ClientApp::exitRequested, [&] { ++exits; });
    f.app.connection.KeepConnected = true;
    f.in("@MSG=falsches pa\xdfwort");
    ASSERT_TRUE(waitFor([&] { return f.prompts.credentialsShown == 1; }));
    EXPECT_EQ(f.app.connection.userField(), "neu");
    EXPECT_EQ(f.app.connection.passwordField(), "geheim");
    EXPECT_EQ(f.app.state.user().Login, "neu%geheim");
    EXPECT_TRUE(f.app.connection.KeepConnected);

    // A Unicode upper-casing would turn the sharp s into "SS"; that text is not the message.
    f.in("@MSG=FALSCHES PASSWORT");
    f.prompts.credentialsOk = false;
    f.in("@MSG=FALSCHES PA\xdfWORT");
    ASSERT_TRUE(waitFor([&] { return f.prompts.credentialsShown == 2; }));
    EXPECT_EQ(f.app.connection.userField(), "neu"); // cancelled: fields unchanged
    EXPECT_EQ(exits, 1);                            // and the program ends
}

TEST(Messages, DocumentsAreWrittenAsCrLfLinesInsideTheFolderOnly)
{
    MessageFixture f;
    int changed = 0;
    QObject::connect(&f.m, &Messages::documentsChanged, [&] { ++changed; });
    f.in("@SD=FILE=ABC12320261208K.TXT;Zeile 1;Zeile; 2");
    QByteArray bytes;
    ASSERT_TRUE(readWholeFile(f.dir.filePath("ABC12320261208K.TXT"), bytes));
    EXPECT_EQ(bytes, QByteArray("Zeile 1\r\nZeile\r\n 2\r\n"));
    EXPECT_TRUE(f.app.outgoing.contains("FILE=ABC12320261208K.TXT"));
    EXPECT_TRUE(f.app.outgoing.contains(" 2"));

    f.in("@SENDDOCUMENT=leer.txt");
    ASSERT_TRUE(readWholeFile(f.dir.filePath("leer.txt"), bytes));
    EXPECT_TRUE(bytes.isEmpty());

    for (const char* bad : {"@SD=FILE=../boese.txt;x", "@SD=/tmp/korvi-boese;x", "@SD=FILE=C:boese;x",
                            "@SD=FILE=nul.txt;x", "@SD="}) {
        f.in(bad);
        EXPECT_TRUE(f.app.protocol.lines().last().startsWith("F:WS_SendDocument Dateiname abgelehnt"))
            << bad;
    }
    EXPECT_FALSE(exist(f.dir.filePath("../boese.txt")));
    EXPECT_FALSE(exist("/tmp/korvi-boese"));

    // The program's own files are never written by a document, in any spelling.
    ASSERT_TRUE(writeFileAtomically(f.dir.filePath("KORVIUP.EXX"), "echt"));
    const char* reserved[] = {"KORVIUP.EXX",  "korviup.exx",  "KORVIUP.EXX. ", "KORVIUP.EXE",  "korvi.dev",
                              "KORVI.INI",    "Korvi.Ini",    "korvi.col",     "Nacht.COL",    "Korvi.wpv",
                              "dummy.bin",    "KORVIREM.TXT", "quenby",        "K1.dat",       "k12.DAT",
                              "K3000.dat.",   "Kurse.idx",    "KURSE.IDX",     "kurs.dat",     "korvi.dat",
                              "tmp.gif",      "1.wav",        "KorviEx.WAV",   "KORVIDOK.LST", "KORVIUP.OFF",
                              "korvirem.neu", " x.txt",       "x.txt ",        "korvi"};
    for (const char* name : reserved) {
        f.in(QByteArray("@SD=FILE=") + name + ";@PO;W1;1;BUY;MKT;3");
        EXPECT_TRUE(f.app.protocol.lines().last().startsWith("F:WS_SendDocument Datei des Programms abgelehnt"))
            << name;
        // The package and the document record are the client's own files here.
        if (QByteArrayView(name) != "KORVIUP.EXX" && QByteArrayView(name) != Messages::kDocumentRecord) {
            EXPECT_FALSE(exist(f.dir.filePath(QString::fromLatin1(name)))) << name;
        }
    }
    ASSERT_TRUE(readWholeFile(f.dir.filePath(Messages::kDocumentRecord), bytes));
    EXPECT_FALSE(bytes.contains("@PO"));
    ASSERT_TRUE(readWholeFile(f.dir.filePath("KORVIUP.EXX"), bytes));
    EXPECT_EQ(bytes, "echt");
    f.in("@SD=FILE=korvi.col.txt;x");
    EXPECT_TRUE(exist(f.dir.filePath("korvi.col.txt"))) << "only the names themselves are kept away";
    f.in("@SD=FILE=K1a.dat;x");
    EXPECT_TRUE(exist(f.dir.filePath("K1a.dat"))) << "not a price file's name";
    EXPECT_EQ(changed, 9 + static_cast<int>(std::size(reserved))); // one refresh for every arrival
}

// A burst of documents in one arrival refreshes the statement list once and keeps the
// user's choice; the folder keeps at most the newest received documents (the bound is
// small here), the oldest go first with a log line, files the client did not receive stay,
// and the record of received documents carries the order over to the next run.
TEST(Messages, ABurstOfDocumentsIsListedOnceAndBounded)
{
    MessageFixture f;
    f.m.setMaxDocuments(5);
    ASSERT_TRUE(writeFileAtomically(f.dir.filePath("ALT20260101K.TXT"), "vorher\r\n"));
    f.app.statements.FillAuszug();
    f.app.statements.Combo7_Click(0);
    int changed = 0;
    QObject::connect(&f.m, &Messages::documentsChanged, [&] { ++changed; });
    auto arrival = [&](int from, int to) {
        QByteArray bytes;
        for (int i = from; i <= to; ++i)
            bytes +=
                frame("@SD=FILE=D" + QByteArray::number(100 + i) + "K.TXT;Auszug " + QByteArray::number(i));
        f.app.connection.receive(bytes);
    };
    arrival(1, 8);
    EXPECT_EQ(changed, 1);
    const QStringList kept{"ALT20260101K.TXT", "D104K.TXT", "D105K.TXT",
                           "D106K.TXT",        "D107K.TXT", "D108K.TXT"};
    EXPECT_EQ(f.app.statements.files(), kept);
    EXPECT_EQ(f.app.statements.selected(), 0) << "the user's choice stays";
    EXPECT_EQ(f.app.protocol.lines().filter(QStringLiteral("Dokumente: 3 \u00e4lteste gel\u00f6scht")).size(),
              1)
        << f.app.protocol.lines().join('|').toStdString();
    QByteArray record;
    ASSERT_TRUE(readWholeFile(f.dir.filePath(Messages::kDocumentRecord), record));
    EXPECT_EQ(record, "D104K.TXT\r\nD105K.TXT\r\nD106K.TXT\r\nD107K.TXT\r\nD108K.TXT\r\n");

    // Received again, a document counts as the newest.
    f.in("@SD=FILE=D104K.TXT;neu");
    arrival(9, 9);
    EXPECT_EQ(changed, 3);
    EXPECT_FALSE(exist(f.dir.filePath("D105K.TXT")));
    EXPECT_TRUE(exist(f.dir.filePath("D104K.TXT")));

    // The next run goes on from the record.
    ClientFixture next(ClientFixture::Offline);
    next.app.state.workDir = f.dir.path();
    next.app.messages.setMaxDocuments(5);
    next.app.dispatcher.dispatch("@SD=FILE=D200K.TXT;x");
    EXPECT_FALSE(exist(f.dir.filePath("D106K.TXT")));
    EXPECT_TRUE(exist(f.dir.filePath("ALT20260101K.TXT")));
    ASSERT_TRUE(readWholeFile(f.dir.filePath(Messages::kDocumentRecord), record));
    EXPECT_EQ(record, "D107K.TXT\r\nD108K.TXT\r\nD104K.TXT\r\nD109K.TXT\r\nD200K.TXT\r\n");
}
