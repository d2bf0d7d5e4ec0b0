#include "assetfolders.h"

#include "textfile.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace korvi {

QStringList assetFolders(const QString& workDir, const QString& programDir)
{
    QStringList folders{workDir};
    const QString shared = QDir::cleanPath(programDir + QStringLiteral("/../share/korvi"));
    if (QFileInfo(shared).isDir() && QDir(shared) != QDir(workDir))
        folders << shared;
    return folders;
}

QStringList listAssetFiles(const QStringList& folders, const QString& pattern)
{
    QStringList names;
    for (const QString& folder : folders) {
        // Name filters without QDir::CaseSensitive match any case.
        const QStringList found = QDir(folder).entryList({pattern}, QDir::Files | QDir::Readable);
        for (const QString& name : found) {
            if (!names.contains(name, Qt::CaseInsensitive))
                names << name;
        }
    }
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    return names;
}

QString findAsset(const QStringList& folders, const QString& name)
{
    if (!isPlainFileName(toWire(name)))
        return QString();
    for (const QString& folder : folders) {
        const QString path = findNoCase(folder, name);
        if (QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

QRect placeOnScreens(const QRect& frame, const QList<QRect>& screens)
{
    if (screens.isEmpty() || !frame.isValid())
        return frame;
    const QRect* best = &screens.front();
    qint64 bestArea = 0;
    for (const QRect& s : screens) {
        if (s.contains(frame))
            return frame;
        const QRect common = s.intersected(frame);
        const qint64 area = qint64(common.width()) * common.height();
        if (!common.isEmpty() && area > bestArea) {
            bestArea = area;
            best = &s;
        }
    }
    QRect placed = frame;
    placed.setWidth(qMin(frame.width(), best->width()));
    placed.setHeight(qMin(frame.height(), best->height()));
    placed.moveLeft(qBound(best->left(), frame.left(), best->right() - placed.width() + 1));
    placed.moveTop(qBound(best->top(), frame.top(), best->bottom() - placed.height() + 1));
    return placed;
}

} // namespace korvi
