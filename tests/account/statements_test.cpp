#include "account/printer.h"
#include "account/statementspage.h"
#include "app/clientapp.h"
#include "dates.h"
#include "support/doubles.h"
#include "textfile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QListView>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

class FakePrinter : public Printer {
public:
    Result answer = Result::Printed;
    QList<QStringList> jobs;
    Result print(const QStringList& lines) override
    {
        jobs << lines;
        return answer;
    }
};

// The statement logic over a temporary working folder; requests are recorded instead of
// sent, and `connected` says whether they would go out.
struct StatementFixture {
    QTemporaryDir dir;
    State state;
    FakeClock clock;
    FakePrompts prompts;
    LogList protocol;
    QList<qint32> requested;
    bool connected = true;
    Statements st{state, clock, prompts, protocol, [this](qint32 day) {
                      if (connected)
                          requested << day;
                      return connected;
                  }};

    StatementFixture()
    {
        state.workDir = dir.path();
        InitUser(state);
        state.user().UserKz = "U7    ";
    }
    void write(const QString& name, const QByteArray& content)
    {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    void setToday(const QDate& date) { clock.time = QDateTime(date, QTime(17, 5, 9)); }
};

qint32 day(int y, int m, int d) { return dayNumber(QDate(y, m, d)); }

const QString kDashes(38, QLatin1Char('-'));

} // namespace

TEST(StatementCalendar, WeekdaysFromTheAccountStartWithinTheWindow)
{
    const auto none = [](qint32) { return false; };
    // 20 September 2004 is day 38250 and a Monday; an earlier account start begins there.
    EXPECT_EQ(day(2004, 9, 20), 38250);
    QList<qint32> days = Statements::daysToRequest("20040101", day(2004, 9, 28), none);
    EXPECT_EQ(days, (QList<qint32>{38250, 38251, 38252, 38253, 38254, 38257, 38258}));

    // An account of 200 days: at most 100 days back, weekends left out.
    const qint32 today = day(2026, 12, 8); // a Tuesday
    days = Statements::daysToRequest(DatumText(today - 200), today, none);
    ASSERT_FALSE(days.isEmpty());
    // 100 days back is Sunday 30 August 2026, so the first request is the Monday after.
    EXPECT_EQ(days.first(), today - 99);
    for (qint32 d : days)
        EXPECT_LT(dateOfDay(d).dayOfWeek(), 6) << DatumText(d).constData();
    EXPECT_EQ(days.last(), today);
    EXPECT_EQ(days.size(), 72);

    // Existing files are skipped; an account that starts today asks for today only; a
    // start in the future or on a weekend day asks for nothing.
    days = Statements::daysToRequest("20261201", today, [&](qint32 d) { return d != today - 1; });
    EXPECT_EQ(days, (QList<qint32>{today - 1}));
    EXPECT_EQ(Statements::daysToRequest("20261208", today, none), (QList<qint32>{today}));
    EXPECT_TRUE(Statements::daysToRequest("20261209", today, none).isEmpty());
    EXPECT_TRUE(Statements::daysToRequest("20261205", day(2026, 12, 6), none).isEmpty());

    // Without a readable account start the window alone bounds the requests.
    EXPECT_EQ(Statements::daysToRequest("", today, none).size(), 72);
    EXPECT_EQ(Statements::daysToRequest("kaputt", today, none).size(), 72);
}

TEST(Statements, RequestsOnlyMissingFilesAndOnlyWhileConnected)
{
    StatementFixture f;
    f.setToday(QDate(2026, 12, 8));
    f.state.user().accountStart = "20261201";
    f.write("U720261202K.TXT", "da");
    f.write("u720261203k.txt", "auch da");

    EXPECT_EQ(f.st.Command12_Click(), 4);
    EXPECT_EQ(f.requested, (QList<qint32>{day(2026, 12, 1), day(2026, 12, 4), day(2026, 12, 7), day(2026, 12, 8)}));
    EXPECT_EQ(Statements::fileName("U7    ", day(2004, 9, 20)), QStringLiteral("U720040920K.TXT"));

    // Not connected: nothing goes out, and the protocol says so once.
    f.connected = false;
    f.requested.clear();
    EXPECT_EQ(f.st.Command12_Click(), 0);
    EXPECT_TRUE(f.requested.isEmpty());
    ASSERT_EQ(f.protocol.lines().size(), 1);
    EXPECT_TRUE(f.protocol.lines().at(0).startsWith("F:WSS_GKO "));
}

