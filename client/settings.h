#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include "ports.h"

namespace korvi {

// The values of the settings file "Korvi.Ini", in the order of its 24 lines. Texts are
// kept as the single-byte text of the file.
struct Settings {
    QByteArray userName;          // 1
    QByteArray serverAddress;     // 2
    qint16 ipCheck = 0;           // 3, the connection window's "IP" box, written back as read
    QByteArray reserved4;         // 4
    QByteArray reserved5;         // 5
    qint16 reserved6 = 0;         // 6
    QByteArray orderGridWidths;   // 7, " 1200; 800; ..." or empty
    QByteArray execGridWidths;    // 8
    float width = 0;              // 9-12, twips; applied only when above 0
    float height = 0;
    float top = 0;
    float left = 0;
    qint16 zeigeAlleOrders = 0;   // 13
    QByteArray password;          // 14
    QByteArray colourFile;        // 15
    qint16 safetyQuestion = 1;    // 16
    qint16 chatSound = 1;         // 17
    QByteArray chatSoundFile = "1.wav"; // 18
    qint16 fennixExtern = 0;      // 19
    qint16 asciiRemote = 0;       // 20
    qint16 executionSound = 1;    // 21
    QByteArray wexPort = QByteArray::number(kOrderSocketPort); // 22, not the game port
    QByteArray wexUser = "ZAQR";  // 23
    QByteArray wexIp;             // 24, the local address when missing
};

// Reads the lines of a settings file over `s`; values missing at the end of the file keep
// what `s` held, and empty lines 22 to 24 are not applied. Returns false for no content.
bool parseSettings(const QByteArray& content, Settings& s);
// All 24 lines, CR LF.
QByteArray serializeSettings(const Settings& s);

// "LoadInit" and "SaveInit" on the file of the working folder (the name in any case).
bool loadSettingsFile(const QString& folder, Settings& s);
bool saveSettingsFile(const QString& folder, const Settings& s);

inline constexpr const char* kSettingsFileName = "Korvi.Ini";

// The server address of line 2: a host, or a host ":" a port. As on the address pages, the
// text before the first ":" is the host and the text after it, blanks trimmed, the port;
// without ":" there is no port (the port field keeps its standard 4100).
struct HostAndPort {
    QByteArray host;
    QByteArray port;
    bool operator==(const HostAndPort&) const = default;
};
inline constexpr const char* kStandardServerPort = "4100";
HostAndPort splitServerAddress(QByteArrayView text);
// The form line 2 keeps: the host alone for the standard port (what older files hold),
// otherwise host ":" port.
QByteArray joinServerAddress(const QByteArray& host, const QByteArray& port);
// Line 2 as it is written at the end: the address in use, unless that is still the one
// given for this run only (`runOnly`, from "--server"); then the line stays as it was read.
QByteArray serverAddressToSave(const QByteArray& read, const QByteArray& runOnly, const HostAndPort& inUse);

// Column widths of a grid as the settings file keeps them: " 1200; 800; 15", each width
// with its leading blank, joined by ";".
QByteArray formatColumnWidths(const QList<int>& widths);
QList<int> parseColumnWidths(QByteArrayView text);

} // namespace korvi
