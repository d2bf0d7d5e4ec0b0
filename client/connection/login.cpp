#include "login.h"

#include "connection.h"
#include "fields.h"
#include "framing.h"
#include "numbers.h"
#include "seams.h"
#include "state.h"
#include "textfile.h"

namespace korvi {

void Login::WS_Welcome(QByteArrayView)
{
    emit welcomeText(QString::fromLatin1(kWelcomeText));
    if (chatBox) {
        request("@CH=2");
        request("@RCU=");
    }
}

QTime Login::parseTimeOfDay(QByteArrayView text)
{
    Fields f;
    const int n = f.split(text.trimmed(), 3, ':');
    if (n < 2 || n > 3)
        return {};
    const auto h = toInt32(readNumber(f[1]));
    const auto m = toInt32(readNumber(f[2]));
    const auto s = toInt32(readNumber(f[3]));
    if (!h || !m || !s)
        return {};
    return QTime(*h, *m, *s); // invalid for hours above 23 and the like
}

void Login::WS_TimeSet(QByteArrayView body)
{
    const QTime time = parseTimeOfDay(body);
    if (time.isValid())
        m_clock.setTimeOfDay(time);
}

void Login::ws_ud(QByteArrayView body)
{
    Fields records;
    records.split(body, 1000, '\n');
    const QByteArray id = records[1].toByteArray();
    if (m_state.users.size() > 1)
        m_state.user().UserKz = id.leftJustified(6, ' ', true);
    emit uidText(QStringLiteral("UID:") + fromWire(id));
}

bool Login::blockedCheck(QByteArrayView body)
{
    if (upperSingleByte(body) != "USER GESPERRT")
        return false;
    m_connection.KeepConnected = false;
    return true;
}

bool Login::WSS_GKO(qint32 n) { return request("@GKO=" + stri(n)); }

void Login::WS_RequestSystemInfos() { m_connection.Senddata(frame("@RI")); }

bool Login::request(QByteArrayView text) { return m_connection.sendRequest(text); }

} // namespace korvi
