#pragma once

#include <QByteArrayView>
#include <functional>

namespace korvi {

class Clock;
class Connection;
class LogList;
class Sound;

// The server's control lines ("!;ID", "!;USER", "!;T;", "!;MULTI;", "!;HB", "!;EXIT") and
// the client's replies. Each line runs every test in turn; "!;EXIT" matches only itself.
class ControlLines {
public:
    ControlLines(Connection& connection, LogList& incoming, LogList& protocol, Sound& sound,
                 Clock& clock)
        : m_connection(connection), m_incoming(incoming), m_protocol(protocol), m_sound(sound),
          m_clock(clock)
    {
    }

    // Ends the program at once, without writing anything.
    std::function<void()> exitNow;
    // Builds the server code table from the text of a "!;T;" line.
    std::function<void(QByteArrayView)> initTabelle;

    void handle(QByteArrayView line);

private:
    Connection& m_connection;
    LogList& m_incoming;
    LogList& m_protocol;
    Sound& m_sound;
    Clock& m_clock;
};

} // namespace korvi
