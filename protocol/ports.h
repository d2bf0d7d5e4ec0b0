#pragma once

#include <QString>
#include <QtGlobal>

namespace korvi {

// The ports the programs of this project listen on by default. No two are the same, so
// a game server and a client started on one machine with their defaults both listen.
inline constexpr quint16 kGamePort = 4100;        // korvi-server: participants (--port)
inline constexpr quint16 kAddressPagePort = 8100; // korvi-server: address pages (--http-port)
inline constexpr quint16 kOrderSocketPort = 4101; // the client's order socket (line 22), korvi-remote

// For a port that could not be had: who usually listens there and what moves it, in the
// client's language; empty for a port none of these programs uses by default.
QString usualPortHolderGerman(quint16 port);
// The same in the server's language.
QString usualPortHolderEnglish(quint16 port);

} // namespace korvi
