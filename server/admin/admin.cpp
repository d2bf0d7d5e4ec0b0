#include "admin.h"

#include "participantimport.h"
#include "participantstore.h"

namespace korvi::server {

namespace {

QByteArray padded(const QByteArray& text, int width) { return text.leftJustified(width, ' '); }

} // namespace

int runAdminCommand(const QStringList& command, ParticipantStore& store, QByteArray& out, QByteArray& err, bool force)
{
    const QString usage = QStringLiteral("usage: user add NAME PASSWORD | user block NAME | user unblock NAME | user level NAME N | "
                                         "user list | user password NAME PASSWORD | user remove NAME [--force] | user import FILE\n");
    if (command.size() < 2 || command[0] != QLatin1String("user")) {
        err += usage.toLatin1();
        return 2;
    }
    const QString verb = command[1];
    QString error;
    if (verb == QLatin1String("add") && command.size() == 4) {
        const QByteArray name = command[2].toLatin1();
        if (!store.add(name, command[3].toLatin1(), error)) {
            err += "cannot add participant: " + error.toLocal8Bit() + '\n';
            return 1;
        }
        const auto p = store.find(name);
        out += "added " + name + " (" + (p ? p->shortId : QByteArray("?")) + ")\n";
        return 0;
    }
    if (verb == QLatin1String("import") && command.size() == 3)
        return participantimport::run(command[2], store, out, err);
    if ((verb == QLatin1String("block") || verb == QLatin1String("unblock")) && command.size() == 3) {
        const QByteArray name = command[2].toLatin1();
        const bool block = verb == QLatin1String("block");
        if (!store.setBlocked(name, block, error)) {
            err += "cannot " + verb.toLatin1() + ": " + error.toLocal8Bit() + '\n';
            return 1;
        }
        out += (block ? "blocked " : "unblocked ") + name + '\n';
        return 0;
    }
    if (verb == QLatin1String("level") && command.size() == 4) {
        const QByteArray name = command[2].toLatin1();
        bool number = false;
        const int level = command[3].toInt(&number);
        if (!number || !store.setLevel(name, level, error)) {
            err += "cannot set the level: "
                   + (number ? error : QStringLiteral("not a number: %1").arg(command[3])).toLocal8Bit() + '\n';
            return 1;
        }
        out += "level of " + name + " is " + QByteArray::number(level) + '\n';
        return 0;
    }
    if (verb == QLatin1String("password") && command.size() == 4) {
        const QByteArray name = command[2].toLatin1();
        if (!store.setPassword(name, command[3].toLatin1(), error)) {
            err += "cannot set the password: " + error.toLocal8Bit() + '\n';
            return 1;
        }
        out += "new password for " + name + '\n';
        return 0;
    }
    if (verb == QLatin1String("remove") && command.size() == 3) {
        const QByteArray name = command[2].toLatin1();
        if (!store.remove(name, force, error)) {
            err += "cannot remove " + name + ": " + error.toLocal8Bit() + '\n';
            return 1;
        }
        out += "removed " + name + '\n';
        return 0;
    }
    if (verb == QLatin1String("list") && command.size() == 2) {
        out += padded("NAME", 31) + padded("ID", 8) + padded("LEVEL", 7) + "STATE\n";
        for (const Participant& p : store.list()) {
            out += padded(p.name, 31) + padded(p.shortId, 8) + padded(QByteArray::number(p.level), 7)
                   + (p.blocked ? "blocked" : "active") + '\n';
        }
        return 0;
    }
    err += usage.toLatin1();
    return 2;
}

} // namespace korvi::server