TEST(Statements, ListShowAppendAndDelete)
{
    StatementFixture f;
    f.write("U720261201K.TXT", "Kontoauszug 1\r\nZeile \xe4\r\n");
    f.write("U720261202k.txt", "Kontoauszug 2");
    f.write("notizen.txt", "keine");
    f.write("U720261203K.TXT.bak", "keine");

    f.st.FillAuszug();
    ASSERT_EQ(f.st.files(), (QStringList{"U720261201K.TXT", "U720261202k.txt"}));
    EXPECT_EQ(f.st.selected(), -1);

    f.st.Combo7_Click(0);
    EXPECT_EQ(f.st.lines(), (QStringList{"Kontoauszug 1", QStringLiteral("Zeile ä"), kDashes}));
    // Without "Anhängen" the next choice replaces the list.
    f.st.Combo7_Click(1);
    EXPECT_EQ(f.st.lines(), (QStringList{"Kontoauszug 2", kDashes}));

    // With it, the list shows every statement one after another, and a choice appends.
    f.st.Check2_Click(true);
    EXPECT_EQ(f.st.lines(), (QStringList{"Kontoauszug 1", QStringLiteral("Zeile ä"), kDashes,
                                         "Kontoauszug 2", kDashes}));
    f.st.Combo7_Click(1);
    EXPECT_EQ(f.st.lines().size(), 7);
    // Unticking alone changes nothing.
    f.st.Check2_Click(false);
    EXPECT_EQ(f.st.lines().size(), 7);

    // A file that vanished: the list is cleared as for any choice and the fault logged.
    f.st.Combo7_Click(0);
    ASSERT_TRUE(QFile::remove(f.dir.filePath("U720261202k.txt")));
    f.st.Combo7_Click(1);
    EXPECT_TRUE(f.st.lines().isEmpty());
    ASSERT_EQ(f.protocol.lines().size(), 1);
    EXPECT_TRUE(f.protocol.lines().at(0).startsWith("F:Combo7_Click U720261202k.txt"));

    // Deleting the chosen file; with nothing chosen nothing is deleted.
    f.st.Combo7_Click(0);
    f.st.Command13_Click();
    EXPECT_FALSE(QFile::exists(f.dir.filePath("U720261201K.TXT")));
    EXPECT_TRUE(f.st.files().isEmpty());
    f.write("U720261204K.TXT", "x");
    f.st.FillAuszug();
    f.st.Command13_Click();
    EXPECT_TRUE(QFile::exists(f.dir.filePath("U720261204K.TXT")));
    EXPECT_EQ(f.st.files().size(), 1);
}

TEST(Statements, PrintingGoesThroughThePrinterAndSaysWhenThereIsNone)
{
    StatementFixture f;
    f.setToday(QDate(2026, 12, 8));
    f.write("U720261201K.TXT", "A\r\nB\r\n");
    f.st.FillAuszug();
    f.st.Combo7_Click(0);

    // Without a printer the user is told, not left wondering.
    f.st.Command14_Click();
    ASSERT_EQ(f.prompts.messages.size(), 1);
    EXPECT_TRUE(f.prompts.messages.at(0).contains("kein Drucker"));

    FakePrinter printer;
    f.st.setPrinter(&printer);
    f.st.Command14_Click();
    ASSERT_EQ(printer.jobs.size(), 1);
    EXPECT_EQ(printer.jobs.at(0), (QStringList{"Ausdruck vom 08.12.2026 17:05:09", "", "A", "B", kDashes}));
    EXPECT_EQ(f.prompts.messages.size(), 1);

    printer.answer = Printer::Result::Failed;
    f.st.Command14_Click();
    ASSERT_EQ(f.prompts.messages.size(), 2);
    EXPECT_TRUE(f.prompts.messages.at(1).contains("fehlgeschlagen"));
}

TEST(StatementsPage, FollowsTheListsAndPassesChoicesOn)
{
    StatementFixture f;
    f.write("U720261201K.TXT", "eins");
    f.write("U720261202K.TXT", "zwei");
    StatementsPage page(f.st);
    f.st.FillAuszug();
    ASSERT_EQ(page.Combo7->count(), 2);
    EXPECT_EQ(page.Combo7->currentIndex(), -1);
    EXPECT_EQ(page.Combo7->currentText(), QString());

    page.Combo7->setCurrentIndex(1);
    emit page.Combo7->activated(1);
    EXPECT_EQ(f.st.lines().first(), QStringLiteral("zwei"));
    EXPECT_EQ(page.List4->model()->rowCount(), 2);

    page.Check2->setChecked(true);
    EXPECT_EQ(page.List4->model()->rowCount(), 4);
    EXPECT_EQ(page.Combo7->currentIndex(), 1);

    // A new document refreshes the choice list and keeps the user's choice, also where
    // the new file sorts before it; a chosen file that is gone leaves nothing chosen.
    f.write("U720261130K.TXT", "drei");
    f.st.FillAuszug();
    EXPECT_EQ(page.Combo7->count(), 3);
    EXPECT_EQ(f.st.selected(), 2);
    EXPECT_EQ(page.Combo7->currentText(), QStringLiteral("U720261202K.TXT"));
    ASSERT_TRUE(QFile::remove(f.dir.filePath("U720261202K.TXT")));
    f.st.FillAuszug();
    EXPECT_EQ(page.Combo7->count(), 2);
    EXPECT_EQ(page.Combo7->currentIndex(), -1);
}
