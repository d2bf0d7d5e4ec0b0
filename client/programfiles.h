#pragma once

#include <QByteArrayView>

namespace korvi {

// The files of the working folder that the program itself reads or writes: settings,
// colour schemes, presets, price files and their index, the price recording and its
// marker, the order-file interface, the update package, the updater and its marker, the
// relauncher, the transfer's temporary file, the logo and its pictures, the sounds, the
// record of received documents, and the programs themselves. A name the server sends (a
// document, a transferred file) is compared with this one list as the file system may see
// it: in any case and without the trailing blanks and dots some file systems drop. A name
// that begins or ends with a blank counts as the program's too: it would show as one of
// them in the folder.
bool isProgramFile(QByteArrayView name);

inline constexpr const char* kUpdatePackageName = "KORVIUP.EXX";

// The one name the update transfer stores: the update package, in any case, with nothing
// around it.
bool isUpdatePackageName(QByteArrayView name);

} // namespace korvi
