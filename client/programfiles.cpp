#include "programfiles.h"

#include "textfile.h"

#include <QByteArray>
#include <QByteArrayList>

namespace korvi {

namespace {

// As the file system may see the name: upper case, trailing blanks and dots dropped.
QByteArray folded(QByteArrayView name)
{
    QByteArray n = upperSingleByte(name.trimmed());
    while (n.endsWith('.') || n.endsWith(' '))
        n.chop(1);
    return n;
}

// "K" + digits + ".DAT": a price file.
bool isPriceFileName(const QByteArray& n)
{
    if (n.size() < 6 || !n.startsWith('K') || !n.endsWith(".DAT"))
        return false;
    for (qsizetype i = 1; i < n.size() - 4; ++i) {
        if (n[i] < '0' || n[i] > '9')
            return false;
    }
    return true;
}

} // namespace

bool isProgramFile(QByteArrayView name)
{
    if (name.isEmpty() || name.front() == ' ' || name.back() == ' ')
        return true;
    const QByteArray n = folded(name);
    static const QByteArrayList kNames{
        "KORVI.INI", "KORVI.WPV", "KURSE.IDX",     "KURS.DAT",     "KORVI.DEV",   "DUMMY.BIN",  "KORVI.DAT",
        "TMP.GIF",   "LOGO.PNG",  "ICON.PNG",      "KORVIDOK.LST", "QUENBY",      "QUENBY.EXE", "KORVI",
        "KORVIGAME", "KORVI.EXE", "KORVIGAME.EXE", "KORVI-REMOTE", "KORVI-SERVER"};
    // Every file of the order-file interface and of the update hand-off, whatever follows.
    static const QByteArrayList kStems{"KORVIREM.", "KORVIUP."};
    // Colour schemes and sounds, whatever their name.
    static const QByteArrayList kEndings{".COL", ".WAV"};
    if (kNames.contains(n) || isPriceFileName(n))
        return true;
    for (const QByteArray& stem : kStems) {
        if (n.startsWith(stem))
            return true;
    }
    for (const QByteArray& ending : kEndings) {
        if (n.endsWith(ending))
            return true;
    }
    return false;
}

bool isUpdatePackageName(QByteArrayView name)
{
    return upperSingleByte(name) == kUpdatePackageName;
}

} // namespace korvi
