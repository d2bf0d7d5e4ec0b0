#pragma once

#include <QByteArrayView>
#include <QDate>
#include <QList>
#include <QObject>
#include <QStringList>
#include <functional>

namespace korvi {

class Clock;
class LogList;
class Printer;
class Prompts;
struct State;

// The daily account statements: requesting the missing files from the server, listing the
// statement files of the working folder ("Combo7"), showing one or all of them in the
// statement list ("List4"), deleting one and printing the list. The page widget only shows
// what the signals say and calls the methods named after its controls.
class Statements : public QObject {
    Q_OBJECT
public:
    // `request` sends the statement request for one day number and tells whether it went out
    // (it does not while the connection is closed).
    Statements(State& state, Clock& clock, Prompts& prompts, LogList& protocol,
               std::function<bool(qint32 day)> request, QObject* parent = nullptr);

    // The printer of "&Drucken"; without one, printing says that there is no printer.
    void setPrinter(Printer* printer) { m_printer = printer; }

    // The days whose statements "Auszüge anfordern" asks for: from the account start, never
    // before 20 September 2004 and at most 100 days back from `today`, Monday to Friday, only
    // where `fileExists` says the statement file is missing.
    static QList<qint32> daysToRequest(QByteArrayView accountStart, qint32 today,
                                       const std::function<bool(qint32 day)>& fileExists);
    // The statement file name of a day: the trimmed short id, YYYYMMDD and "K.TXT".
    static QString fileName(QByteArrayView userKz, qint32 day);

    // "Auszüge anfordern" (Command12): requests every missing statement of the calendar.
    // Returns the number of requests sent.
    int Command12_Click();
    // Refills the choice list with the statement files of the working folder; the chosen
    // file stays chosen. Tells the view only what changed.
    void FillAuszug();
    // A file was chosen in the choice list (index into `files()`).
    void Combo7_Click(int index);
    // "Anhängen" (Check2): ticking it shows all statements one after another.
    void Check2_Click(bool ticked);
    // "Auszug löschen" (Command13): deletes the chosen file, then refills the list.
    void Command13_Click();
    // "&Drucken" (Command14).
    void Command14_Click() { DruckeListe(m_lines); }
    // Prints a heading with the date and time, an empty line and the lines.
    void DruckeListe(const QStringList& lines);

    const QStringList& files() const { return m_files; }
    // The chosen entry of the choice list, -1 when none ("Auszüge..." is shown).
    int selected() const { return m_selected; }
    bool appending() const { return m_append; }
    // The statement list's lines.
    const QStringList& lines() const { return m_lines; }

signals:
    // The choice list was refilled or its selection changed.
    void filesChanged();
    void selectionChanged(int index);
    // The statement list was replaced or extended.
    void linesChanged();

private:
    // Loads one file into the statement list without telling the view.
    void load(int index);

    State& m_state;
    Clock& m_clock;
    Prompts& m_prompts;
    LogList& m_protocol;
    std::function<bool(qint32)> m_request;
    Printer* m_printer = nullptr;
    QStringList m_files;
    int m_selected = -1;
    bool m_append = false;
    QStringList m_lines;
};

// The first day with statements on the server: 20 September 2004.
inline constexpr qint32 kFirstStatementDay = 38250;
// Statements are requested at most this many days back.
inline constexpr qint32 kStatementWindowDays = 100;

} // namespace korvi
