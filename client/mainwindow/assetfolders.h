#pragma once

#include <QRect>
#include <QList>
#include <QString>
#include <QStringList>

namespace korvi {

// The folders the client takes its pictures, sounds and colour schemes from: the working
// folder first, then the installed copies beside the program ("../share/korvi" from the
// program's folder), so that a client started in an empty folder still has them.
QStringList assetFolders(const QString& workDir, const QString& programDir);

// The names of the files matching `pattern` (for example "*.col") in the folders, without
// regard to case; a name found in an earlier folder hides the same name in a later one.
// Sorted without regard to case.
QStringList listAssetFiles(const QStringList& folders, const QString& pattern);

// The path of the file `name` in the first folder that holds it (any case), or an empty
// text when none does.
QString findAsset(const QStringList& folders, const QString& name);

// The window's frame placed on the screens: kept where it is when it lies on one, or
// shrunk to fit and moved inside the screen it overlaps most (the first screen when it
// overlaps none), so that a saved position from another monitor set-up stays reachable.
QRect placeOnScreens(const QRect& frame, const QList<QRect>& screens);

} // namespace korvi
