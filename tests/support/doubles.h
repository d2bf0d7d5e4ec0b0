#pragma once

#include "connection/addresspage.h"
#include "seams.h"
#include "support/printers.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMap>
#include <QStringList>
#include <functional>
#include <memory>

namespace korvi::test {

// Records every question and answers as told.
class FakePrompts : public Prompts {
public:
    QStringList messages;
    QStringList questions;
    bool yesAnswer = true;
    AutostartChoice autostartChoice = AutostartChoice::Start;
    int autostartShown = 0;
    int credentialsShown = 0;
    bool credentialsOk = true;
    QString newUser = "neu";
    QString newPassword = "geheim";
    // Run while the question or dialog is "open", as received messages run meanwhile in
    // the real program.
    std::function<void()> whileAsking;
    std::function<void()> whileCredentials;
    // Run while a message box or the preset dialog is "open": a test answers the dialog
    // here, or lets server messages arrive meanwhile.
    std::function<void(const QString&)> onMessage;
    std::function<void(Eingabe&)> onEingabe;
    int eingabeShown = 0;

    void message(const QString& text) override
    {
        messages << text;
        if (onMessage)
            onMessage(text);
    }
    void eingabe(Eingabe& dialog) override
    {
        ++eingabeShown;
        if (onEingabe)
            onEingabe(dialog);
    }
    QStringList titles; // of the titled messages, in order
    void titledMessage(const QString& text, const QString& title) override
    {
        messages << text;
        titles << title;
    }
    // The colour chooser answers with `chosenColour`, or is cancelled.
    bool colourChosen = true;
    quint32 chosenColour = 0x123456;
    int colourChooserShown = 0;
    bool chooseColour(quint32& colour) override
    {
        ++colourChooserShown;
        if (colourChosen)
            colour = chosenColour;
        return colourChosen;
    }
    bool yesNo(const QString& text) override
    {
        questions << text;
        if (whileAsking)
            whileAsking();
        return yesAnswer;
    }
    AutostartChoice autostart() override
    {
        ++autostartShown;
        return autostartChoice;
    }
    bool credentials(QString& user, QString& password) override
    {
        ++credentialsShown;
        if (whileCredentials)
            whileCredentials();
        if (!credentialsOk)
            return false;
        user = newUser;
        password = newPassword;
        return true;
    }
};

class FakeSound : public Sound {
public:
    int beeps = 0;
    QStringList played;
    void beep() override { ++beeps; }
    void play(const QString& path) override { played << path; }
};

// A clock the test moves by hand.
class FakeClock : public Clock {
public:
    qint64 ticks = 100000;
    QDateTime time = QDateTime(QDate(2026, 12, 8), QTime(9, 30, 15));
    QList<QTime> setTimes;
    qint64 tickMs() const override { return ticks; }
    QDateTime now() const override { return time; }
    bool setTimeOfDay(const QTime& t) override
    {
        setTimes << t;
        return true;
    }
};

// Address pages served from a map; unknown pages read as empty.
class FakePages : public PageReader {
public:
    QMap<QString, QByteArray> pages;
    QStringList requested;
    void read(const QUrl& url, std::function<void(QByteArray)> done) override
    {
        requested << url.toString();
        done(pages.value(url.toString()));
    }
};

// Collects the texts a signal carries.
template <typename Sender, typename Signal>
std::shared_ptr<QStringList> record(Sender* sender, Signal signal)
{
    auto texts = std::make_shared<QStringList>();
    QObject::connect(sender, signal, [texts](const QString& t) { texts->append(t); });
    return texts;
}

// Runs the event loop until `condition` holds or `ms` pass; returns the condition.
inline bool waitFor(const std::function<bool()>& condition, int ms = 5000)
{
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

} // namespace korvi::test
