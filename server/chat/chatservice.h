#pragma once

#include "catalogue.h"
#include "chatrules.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QObject>
#include <QTimer>
#include <vector>

namespace korvi::server {

class GameServer;
class Session;
struct Execution;

// The chat of the game: who has the chat on (presence), the participant list, public and
// private lines, the trades feed and the chat level of every connection. Lines are only
// relayed, never stored or logged. A connection that cannot keep up loses chat lines
// instead of piling them up. Switching the chat on and off takes from the same budget as
// lines (a switch beyond it waits, the last one wins), and the others hear of a leave
// only when it lasts (chat::PresenceNotices). The participant list is built once per
// change and shared; a connection that asks again before its list went out gets one.
class ChatService : public QObject {
    Q_OBJECT
public:
    // How often the levels are read again, so "user level" reaches a running game.
    static constexpr int kLevelCheckMs = 1000;
    // A connection with more than this waiting to be sent gets no chat lines until it drains.
    static constexpr qint64 kMaxQueuedBytes = 256 * 1024;

    explicit ChatService(GameServer& server, QObject* parent = nullptr);

    // A connection logged in, or went away (for whatever reason).
    void join(Session* session);
    void leave(Session* session);
    // "@CH", "@RCU", "@C" and "@CT" of a logged-in connection.
    void handle(Session* session, Cmd cmd, QByteArrayView body);
    // A fill of the game, relayed to the trades feed once it is stored.
    void execution(const Execution& e);
    // Passes on what waits: the trades after the store committed them, public lines.
    void flushTrades();
    // Reads the levels and passes every change on with "@SV".
    void checkLevels();

    int presentCount() const { return static_cast<int>(m_present.size()); }
    qint64 droppedForQueue() const { return m_droppedForQueue; }

private:
    // How often waiting switches and leave notices are looked at.
    static constexpr int kSwitchCheckMs = 200;

    struct Member {
        qint64 participant = 0;
        QByteArray name;
        int level = 1;
        bool present = false;
        bool wantsPresent = false; // a switch waiting for the budget
        qint64 enteredAt = 0;
        bool trades = false;
        chat::LineBudget budget;
    };

    void switchChannel(Session* session, Member& m, bool on);
    void enter(Session* session, Member& m);
    void quit(Session* session, Member& m);
    void say(Session* session, Member& m, QByteArrayView body);
    const QByteArray& userList();
    void toPresent(const QByteArray& framed, Session* except);
    bool deliver(Session* session, const QByteArray& framed);
    void flushPublic();
    void checkSwitches();

    GameServer& m_server;
    QHash<Session*, Member> m_members;
    std::vector<Session*> m_present;   // in the order they entered
    QHash<qint64, int> m_presentConnections; // per participant in the chat
    chat::PresenceNotices m_notices;
    QByteArray m_userList;             // framed "@SCU"; empty: to be built
    QSet<Session*> m_wantUsers;        // asked for the list, not yet sent
    QSet<Session*> m_waitingSwitch;    // a switch waits for the budget
    QTimer m_switchTimer;
    QByteArray m_trades;               // framed, waiting for the commit
    // Public lines of this turn of the event loop, sent as one write per listener.
    std::vector<std::pair<Session*, QByteArray>> m_public;
    QTimer m_publicTimer;
    QTimer m_levelTimer;
    qint64 m_participantChanges = -2; // the store's change count at the last look; -2: none yet
    qint64 m_droppedForQueue = 0;
};

} // namespace korvi::server
