#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>

namespace korvi {

class Eingabe;

// Modal questions go through this interface so that the logic never opens a dialog
// itself; the windows supply the real dialogs and tests supply recording doubles.
class Prompts {
public:
    virtual ~Prompts() = default;
    // A message box with an OK button.
    virtual void message(const QString& text) = 0;
    // A question with Yes and No; true for Yes.
    virtual bool yesNo(const QString& text) = 0;
    // The autostart dialog: returns when it closes, telling whether the user asked for
    // the credentials dialog instead of starting.
    enum class AutostartChoice { Start, Credentials };
    virtual AutostartChoice autostart() = 0;
    // The user name and password dialog; false when the user cancelled it.
    virtual bool credentials(QString& user, QString& password) = 0;
    // The preset dialog of the bracket orders, shown modally; returns when the dialog's
    // logic let it close.
    virtual void eingabe(Eingabe& dialog) = 0;
    // A message box with its own title.
    virtual void titledMessage(const QString& text, const QString& title)
    {
        Q_UNUSED(title);
        message(text);
    }
    // The platform's colour chooser, starting at `colour` (red in the low byte); false
    // when the user cancelled it.
    virtual bool chooseColour(quint32& colour)
    {
        Q_UNUSED(colour);
        return false;
    }
};

// The computer's clock: a millisecond tick count, the date and time, and setting the time
// of day (which may fail without privileges).
class Clock {
public:
    virtual ~Clock() = default;
    virtual qint64 tickMs() const = 0;
    virtual QDateTime now() const = 0;
    virtual bool setTimeOfDay(const QTime& time) = 0;
};

// Beeps and sound files.
class Sound {
public:
    virtual ~Sound() = default;
    virtual void beep() = 0;
    // Plays a WAV file of the working folder; a missing file plays nothing.
    virtual void play(const QString& path) = 0;
};

// The clock of the machine. Setting the time of day is attempted through the system and
// reported as failed when it is not allowed.
class SystemClock : public Clock {
public:
    SystemClock() { m_ticks.start(); }
    qint64 tickMs() const override { return m_ticks.elapsed(); }
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    bool setTimeOfDay(const QTime& time) override;

private:
    QElapsedTimer m_ticks;
};

} // namespace korvi
