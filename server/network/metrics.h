#pragma once

#include <QByteArray>

namespace korvi::server {

// What the game server counts for monitoring. Counters only grow while the server runs;
// the figures of "now" are filled in when the page is asked for.
struct ServerMetrics {
    qint64 logins = 0;
    qint64 failedLogins = 0;
    qint64 ordersAccepted = 0;
    qint64 ordersRefused = 0;
    qint64 fills = 0;
    qint64 priceMessages = 0;
    qint64 droppedFullQueue = 0;
    qint64 commits = 0;
    double commitSeconds = 0;     // all commits together
    double lastCommitSeconds = 0;
    // Now:
    int connections = 0;
    int loggedIn = 0;
    qint64 largestSendQueue = 0;  // bytes
};

// The figures in the Prometheus text format (version 0.0.4).
QByteArray prometheusText(const ServerMetrics& m);

} // namespace korvi::server
