#pragma once

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

// The folder a fuzz target's files go to: in memory (/dev/shm) where the system has it, so
// millions of runs write nothing to the disk; otherwise the usual temporary folder.
inline QString memoryDirTemplate()
{
    return QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/korvi-fuzz-XXXXXX")
                                                     : QDir::tempPath() + QStringLiteral("/korvi-fuzz-XXXXXX");
}

// Removes `dir`'s folder when the process exits, also when the harness holding it is never
// destroyed (libFuzzer ends with exit()); the folder is in memory and must not pile up.
inline void removeAtExit(const QTemporaryDir& dir)
{
    static std::vector<std::string> paths; // plain strings: Qt may be gone by then
    static const bool registered = [] {
        return std::atexit([] {
                   std::error_code ignored;
                   for (const std::string& p : paths)
                       std::filesystem::remove_all(p, ignored);
               }) == 0;
    }();
    (void)registered;
    paths.push_back(dir.path().toStdString());
}

// A temporary folder in memory, removed when the process exits.
struct MemoryDir : QTemporaryDir {
    MemoryDir() : QTemporaryDir(memoryDirTemplate()) { removeAtExit(*this); }
};
