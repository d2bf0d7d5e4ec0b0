#include "account.h"

#include "account/statustexts.h"
#include "fields.h"
#include "loglist.h"
#include "market/instruments.h"
#include "numbers.h"
#include "orders/ordergrid.h"
#include "state.h"
#include "textfile.h"

#include <QSet>

namespace korvi {

namespace {

constexpr int kMaxAccountFields = 1000;
constexpr int kMaxPositionFields = 5000;
constexpr int kMaxPlaceFields = 10;
constexpr int kFieldsPerPosition = 5;

// Record 1 of the user table; created when the start-up has not made it yet, so a
// message that arrives early is never lost.
UserRecord& userRecord(State& state)
{
    if (state.users.size() < 2)
        state.users.resize(2);
    return state.users[1];
}

QString number(double value) { return localNumber(value); }

// Reads a number field into `target` through `convert` (the target's range); a value that
// does not fit leaves the target alone and reports false.
template <typename T, typename Convert>
bool readInto(QByteArrayView text, T& target, Convert convert)
{
    const auto v = convert(readNumber(text));
    if (!v)
        return false;
    target = *v;
    return true;
}

} // namespace

QString resultText(float todaysResult, float baseValue)
{
    const float total = baseValue + todaysResult;
    return number(todaysResult) + QStringLiteral(" = ") + number(total);
}

QString placeText(const char* prefix, qint16 place)
{
    if (place == 0)
        return QString();
    if (place == 101)
        return QLatin1String(prefix) + QStringLiteral("> 100");
    return QLatin1String(prefix) + fromWire(writeSingle(place));
}

Account::Account(State& state, StatusTexts& status, LogList& protocol, LogList& outgoing, QObject* parent)
    : QObject(parent), m_state(state), m_status(status), m_protocol(protocol), m_outgoing(outgoing)
{
}

void Account::fail(const char* procedure, const QString& what)
{
    m_protocol.add(QStringLiteral("F:") + QLatin1String(procedure) + QLatin1Char(' ') + what);
}

void Account::WS_SUK(QByteArrayView body)
{
    Fields f;
    f.split(body, kMaxAccountFields, ';');
    for (int i = 1; i <= f.stored(); ++i)
        m_outgoing.add(fromWire(f[i]));

    UserRecord& u = userRecord(m_state);
    // Each figure is its own step: one that does not fit is logged and the others are kept.
    auto take = [&](int field, auto& target, auto convert) {
        if (!readInto(f[field], target, convert))
            fail("WS_SUK", QStringLiteral("Feld %1: ").arg(field) + fromWire(f[field]));
    };
    u.accountStart = f[1].toByteArray();
    u.accountText2 = f[2].toByteArray();
    take(3, u.accountFigure3, toSingle);
    take(4, u.baseValue, toSingle);
    take(5, u.todaysResult, toSingle);
    take(6, u.totalPlace, toInt16);
    take(7, u.dayPlace, toInt16);
    take(8, u.totalMargin, toSingle);

    if (WexAccountPending) {
        WexAccountPending = false;
        if (WexSenddata)
            WexSenddata(QByteArray("\x01@SUK;") + body.toByteArray() + '\x02');
    }
}

void Account::WS_SUD(QByteArrayView body)
{
    UserRecord& u = userRecord(m_state);

    // Today's result and the base value lead the body; the positions follow.
    auto takeField = [](QByteArrayView& rest) {
        const qsizetype p = rest.indexOf(';');
        const QByteArrayView field = p < 0 ? rest : rest.first(p);
        rest = p < 0 ? QByteArrayView() : rest.sliced(p + 1);
        return field;
    };
    QByteArrayView rest = body;
    const QByteArrayView resultField = takeField(rest);
    const QByteArrayView baseField = takeField(rest);
    if (!readInto(resultField, u.todaysResult, toSingle))
        fail("WS_SUD", fromWire(resultField));
    if (!readInto(baseField, u.baseValue, toSingle))
        fail("WS_SUD", fromWire(baseField));

    const QString s = resultText(u.todaysResult, u.baseValue);
    m_status.setLabel2(QStringLiteral("Heute +-: ") + s);
    m_status.setLT1(StatusTexts::kResult, u.todaysResult > 0 ? QStringLiteral("+") + s : s);

    // The instruments that showed a position before: they must be redrawn too when their
    // position is gone, or the grid would keep showing a closed position.
    QSet<int> marked;
    for (int i = 1; i <= m_state.PositionCount && size_t(i) < m_state.positions.size(); ++i)
        marked.insert(m_state.positions[size_t(i)].WPIndex);

    u.positionText = rest.toByteArray();
    LesePositionen(1, false);
    ZeigGLKp();

    m_state.PositionIndex.assign(size_t(qMax(m_state.InstrumentCount, 0)) + 1, 0);
    for (int i = 1; i <= m_state.PositionCount; ++i) {
        const int n = m_state.positions[size_t(i)].WPIndex;
        if (!m_state.instrument(n)) {
            fail("WS_SUD", QStringLiteral("WP %1 unbekannt").arg(n));
            continue;
        }
        m_state.PositionIndex[size_t(n)] = qint16(i);
        marked.insert(n);
    }
    QList<int> changed;
    for (int n = 1; n <= m_state.InstrumentCount; ++n) {
        if (marked.contains(n)) {
            m_state.Instruments[size_t(n)].Geaendert = 1;
            changed.append(n);
        }
    }
    m_state.PositionsReceived = true;
    emit positionsChanged(changed);
}

int Account::LesePositionen(int user, bool show)
{
    m_state.PositionUser = user;
    const QByteArray text = user >= 1 && size_t(user) < m_state.users.size()
                                ? m_state.users[size_t(user)].positionText
                                : QByteArray();
    Fields f;
    const int fields = qMin(f.split(text, kMaxPositionFields, ';'), kMaxPositionFields);
    const int wanted = fields / kFieldsPerPosition;

    // One slot per instrument: a position list longer than that cannot be right, and the
    // surplus is reported instead of read.
    const int capacity = qMax(m_state.InstrumentCount, 0);
    m_state.positions.assign(size_t(capacity) + 1, PositionRecord{});
    m_state.PositionCount = qMin(wanted, capacity);
    for (int i = capacity + 1; i <= wanted; ++i)
        fail("WS_SUD", QStringLiteral("Position %1 ohne Platz (%2 Instrumente)").arg(i).arg(capacity));

    for (int i = 1; i <= m_state.PositionCount; ++i) {
        PositionRecord& p = m_state.positions[size_t(i)];
        const int base = kFieldsPerPosition * (i - 1);
        auto take = [&](int field, auto& target, auto convert) {
            if (!readInto(f[base + field], target, convert))
                fail("WS_SUD", QStringLiteral("Position %1: ").arg(i) + fromWire(f[base + field]));
        };
        take(1, p.Bestand, toInt32);
        take(2, p.MarginS, toSingle);
        take(3, p.SumKost, toSingle);
        take(4, p.SumWert, toSingle);
        take(5, p.WPIndex, toInt16);
    }
    if (show)
        ZeigGLKp();
    return m_state.PositionCount;
}

void Account::ZeigGLKp()
{
    const int user = m_state.PositionUser;
    QByteArray login;
    if (user >= 1 && size_t(user) < m_state.users.size())
        login = m_state.users[size_t(user)].Login;
    // The key holds the password after "%"; the protocol list is on screen, so only the
    // name is written.
    const qsizetype cut = login.indexOf('%');
    if (cut >= 0)
        login.truncate(cut);
    m_protocol.add(QStringLiteral("U:") + fromWire(writeSingle(float(user))) + QLatin1Char(' ') + fromWire(login));

    const int count = qMin<int>(m_state.PositionCount, int(m_state.positions.size()) - 1);
    for (int n = 1; n <= m_state.InstrumentCount; ++n) {
        for (int i = 1; i <= count; ++i) {
            const PositionRecord& p = m_state.positions[size_t(i)];
            if (p.WPIndex != n)
                continue;
            m_protocol.add(QStringLiteral("WP:%1 ").arg(n) + fromWire(m_state.Instruments[size_t(n)].Ticker));
            m_protocol.add(QStringLiteral("Bestand:") + QString::number(p.Bestand));
            m_protocol.add(QStringLiteral("MarginS:") + number(p.MarginS));
            m_protocol.add(QStringLiteral("SumKost:") + number(p.SumKost));
            m_protocol.add(QStringLiteral("SumWert:") + number(p.SumWert));
            m_protocol.add(QString(23, QLatin1Char('-')));
        }
    }
}

void Account::WS_SUP(QByteArrayView body)
{
    Fields f;
    f.split(body, kMaxPlaceFields, ';');
    UserRecord& u = userRecord(m_state);
    if (!readInto(f[1], u.totalPlace, toInt16))
        fail("WS_SUP", fromWire(f[1]));
    if (!readInto(f[2], u.dayPlace, toInt16))
        fail("WS_SUP", fromWire(f[2]));
    if (readInto(f[3], u.totalMargin, toSingle)) {
        // "Mges=" stands in every line with a position: redraw them with the new margin.
        QList<int> lines;
        for (int n = 1; n <= m_state.InstrumentCount; ++n) {
            if (m_state.positionOf(n)) {
                m_state.Instruments[size_t(n)].Geaendert = 1;
                lines.append(n);
            }
        }
        if (!lines.isEmpty())
            emit positionsChanged(lines);
    } else {
        fail("WS_SUP", fromWire(f[3]));
    }
    Zeigposition();
}

void Account::Zeigposition()
{
    const UserRecord& u = userRecord(m_state);
    m_status.setLT1(StatusTexts::kTotalPlace, placeText("TotalPos:", u.totalPlace));
    m_status.setLT1(StatusTexts::kDayPlace, placeText("DayPos:", u.dayPlace));
}

} // namespace korvi
