#pragma once

#include <QDir>
#include <QString>
#include <QTemporaryDir>

// The folder a fuzz target's files go to: in memory (/dev/shm) where the system has it, so
// millions of runs write nothing to the disk; otherwise the usual temporary folder.
inline QString memoryDirTemplate()
{
    return QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/korvi-fuzz-XXXXXX")
                                                     : QDir::tempPath() + QStringLiteral("/korvi-fuzz-XXXXXX");
}
