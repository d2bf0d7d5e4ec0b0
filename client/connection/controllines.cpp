#include "controllines.h"
#include "dates.h"

#include "catalogue.h"
#include "connection.h"
#include "loglist.h"
#include "seams.h"
#include "textfile.h"

#include <QByteArrayList>

namespace korvi {

void ControlLines::handle(QByteArrayView line)
{
    m_connection.ControlText = line.toByteArray();
    if (line.startsWith("!;EXIT")) {
        if (exitNow)
            exitNow();
        return;
    }
    if (line.startsWith("!;ID")) {
        m_incoming.add(QStringLiteral("ID"));
        m_connection.sendDirect(QByteArray(kIdentifyReply.data(), kIdentifyReply.size()) +
                                m_connection.userField());
        m_incoming.add(QStringLiteral("OUT:") + fromWire(m_connection.userField()));
    }
    if (line.startsWith("!;USER")) {
        m_incoming.add(QStringLiteral("Server verlangt USER"));
        m_connection.sendDirect("@U=" + m_connection.userField() + '%' + m_connection.passwordField());
        m_incoming.add(QStringLiteral("OUT:") + fromWire(m_connection.userField()));
    }
    if (line.startsWith("!;T;")) {
        m_connection.TableText = line.size() > 6 ? line.sliced(6).toByteArray() : QByteArray();
        if (initTabelle)
            initTabelle(m_connection.TableText);
    }
    if (line.startsWith("!;MULTI;")) {
        const QByteArrayView command = line.sliced(8);
        static const QByteArrayList kBeeps{"BEEP", "BEEP1", "BEEP2", "BEEP3", "BEEP4", "BEEP5", "BEEP6"};
        if (command == QByteArrayView("EXIT")) {
            if (exitNow)
                exitNow();
            return;
        }
        if (kBeeps.contains(command.toByteArray()))
            m_sound.beep();
    }
    if (line.startsWith("!;HB")) {
        m_incoming.add(QStringLiteral("Heartbeat"));
        m_protocol.add(QStringLiteral("Empfange Heartbeat") +
                       clockText(m_clock.now().time()));
    }
}

} // namespace korvi
