#pragma once

#include "externalorders.h"
#include "fileinterface.h"
#include "loglist.h"
#include "wexinterface.h"

#include <QObject>

namespace korvi {

class Account;
class Clock;
class Connection;
class Executions;
class Messages;
class OrderEntry;
class OrderGrid;
class OrderPlacing;
class OrderStatusTracker;
class PositionClosing;
class Prompts;
struct State;

// Both ways for other programs to trade through the client: the order socket "Wex" and
// the command files. Owns their protocol lists and connects them to the order handlers.
class ExternalInterfaces : public QObject {
    Q_OBJECT
public:
    ExternalInterfaces(State& state, Connection& connection, Account& account, Executions& executions,
                       OrderStatusTracker& orderStatus, OrderPlacing& placing, OrderGrid& grid,
                       OrderEntry& entry, PositionClosing& closing, Messages& messages, Prompts& prompts,
                       Clock& clock, LogList& protocol, QObject* parent = nullptr);

    // After the settings were read: the socket listens, the file interface follows its box.
    void start();
    // The two boxes into the settings before they are written.
    void collectSettings();
    // "Fennix extern": shows or hides the frame; nothing changes in the game edition.
    bool Check5_Click(bool ticked);

    LogList list1; // the socket interface's protocol list
    LogList list2; // the executed lines of command files
    ExternalOrders orders;
    WexInterface wex;
    FileInterface files;

private:
    State& m_state;
};

} // namespace korvi
