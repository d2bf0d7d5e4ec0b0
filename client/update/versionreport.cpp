#include "versionreport.h"

#include "framing.h"

namespace korvi {

QByteArray versionMessage(int major, int minor, int revision)
{
    return "@SV=V" + QByteArray::number(major) + '.' + QByteArray::number(minor) + '.' + QByteArray::number(revision);
}

// The numbers come from the build (the project version).
int programMajor() { return KORVI_VERSION_MAJOR; }
int programMinor() { return KORVI_VERSION_MINOR; }
int programRevision() { return KORVI_VERSION_PATCH; }

void WS_RV(const std::function<void(const QByteArray& framed)>& send)
{
    send(frame(versionMessage(programMajor(), programMinor(), programRevision())));
    send(frame("@SVK=1"));
}

} // namespace korvi
