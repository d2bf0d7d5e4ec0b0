#pragma once

#include <QString>

namespace korvi::server {

// Opens the game's database (korvi.sqlite in `folder`, created with the folder when
// missing) under the connection name `connection`, in write-ahead-log mode. `fullSync`
// flushes every commit to the disk; without it a commit survives a killed process but
// not a power cut.
bool openGameDatabase(const QString& folder, const QString& connection, bool fullSync, QString& error);
// Closes and forgets the connection.
void closeGameDatabase(const QString& connection);

} // namespace korvi::server
