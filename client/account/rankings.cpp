#include "rankings.h"

#include "account/statustexts.h"
#include "fields.h"
#include "loglist.h"
#include "textfile.h"

namespace korvi {

namespace {
constexpr int kMaxPlaceFields = 10;
// A longer system information would flood the protocol list; the rest is dropped.
constexpr int kMaxSystemInfoLines = 30;
} // namespace

void Rankings::WS_PlatzInfo(QByteArrayView body)
{
    Fields f;
    f.split(body, kMaxPlaceFields, ';');
    // The total ranking goes to the first label and today's to the second: the reverse of
    // the places of "@SUP", which the next of either message overwrites.
    m_status.setLT1(0, QStringLiteral("Ges:") + fromWire(f[1]));
    m_status.setLT1(1, QStringLiteral("Heute:") + fromWire(f[2]));
}

void Rankings::WS_ShowSystemInfo(QByteArrayView body)
{
    Fields f;
    f.split(body, kMaxSystemInfoLines, ';');
    for (int i = 1; i <= f.stored(); ++i)
        m_protocol.add(fromWire(f[i]));
}

void Rankings::WS_GewinnerVerlierer(QByteArrayView body)
{
    // The winners and losers are accepted but neither shown nor kept.
    Q_UNUSED(body);
}

} // namespace korvi
