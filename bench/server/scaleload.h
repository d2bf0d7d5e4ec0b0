#pragma once

#include <QByteArray>
#include <cstdint>

// The scale run of korvi-load: thousands of participants on one Asio (epoll) context, so
// the load generator's cost follows the sockets that are ready, as the server's does.
namespace korvi::load {

struct ScaleConfig {
    quint16 port = 0;
    qint64 serverPid = 0;
    int participants = 1000;   // logged in besides the watcher
    int loginWindow = 2000;    // logins under way at once at most
    int seconds = 20;          // length of the stream measurement
    double rate = 50;          // the server's price messages per second
    int markerInstrument = 13; // instrument whose test quotes carry their sending time
    int markerEveryMs = 500;
    int orderEveryMs = 100;    // the watcher's orders during the stream
    int relogins = 20;         // participants that log in again at the end (password known)
    int timeoutSeconds = 180;  // for the logins
    bool enterChat = false;    // the participants enter the chat (and stay silent)
    int threads = 2;           // of the load generator, each with its own share and context
};

// Logs the participants in (names from `nameOf`), measures the stream and the watcher's
// orders and prints the result lines described in the README.
int runScale(const ScaleConfig& config, QByteArray (*nameOf)(int));

// 300 connections of one participant that read nothing while prices stream: what the
// server holds and how many it still keeps open after `seconds`.
int runStallProbe(quint16 port, qint64 serverPid, int connections, int seconds, double rate, QByteArray (*nameOf)(int));

// Resident memory and CPU seconds of a process, from /proc; negative when unreadable.
double processRssMb(qint64 pid);
double processCpuSeconds(qint64 pid);

} // namespace korvi::load
