#pragma once

#include <QByteArrayView>

namespace korvi {

class LogList;
class StatusTexts;

// The game's own information: the ranking places as ready-made texts ("@PI"), the system
// information lines ("@SYI") and the lists of winners and losers ("@GV", accepted unshown).
class Rankings {
public:
    Rankings(StatusTexts& status, LogList& protocol) : m_status(status), m_protocol(protocol) {}

    void WS_PlatzInfo(QByteArrayView body);
    void WS_ShowSystemInfo(QByteArrayView body);
    void WS_GewinnerVerlierer(QByteArrayView body);

private:
    StatusTexts& m_status;
    LogList& m_protocol;
};

} // namespace korvi
