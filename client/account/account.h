#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

namespace korvi {

class LogList;
class StatusTexts;
struct State;

// The participant's account figures ("@SUK"), today's result with the open positions
// ("@SUD") and the ranking places ("@SUP"): they fill the user record and the position
// table of the state object and write the status texts and the protocol list. The order
// grid draws the positions from the table at its next refresh.
class Account : public QObject {
    Q_OBJECT
public:
    Account(State& state, StatusTexts& status, LogList& protocol, LogList& outgoing,
            QObject* parent = nullptr);

    void WS_SUK(QByteArrayView body);
    void WS_SUD(QByteArrayView body);
    void WS_SUP(QByteArrayView body);

    // The total and day place into the status labels.
    void Zeigposition();
    // Reads the position text of user record `user` into the position table; returns the
    // number of positions. With `show` the table is written to the protocol list as well.
    int LesePositionen(int user, bool show);
    // The position table as text lines in the protocol list.
    void ZeigGLKp();

    // Set by the outside program's interface when it asked for the account figures: the
    // next "@SUK" is relayed to it once through `WexSenddata`.
    bool WexAccountPending = false;
    std::function<void(const QByteArray& framed)> WexSenddata;

signals:
    // "@SUD" replaced the positions: the instrument lines of these instruments show
    // something else now (they are also marked for the periodic refresh).
    void positionsChanged(const QList<int>& instruments);

private:
    void fail(const char* procedure, const QString& what);

    State& m_state;
    StatusTexts& m_status;
    LogList& m_protocol;
    LogList& m_outgoing;
};

// Today's result, " = " and the result added to the base value ("150 = 10150").
QString resultText(float todaysResult, float baseValue);
// A place as the status labels show it: empty for 0, "> 100" for 101.
QString placeText(const char* prefix, qint16 place);

} // namespace korvi
