#pragma once

#include "programfiles.h"

#include <QByteArrayList>
#include <QString>
#include <QStringList>

namespace korvi {

class LogList;
class Prompts;

// Starts another program without waiting for it. Tests replace it, so that nothing is
// really started.
class ProgramStarter {
public:
    virtual ~ProgramStarter() = default;
    virtual bool startDetached(const QString& program, const QStringList& arguments, const QString& workDir) = 0;
};

class SystemProgramStarter : public ProgramStarter {
public:
    bool startDetached(const QString& program, const QStringList& arguments, const QString& workDir) override;
};

// The hand-off of a downloaded update: at start a waiting package "KORVIUP.EXX" becomes
// the updater "KORVIUP.EXE", the relauncher is started and the client ends. Without a
// package a leftover updater is removed.
class UpdateHandOff {
public:
    static constexpr const char* kPackage = kUpdatePackageName;
    static constexpr const char* kUpdater = "KORVIUP.EXE";
    // What was handed to the relauncher last: line 1 the client's version, line 2 the
    // package's checksum, line 3 how far it got: "handed" (the relauncher was started),
    // "started" (the relauncher started the updater: an install was attempted), "told"
    // (the user heard that this package is not installed again). Only an attempted
    // install keeps the same package at the same version from being handed over again.
    static constexpr const char* kHandedOff = "KORVIUP.OFF";
    static constexpr const char* kStepHanded = "handed";
    static constexpr const char* kStepStarted = "started";
    static constexpr const char* kStepTold = "told";

    UpdateHandOff(const QString& workDir, LogList& protocol, Prompts& prompts);

    // Whether an update package waits in the working folder.
    bool updateWaiting() const;
    // The normal start: a leftover updater is deleted (a failure does not stop the start).
    void removeLeftoverUpdater();
    // The hand-off. True when the relauncher runs and the client must end now. False when
    // it could not be done: the user has been told once, nothing of the update is left
    // that would stop the next start, and the client may start normally. A package that
    // was handed over before without the version changing is not handed over again: it
    // is removed, the user is told the first time, and the client starts normally.
    bool Timer2_Timer();
    // The transfer has stored a package: the text for the message line. A package whose
    // install was already attempted at this version would be dropped at the next start;
    // it is removed now, and the text says so instead of promising an install.
    QString packageStored();

    // The relauncher: "quenby" or "QUENBY.EXE" in the working folder, else beside the
    // client's own program. Empty when there is none.
    QString findRelauncher() const;

    // Where the client's own program lies (the folder searched after the working folder).
    QString programDir;
    ProgramStarter* starter = &m_systemStarter;
    // This client's version, as it reports it to the server.
    QString version;

private:
    QString path(const char* name) const;
    void fail(const QString& why);
    QByteArray packageChecksum() const;
    QByteArrayList readMarker() const;
    // The marker names this version and this package, and an install was attempted.
    bool attemptedBefore(const QByteArrayList& marker, const QByteArray& checksum) const;
    void writeMarker(const QByteArrayList& lines) const;

    QString m_workDir;
    LogList& m_protocol;
    Prompts& m_prompts;
    SystemProgramStarter m_systemStarter;
};

} // namespace korvi
