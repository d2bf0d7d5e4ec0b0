#include "chatservice.h"

#include "framing.h"
#include "gameserver.h"
#include "messages.h"
#include "participantstore.h"
#include "serverlog.h"
#include "session.h"
#include "trading.h"

#include <algorithm>

namespace korvi::server {

ChatService::ChatService(GameServer& server, QObject* parent) : QObject(parent), m_server(server)
{
    m_publicTimer.setSingleShot(true);
    connect(&m_publicTimer, &QTimer::timeout, this, &ChatService::flushPublic);
    connect(&m_levelTimer, &QTimer::timeout, this, &ChatService::checkLevels);
    m_levelTimer.start(kLevelCheckMs);
    connect(&m_switchTimer, &QTimer::timeout, this, &ChatService::checkSwitches);
}

void ChatService::join(Session* session)
{
    Member m;
    m.participant = session->participant().id;
    m.name = session->participant().name;
    m.level = session->participant().level;
    m_members.insert(session, m);
}

void ChatService::leave(Session* session)
{
    const auto it = m_members.find(session);
    if (it == m_members.end())
        return;
    quit(session, *it);
    m_members.erase(it);
    m_wantUsers.remove(session);
    m_waitingSwitch.remove(session);
    // Lines it wrote still go out; only the pointer must not be used again.
    for (auto& [from, framed] : m_public) {
        if (from == session)
            from = nullptr;
    }
}

void ChatService::handle(Session* session, Cmd cmd, QByteArrayView body)
{
    const auto it = m_members.find(session);
    if (it == m_members.end())
        return;
    Member& m = *it;
    if (m.level < 1)
        return; // no chat at all for this participant
    switch (cmd) {
    case Cmd::ChatChannel:
        // "1" on ticking the box, "2" after a new login while it is ticked, "0" on clearing it.
        if (body == "1" || body == "2")
            switchChannel(session, m, true);
        else if (body == "0")
            switchChannel(session, m, false);
        return;
    case Cmd::RequestChatUsers:
        // Built and sent with the next turn's lines; a repeated request meanwhile is the
        // same request.
        m_wantUsers.insert(session);
        if (!m_publicTimer.isActive())
            m_publicTimer.start(0);
        return;
    case Cmd::ChatTo:
        if (body == "1" && m.level >= 2)
            m.trades = true;
        else if (body == "0")
            m.trades = false;
        return;
    case Cmd::Chat:
        say(session, m, body);
        return;
    default:
        return;
    }
}

void ChatService::switchChannel(Session* session, Member& m, bool on)
{
    m.wantsPresent = on;
    if (m.present == on) {
        m_waitingSwitch.remove(session); // back where it stands: nothing to do
        return;
    }
    if (m_waitingSwitch.contains(session))
        return; // the last wish is applied when the budget allows
    if (m.budget.take(m_server.now()) != chat::LineBudget::Verdict::Pass) {
        m_waitingSwitch.insert(session);
        if (!m_switchTimer.isActive())
            m_switchTimer.start(kSwitchCheckMs);
        return;
    }
    on ? enter(session, m) : quit(session, m);
}

void ChatService::enter(Session* session, Member& m)
{
    if (m.present)
        return;
    m.present = true;
    m.enteredAt = m_server.now();
    m_present.push_back(session);
    m_userList.clear();
    // A participant with two connections enters once for the others.
    if (++m_presentConnections[m.participant] != 1)
        return;
    qint64 leftAt = 0;
    if (m_notices.entered(m.participant, &leftAt)) {
        toPresent(frame(chat::userEnters(m.name)), session);
        return;
    }
    // Back before its leave was told: only those who came in meanwhile (and so never saw
    // it present) hear of it.
    const QByteArray framed = frame(chat::userEnters(m.name));
    for (Session* s : m_present) {
        if (s != session && m_members.find(s)->enteredAt >= leftAt)
            deliver(s, framed);
    }
}

void ChatService::quit(Session* session, Member& m)
{
    if (!m.present)
        return;
    m.present = false;
    m_present.erase(std::remove(m_present.begin(), m_present.end(), session), m_present.end());
    m_userList.clear();
    const auto it = m_presentConnections.find(m.participant);
    if (it != m_presentConnections.end() && --*it <= 0) {
        m_presentConnections.erase(it);
        m_notices.left(m.participant, m.name, m_server.now());
        if (!m_switchTimer.isActive())
            m_switchTimer.start(kSwitchCheckMs);
    }
}

void ChatService::checkSwitches()
{
    const qint64 now = m_server.now();
    for (auto it = m_waitingSwitch.begin(); it != m_waitingSwitch.end();) {
        Session* session = *it;
        const auto member = m_members.find(session);
        if (member == m_members.end() || member->present == member->wantsPresent || member->level < 1) {
            it = m_waitingSwitch.erase(it);
            continue;
        }
        if (member->budget.take(now) != chat::LineBudget::Verdict::Pass) {
            ++it;
            continue;
        }
        it = m_waitingSwitch.erase(it);
        member->wantsPresent ? enter(session, *member) : quit(session, *member);
    }
    for (const QByteArray& name : m_notices.due(now))
        toPresent(frame(chat::userLeaves(name)), nullptr);
    if (m_waitingSwitch.isEmpty() && !m_notices.waiting())
        m_switchTimer.stop();
}

const QByteArray& ChatService::userList()
{
    if (m_userList.isEmpty()) {
        std::vector<QByteArray> names;
        QSet<qint64> listed;
        for (Session* s : m_present) {
            const Member& m = m_members.find(s).value();
            if (!listed.contains(m.participant)) {
                listed.insert(m.participant);
                names.push_back(m.name);
            }
        }
        m_userList = frame(chat::userList(names));
    }
    return m_userList;
}

void ChatService::say(Session* session, Member& m, QByteArrayView body)
{
    if (!m.present)
        return; // whoever has the chat off hears no answer, so says nothing either
    switch (m.budget.take(m_server.now())) {
    case chat::LineBudget::Verdict::Pass:
        break;
    case chat::LineBudget::Verdict::DropAndWarn:
        logLine(QStringLiteral("#%1 %2 sends chat lines too fast; dropping")
                    .arg(session->number()).arg(QString::fromLatin1(m.name)));
        deliver(session, frame(chat::kTooFast));
        return;
    case chat::LineBudget::Verdict::Drop:
        return;
    }
    const chat::ChatLine line = chat::parseLine(body);
    const QByteArray text = chat::cleanText(line.text);
    if (text.trimmed().isEmpty())
        return;
    if (!line.isPrivate) {
        m_public.emplace_back(session, frame(chat::chatLine(m.name, text, false)));
        if (!m_publicTimer.isActive())
            m_publicTimer.start(0);
        return;
    }
    const QByteArray framed = frame(chat::chatLine(m.name, text, true));
    bool reached = false;
    for (Session* s : m_present) {
        if (s != session && m_members.value(s).name.compare(line.recipient, Qt::CaseInsensitive) == 0) {
            deliver(s, framed);
            reached = true;
        }
    }
    if (!reached)
        deliver(session, frame(chat::notPresent(chat::cleanText(line.recipient))));
}

void ChatService::flushPublic()
{
    for (Session* s : std::exchange(m_wantUsers, {}))
        deliver(s, userList());
    if (m_public.empty())
        return;
    const auto lines = std::exchange(m_public, {});
    QByteArray all;
    for (const auto& [from, framed] : lines)
        all += framed;
    for (Session* s : m_present) {
        const bool wroteSome = std::any_of(lines.begin(), lines.end(), [s](const auto& l) { return l.first == s; });
        if (!wroteSome) {
            deliver(s, all);
            continue;
        }
        // The writer has its own lines already on screen.
        QByteArray others;
        for (const auto& [from, framed] : lines) {
            if (from != s)
                others += framed;
        }
        if (!others.isEmpty())
            deliver(s, others);
    }
}

void ChatService::toPresent(const QByteArray& framed, Session* except)
{
    for (Session* s : m_present) {
        if (s != except)
            deliver(s, framed);
    }
}

bool ChatService::deliver(Session* session, const QByteArray& framed)
{
    if (session->queuedBytes() > kMaxQueuedBytes) {
        ++m_droppedForQueue;
        return false;
    }
    session->sendFramed(framed, Lane::Bulk);
    return true;
}

void ChatService::execution(const Execution& e)
{
    const auto& definitions = m_server.definitions();
    if (e.instrument < 0 || static_cast<size_t>(e.instrument) >= definitions.size())
        return;
    m_trades += frame(chat::tradeLine(definitions[static_cast<size_t>(e.instrument)].ticker, e.buy, e.quantity, e.price));
}

void ChatService::flushTrades()
{
    if (m_trades.isEmpty())
        return;
    const QByteArray trades = std::exchange(m_trades, {});
    for (auto it = m_members.begin(); it != m_members.end(); ++it) {
        if (it->trades && it->level >= 2)
            deliver(it.key(), trades);
    }
}

void ChatService::checkLevels()
{
    if (m_members.isEmpty())
        return;
    // Levels are read again only after the participants changed.
    const qint64 changes = m_server.store().changeCount();
    if (changes >= 0 && changes == m_participantChanges)
        return;
    m_participantChanges = changes;
    const QHash<qint64, int> levels = m_server.store().levels();
    for (auto it = m_members.begin(); it != m_members.end(); ++it) {
        Member& m = *it;
        const auto found = levels.constFind(m.participant);
        if (found == levels.cend() || *found == m.level)
            continue;
        m.level = *found;
        Session* session = it.key();
        logLine(QStringLiteral("#%1 %2 has chat level %3 now").arg(session->number()).arg(QString::fromLatin1(m.name)).arg(m.level));
        if (m.level < 1)
            quit(session, m);
        if (m.level < 2)
            m.trades = false;
        session->send(msg::level(m.level));
    }
}

} // namespace korvi::server
