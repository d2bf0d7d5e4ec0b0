#pragma once

#include <QString>

namespace korvi::server {

// The server's log of connections, logins and errors: one line per event on stderr,
// with the local time in front.
void logLine(const QString& text);
// Switches the log off (for load tests that would otherwise measure the terminal).
void setLogEnabled(bool enabled);

} // namespace korvi::server
