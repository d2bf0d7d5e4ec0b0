#pragma once

#include "catalogue.h"
#include "chatrules.h"

#include <QByteArray>
#include <QHash>
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
// instead of piling them up.
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
    struct Member {
        qint64 participant = 0;
        QByteArray name;
        int level = 1;
        bool present = false;
        bool trades = false;
        chat::LineBudget budget;
    };

    void enter(Session* session, Member& m);
    void quit(Session* session, Member& m);
    void say(Session* session, Member& m, QByteArrayView body);
    void sendUsers(Session* session);
    void toPresent(const QByteArray& framed, Session* except);
    bool deliver(Session* session, const QByteArray& framed);
    bool namePresent(qint64 participant, const Session* except) const;
    void flushPublic();

    GameServer& m_server;
    QHash<Session*, Member> m_members;
    std::vector<Session*> m_present;   // in the order they entered
    QByteArray m_trades;               // framed, waiting for the commit
    // Public lines of this turn of the event loop, sent as one write per listener.
    std::vector<std::pair<Session*, QByteArray>> m_public;
    QTimer m_publicTimer;
    QTimer m_levelTimer;
    qint64 m_droppedForQueue = 0;
};

} // namespace korvi::server
