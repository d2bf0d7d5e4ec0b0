#pragma once

#include <QByteArray>
#include <functional>

namespace korvi {

// "@SV=" and the version, e.g. "@SV=V1.1.368".
QByteArray versionMessage(int major, int minor, int revision);

// The version of this build, as the project declares it.
int programMajor();
int programMinor();
int programRevision();

// Answers the server's version question "@RV" at once: "@SV=" with this build's version,
// then "@SVK=1". `send` gets each framed message.
void WS_RV(const std::function<void(const QByteArray& framed)>& send);

} // namespace korvi
