#pragma once

#include <QByteArray>
#include <QStringList>

namespace korvi::server {

class ParticipantStore;

// Runs one administration command ("user add NAME PASSWORD", "user block NAME",
// "user unblock NAME", "user level NAME N", "user list", "user password NAME PASSWORD",
// "user remove NAME", "user import FILE") against the store. What the user should read goes to `out`, errors
// to `err`; returns the process exit code. `force` lets "user remove" remove a participant
// with open orders or positions.
int runAdminCommand(const QStringList& command, ParticipantStore& store, QByteArray& out, QByteArray& err,
                    bool force = false);

} // namespace korvi::server
