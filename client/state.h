#pragma once

#include "colours.h"
#include "settings.h"
#include "orders/ordertables.h"
#include "account/executiontable.h"
#include "market/instruments.h"
#include "market/pricefiles.h"
#include "market/pricehistory.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace korvi {

// The participant's account record. Record 1 of the user table is the only one used.
struct UserRecord {
    QByteArray Login;                  // user name, "%", password
    QByteArray UserKz = QByteArray(6, ' '); // short id, six characters blank-padded
    QByteArray accountStart;           // YYYYMMDD
    float accountFigure3 = 0;
    QByteArray accountText2;
    float baseValue = 0;
    qint32 LastUserOrderID = 0;
    QByteArray positionText;
    float totalMargin = 0;
    float todaysResult = 0;
    qint16 totalPlace = 0;
    qint16 dayPlace = 0;
};

// One holding of the participant.
struct PositionRecord {
    qint16 WPIndex = 0;
    qint32 Bestand = 0;
    float MarginS = 0;
    float SumKost = 0;
    float SumWert = 0;
};

// The program-wide tables and values, created once at start-up and handed to the parts
// that need them. Tables are 1-based in the protocol; the vectors here keep slot 0 unused
// where that keeps the numbering of the messages.
struct State {
    // Working folder: every file of the client lives here.
    QString workDir;
    // The program's start arguments joined by blanks ("IP1".."IP3", "IPTEST").
    QString startOption;

    // Login values.
    QByteArray ServerAddress;           // the host
    QByteArray ServerPort;              // the port of the settings, empty: the standard one
    QByteArray serverForThisRun;        // "--server HOST[:PORT]", not saved
    QByteArray UserName;
    QByteArray UserPassword;
    qint16 GameEdition = 0;

    Settings settings;

    // Number of instruments of the last instrument list; prices are applied only above 0.
    int InstrumentCount = 0;
    // The instrument table and the presets, both 1-based (slot 0 unused).
    std::vector<InstrumentRecord> Instruments;
    std::vector<WpvPreset> WpvPresets;
    // Per position of the server's code list: the instrument with that Lumticker, or 0.
    std::vector<qint16> ServerCodes; // 1-based
    PriceHistory priceHistory;
    PriceFileBook priceFiles;
    // Raised by the first price update; the periodic refresh runs only from then on.
    bool PricesChanged = false;

    // User table: index 0 is unused, record 1 is the participant's.
    std::vector<UserRecord> users;
    UserRecord& user() { return users.at(1); }

    std::vector<PositionRecord> positions; // 1-based, slot 0 unused
    int PositionCount = 0;
    std::vector<qint16> PositionIndex;     // per instrument number
    bool PositionsReceived = false;
    int PositionUser = 1;

    // Orders, entry lines and the order grid's row map.
    OrderBook book;
    // Executions and the execution grid's row map.
    ExecutionBook executions;
    // The colours of both grids.
    ColourTable colours;

    // Instrument n, or null outside 1..InstrumentCount.
    InstrumentRecord* instrument(int n)
    {
        return n >= 1 && n <= InstrumentCount && size_t(n) < Instruments.size() ? &Instruments[n] : nullptr;
    }
    // The position of instrument n, or null when it has none.
    PositionRecord* positionOf(int n)
    {
        if (n < 1 || size_t(n) >= PositionIndex.size())
            return nullptr;
        const int p = PositionIndex[n];
        return p >= 1 && p <= PositionCount && size_t(p) < positions.size() ? &positions[p] : nullptr;
    }

    QString filePath(const QString& name) const;
};

// "NewLine" of the text-building code.
inline constexpr const char* NewLine = "\r\n";

// "InitUser": one empty record whose key is the user name and password.
void InitUser(State& state);
// Rebuilds the user key after the name or password changed.
void updateUserKey(State& state);

} // namespace korvi
