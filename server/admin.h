#pragma once

#include <QByteArray>
#include <QStringList>

namespace korvi::server {

class ParticipantStore;

// Runs one administration command ("user add NAME PASSWORD", "user block NAME",
// "user unblock NAME",
// "user level NAME N", "user list") against the store. What the user should read goes to
// `out`, errors to `err`; returns the process exit code.
int runAdminCommand(const QStringList& command, ParticipantStore& store, QByteArray& out, QByteArray& err);

} // namespace korvi::server
