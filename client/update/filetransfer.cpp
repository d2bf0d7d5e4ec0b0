#include "filetransfer.h"

#include "escaping.h"
#include "fields.h"
#include "loglist.h"
#include "numbers.h"
#include "programfiles.h"
#include "textfile.h"

#include <QDir>

namespace korvi {

FileTransfer::FileTransfer(const QString& workDir, LogList& protocol) : m_workDir(workDir), m_protocol(protocol) {}

FileTransfer::~FileTransfer() { abandon(); }

QString FileTransfer::tempPath() const { return QDir(m_workDir).filePath(QLatin1String(kTempName)); }

QString FileTransfer::refusedName(QByteArrayView name)
{
    if (name.isEmpty())
        return QStringLiteral("kein Dateiname");
    if (name.size() > 255)
        return QStringLiteral("Dateiname zu lang");
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*')
            return QStringLiteral("unerlaubtes Zeichen im Dateinamen");
    }
    // A name must stay a plain, visible file of the working folder.
    if (!isPlainFileName(name) || name.front() == '.' || name.front() == ' ' || name.back() == '.'
        || name.back() == ' ')
        return QStringLiteral("Dateiname au\xdf" "erhalb des Arbeitsordners");
    if (upperSingleByte(name) == upperSingleByte(kTempName))
        return QStringLiteral("Dateiname der Zwischendatei");
    // The transfer delivers the update package and nothing else: no settings, price or
    // order files, no program.
    if (isUpdatePackageName(name))
        return {};
    return isProgramFile(name) ? QStringLiteral("Datei des Programms")
                               : QStringLiteral("nur das Update-Paket KORVIUP.EXX");
}

void FileTransfer::closeTemp(bool remove)
{
    if (m_temp) {
        m_temp->close();
        m_temp.reset();
    }
    if (remove && exist(tempPath()))
        loesch_datei(tempPath());
}

void FileTransfer::fail(const QString& why)
{
    if (!m_failed)
        m_protocol.add(QStringLiteral("F:WS_FID ") + why);
    m_failed = true;
    closeTemp(true);
}

void FileTransfer::abandon()
{
    if (running() || m_temp)
        closeTemp(true);
    if (running())
        FileTransferState = Idle;
}

void FileTransfer::removeLeftover()
{
    if (!m_temp && exist(tempPath()))
        loesch_datei(tempPath());
}

void FileTransfer::WS_FIS(QByteArrayView body)
{
    Fields f;
    f.split(body, 10, ';');
    // A new start drops whatever ran before.
    closeTemp(true);
    FileTransferId = f[1].toByteArray();
    FileTransferTarget = f[2].toByteArray();
    const double announced = readNumber(f[3]);
    FileTransferLength = announced >= 0 && announced <= double(kMaxBytes) ? qint64(announced) : -1;
    FileTransferNext = 1;
    m_failed = false;

    const QString refused = refusedName(FileTransferTarget);
    if (!refused.isEmpty() || FileTransferLength < 0) {
        m_protocol.add(QStringLiteral("F:WS_FIS ") + fromWire(FileTransferTarget).left(80) + QStringLiteral(": ")
                       + (refused.isEmpty() ? QStringLiteral("Datei zu gro\xdf") : refused));
        FileTransferState = Idle;
        return;
    }
    FileTransferState = Started;
    m_temp = std::make_unique<QFile>(tempPath());
    if (!m_temp->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        const QString error = m_temp->errorString();
        m_temp.reset();
        fail(QLatin1String(kTempName) + QLatin1Char(' ') + error);
    }
}

void FileTransfer::WS_FID(QByteArrayView body)
{
    if (!running())
        return;
    const qsizetype cut = body.indexOf(';');
    const QByteArrayView id = cut < 0 ? body : body.first(cut);
    if (id != FileTransferId)
        return;
    const QByteArrayView data = cut < 0 ? QByteArrayView() : body.sliced(cut + 1);
    FileTransferNext += data.size();
    FileTransferState = Receiving;
    if (m_failed)
        return;
    if (FileTransferNext - 1 > FileTransferLength) {
        fail(QStringLiteral("mehr Daten als angek\xfcndigt"));
        return;
    }
    if (m_temp->write(data.data(), data.size()) != data.size())
        fail(QLatin1String(kTempName) + QLatin1Char(' ') + m_temp->errorString());
}

void FileTransfer::WS_FIE(QByteArrayView body)
{
    if (!running())
        return;
    Fields f;
    f.split(body, 10, ';');
    if (f[1] != FileTransferId)
        return;
    if (m_temp && !m_temp->flush())
        m_failed = true;
    closeTemp(false);
    const qint64 received = FileTransferNext - 1;
    if (received != FileTransferLength)
        m_protocol.add(QStringLiteral("L SOll=") + fromWire(writeDouble(double(FileTransferLength)))
                       + QStringLiteral(" IST=") + fromWire(writeDouble(double(received))));
    FileTransferState = Finished;
    // Stored under the package's own spelling, whatever case the server wrote it in: that
    // is the name the next start looks for.
    const QString target = QLatin1String(kUpdatePackageName);
    // A short, long or broken transfer never becomes a package the next start would use.
    if (m_failed || received != FileTransferLength) {
        m_protocol.add(QStringLiteral("F:WS_FIE ") + target + QStringLiteral(" nicht gespeichert"));
        closeTemp(true);
        return;
    }
    const DecodeResult r = DecodeFile(tempPath(), QDir(m_workDir).filePath(target));
    if (r.status != DecodeResult::Done)
        m_protocol.add(QStringLiteral("F:WS_FIE ") + target + QLatin1Char(' ') + r.error);
    closeTemp(true);
    if (r.status == DecodeResult::Done && onStored)
        onStored(target);
}

} // namespace korvi
