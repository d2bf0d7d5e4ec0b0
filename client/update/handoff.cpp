#include "handoff.h"

#include "loglist.h"
#include "seams.h"
#include "textfile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace korvi {

bool SystemProgramStarter::startDetached(const QString& program, const QStringList& arguments, const QString& workDir)
{
    return QProcess::startDetached(program, arguments, workDir);
}

UpdateHandOff::UpdateHandOff(const QString& workDir, LogList& protocol, Prompts& prompts)
    : programDir(QCoreApplication::applicationDirPath()), m_workDir(workDir), m_protocol(protocol), m_prompts(prompts)
{
}

QString UpdateHandOff::path(const char* name) const { return QDir(m_workDir).filePath(QLatin1String(name)); }

bool UpdateHandOff::updateWaiting() const
{
    // Only a file counts: a folder of that name would stop every start.
    return QFileInfo(path(kPackage)).isFile();
}

void UpdateHandOff::removeLeftoverUpdater()
{
    if (exist(path(kUpdater)))
        loesch_datei(path(kUpdater));
}

QString UpdateHandOff::findRelauncher() const
{
    for (const QString& folder : {m_workDir, programDir}) {
        if (folder.isEmpty())
            continue;
        for (const char* name : {"quenby", "QUENBY.EXE"}) {
            const QFileInfo candidate(QDir(folder).filePath(QLatin1String(name)));
            if (candidate.isFile() && candidate.isExecutable())
                return candidate.absoluteFilePath();
        }
    }
    return {};
}

void UpdateHandOff::fail(const QString& why)
{
    m_protocol.add(QStringLiteral("F:Timer2_Timer ") + why);
    // Nothing of the update may stay behind that would hand over again at every start.
    if (exist(path(kPackage)))
        loesch_datei(path(kPackage));
    removeLeftoverUpdater();
    m_prompts.message(QStringLiteral("Das Update konnte nicht gestartet werden: ") + why);
}

void UpdateHandOff::writeMarker(const QByteArrayList& lines) const
{
    TextFileWriter w;
    for (const QByteArray& line : lines)
        w.text(line);
    if (!writeFileAtomically(path(kHandedOff), w.bytes()))
        m_protocol.add(QStringLiteral("F:Timer2_Timer ") + QLatin1String(kHandedOff));
}

QByteArray UpdateHandOff::packageChecksum() const
{
    QFile package(path(kPackage));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!package.open(QIODevice::ReadOnly) || !hash.addData(&package))
        return {};
    return hash.result().toHex();
}

QByteArrayList UpdateHandOff::readMarker() const
{
    QByteArrayList lines;
    if (QByteArray marker; readWholeFile(path(kHandedOff), marker)) {
        TextFileReader reader(marker);
        for (QByteArray line; reader.rawLine(line);)
            lines << line;
    }
    return lines;
}

bool UpdateHandOff::attemptedBefore(const QByteArrayList& marker, const QByteArray& checksum) const
{
    // A marker of two lines comes from a version that wrote it only once the relauncher
    // ran; it cannot tell whether an install was attempted, so it does not hold back.
    const QByteArray step = marker.value(2);
    return !checksum.isEmpty() && marker.size() >= 3 && marker[0] == version.toLatin1() &&
           marker[1] == checksum && (step == kStepStarted || step == kStepTold);
}

QString UpdateHandOff::packageStored()
{
    const QByteArray checksum = packageChecksum();
    if (!attemptedBefore(readMarker(), checksum))
        return QStringLiteral("Update geladen \u2013 wird beim n\u00e4chsten Start installiert");
    loesch_datei(path(kPackage));
    m_protocol.add(QStringLiteral("Update: ") + QLatin1String(kPackage) +
                   QStringLiteral(" wurde bei Version %1 schon installiert, verworfen").arg(version));
    return QStringLiteral(
               "Update geladen, aber bei Version %1 schon einmal installiert \u2013 es wird nicht noch "
               "einmal installiert")
        .arg(version);
}

bool UpdateHandOff::Timer2_Timer()
{
    removeLeftoverUpdater();
    const QByteArray checksum = packageChecksum();
    const QByteArrayList last = readMarker();
    if (attemptedBefore(last, checksum)) {
        loesch_datei(path(kPackage));
        m_protocol.add(QStringLiteral("Update: ") + QLatin1String(kPackage) +
                       QStringLiteral(" wurde schon gestartet, die Version blieb ") + version);
        if (last.value(2) != kStepTold) {
            writeMarker({last[0], last[1], kStepTold});
            m_prompts.message(QStringLiteral("Das Update wurde schon einmal gestartet, die Version ist aber "
                                             "unver\u00e4ndert %1. Es wird nicht noch einmal installiert; "
                                             "Korvi startet normal.")
                                  .arg(version));
        }
        return false;
    }
    if (!QFile::rename(path(kPackage), path(kUpdater))) {
        fail(QStringLiteral("%1 l\u00e4\u00dft sich nicht in %2 umbenennen").arg(QLatin1String(kPackage), QLatin1String(kUpdater)));
        return false;
    }
    QFile::setPermissions(path(kUpdater), QFile::permissions(path(kUpdater)) | QFileDevice::ReadOwner
                                              | QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther);
    const QString relauncher = findRelauncher();
    if (relauncher.isEmpty()) {
        fail(QStringLiteral("Quenby nicht gefunden"));
        return false;
    }
    // Written before the relauncher runs, which notes in it when it starts the updater.
    if (!checksum.isEmpty())
        writeMarker({version.toLatin1(), checksum, kStepHanded});
    if (!starter->startDetached(relauncher, {}, m_workDir)) {
        fail(QStringLiteral("Quenby l\u00e4\u00dft sich nicht starten: ") + relauncher);
        return false;
    }
    m_protocol.add(QStringLiteral("Update: ") + relauncher + QStringLiteral(" gestartet"));
    return true;
}

} // namespace korvi
