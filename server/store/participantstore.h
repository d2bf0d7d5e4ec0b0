#pragma once

#include "passwordhash.h"

#include <QByteArray>
#include <QVariant>
#include <QHash>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace korvi::server {

// One participant of the game as the store keeps it. Texts are single-byte (Latin-1),
// exactly as they travel on the wire.
struct Participant {
    qint64 id = 0;
    QByteArray name;
    QByteArray shortId;        // 6 characters, unique, part of statement file names
    int level = 1;             // 0 no chat and no places shown, 1 chat, 2 trades feed
    bool blocked = false;
    QByteArray accountStart;   // "YYYYMMDD"
    QByteArray accountText;
    double accountFigure3 = 0;
    double baseValue = 0;
    double todayResult = 0;
    double totalMargin = 0;
    qint16 totalPlace = 0;
    qint16 dayPlace = 0;
    qint32 lastOrderId = 0;
};

// The participants of the game in an SQLite database in the data folder. Every change is
// committed before the call returns, so a killed server loses nothing it confirmed.
// Readers always go to the database, so the command-line administration takes effect at
// the next login even while the server runs.
class ParticipantStore {
public:
    enum class Login { Ok, WrongPassword, Blocked };

    ParticipantStore();
    ~ParticipantStore();
    ParticipantStore(const ParticipantStore&) = delete;
    ParticipantStore& operator=(const ParticipantStore&) = delete;

    // Rounds of the hashes written from now on; set it before open().
    void setHashIterations(int iterations) { m_hashIterations = iterations; }
    int hashIterations() const { return m_hashIterations; }

    // Opens (and on the first use creates) the database in `folder`. A new database holds
    // no participant: nobody can log in until the operator adds one.
    bool open(const QString& folder, QString& error);
    bool createdNow() const { return m_createdNow; }

    // A name is 1 to 30 printable characters without ";" "%" or blanks at either end;
    // a password 1 to 60 printable characters. Names compare without regard to case.
    static bool validName(const QByteArray& name, QString& error);
    static bool validPassword(const QByteArray& password, QString& error);

    bool add(const QByteArray& name, const QByteArray& password, QString& error);
    // Adds many participants in one transaction (all or none); for load tests and imports.
    bool addMany(const std::vector<std::pair<QByteArray, QByteArray>>& namesAndPasswords, QString& error);
    // The same with password hashes made beforehand (hashPassword), e.g. on many threads.
    bool addHashed(const std::vector<std::pair<QByteArray, QByteArray>>& namesAndHashes, QString& error);
    bool setBlocked(const QByteArray& name, bool blocked, QString& error);
    bool setLastOrderId(qint64 id, qint32 lastOrderId, QString& error);
    // The chat level: 0 no chat, 1 chat, 2 and above chat and the trades feed.
    static constexpr int kMaxLevel = 32767;
    bool setLevel(const QByteArray& name, int level, QString& error);
    // A new password, stored with the current hash strength.
    bool setPassword(const QByteArray& name, const QByteArray& password, QString& error);
    // Removes a participant with its orders, executions, positions and day books. Without
    // `force` it is refused while the participant has open orders or positions.
    bool remove(const QByteArray& name, bool force, QString& error);

    std::optional<Participant> find(const QByteArray& name) const;
    std::vector<Participant> list() const;
    qint64 count() const;
    // The ids of the blocked participants, so a running game can send them away.
    QSet<qint64> blockedIds() const;
    // Every participant's stored password hash, by name: a change shows a new password.
    QHash<QByteArray, QByteArray> passwordHashes() const;
    // A number that grows with every change of a name, password, block or level (by this process
    // or another, such as an administration command); -1 when it cannot be read. A server
    // that polls for such changes looks at the participants only when it moved.
    qint64 changeCount() const;
    // Every participant's level by id, so a running game can pass changes on.
    QHash<qint64, int> levels() const;

    // Checks a login. A wrong password and an unknown name look the same to the caller and
    // take the same time; a blocked participant is reported only with the right password.
    Login checkLogin(const QByteArray& name, const QByteArray& password, Participant& out) const;

    // The stored password hash of a participant, for a check away from the caller's
    // thread; none for an unknown name (check against dummyHash() then, to take the same time).
    std::optional<QByteArray> passwordHash(const QByteArray& name) const;
    const QByteArray& dummyHash() const { return m_dummyHash; }
    // Replaces a stored hash, e.g. by one with more rounds after a good login.
    bool setPasswordHash(qint64 id, const QByteArray& hash, QString& error);

private:
    bool updateByName(const QString& column, const QVariant& value, const QByteArray& name, QString& error);
    bool createSchema(QString& error);
    bool ensureChangeCount(QString& error);
    bool inTransaction(QString& error, const std::function<bool()>& work);
    bool insert(const QByteArray& name, const QByteArray& password, QString& error);
    bool insertHashed(const QByteArray& name, const QByteArray& hash, QString& error);

    QString m_connection;
    bool m_createdNow = false;
    QByteArray m_dummyHash; // checked against for unknown names, to take the same time
    int m_hashIterations = kDefaultIterations;
};

} // namespace korvi::server
