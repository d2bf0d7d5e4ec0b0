#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace korvi {

// The edition from the program's file name: "KORVIGAME" in any case is the game edition.
qint16 editionFromExecutable(const QString& programPath);

// The main window's caption, e.g. "K o r v i 2    V1.1.368 QXC".
QString mainCaption(int major, int minor, int revision, qint16 gameEdition);

// Whether the credentials are complete enough for the autostart countdown.
bool canAutostart(const QByteArray& user, const QByteArray& password);

// The countdown of the autostart dialog: 5000 ms in steps of 250 ms.
class AutostartCountdown {
public:
    // One tick; true when the countdown has run out and the dialog should start.
    bool tick();
    int remainingMs() const { return m_ms; }
    QString label() const;

private:
    int m_ms = 5000;
};

inline constexpr int kAutostartTickMs = 250;

extern const char* const kCredentialsHint;

// The program's start arguments: "--server HOST[:PORT]" (or "--server=HOST[:PORT]") names
// the game server for this run; every other argument, joined by blanks, is the start option
// text ("IP1".."IP3", "IPTEST").
struct StartArguments {
    QString startOption;
    QByteArray server;
};
StartArguments parseStartArguments(const QStringList& arguments);

} // namespace korvi
