// Any sequence of "@FIS", "@FID" and "@FIE" bodies: the transfer never writes outside its
// working folder, writes nothing there but the update package (and its temporary file),
// never leaves its temporary file after an end, and never crashes. The
// input is cut at line feeds; each line's first byte chooses the message.

#include "loglist.h"
#include "update/filetransfer.h"
#include "memorydir.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

using namespace korvi;

namespace {

struct Harness {
    int argc = 1;
    char name[8] = "fuzz";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    MemoryDir outer;
    QString work = outer.filePath(QStringLiteral("work"));
    Harness() { QDir(outer.path()).mkpath(QStringLiteral("work")); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Harness h;
    {
        LogList log;
        FileTransfer transfer(h.work, log);
        const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
        for (const QByteArray& line : input.split('\n')) {
            if (line.isEmpty())
                continue;
            const QByteArrayView body = QByteArrayView(line).sliced(1);
            switch (line[0] % 3) {
            case 0: transfer.WS_FIS(body); break;
            case 1: transfer.WS_FID(body); break;
            default: transfer.WS_FIE(body); break;
            }
            if (transfer.FileTransferState == FileTransfer::Finished && QDir(h.work).exists(QStringLiteral("dummy.bin")))
                std::abort();
        }
    }
    // Inside it only the package and the temporary file can ever appear.
    for (const QString& name :
         QDir(h.work).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
        if (name != QStringLiteral("KORVIUP.EXX") && name != QStringLiteral("dummy.bin"))
            std::abort();
    }
    // Nothing appeared beside the working folder.
    const QStringList outside = QDir(h.outer.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    if (outside != QStringList{QStringLiteral("work")})
        std::abort();
    QDir(h.work).removeRecursively();
    QDir(h.outer.path()).mkpath(QStringLiteral("work"));
    return 0;
}
