#pragma once

#include "app/clientapp.h"
#include "support/liveserver.h"
#include "support/scriptedpeer.h"

#include <QTcpSocket>

namespace korvi::test {

// An outside program on 127.0.0.1: sends bytes and reads Korvi's raw answers.
class Outside {
public:
    bool connectTo(quint16 port)
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
        return waitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; });
    }
    void send(QByteArrayView bytes)
    {
        socket.write(bytes.data(), bytes.size());
        socket.flush();
    }
    // Waits for `count` bytes and takes them.
    QByteArray take(qsizetype count, int ms = 5000)
    {
        waitFor([&] {
            received += socket.readAll();
            return received.size() >= count;
        }, ms);
        const QByteArray out = received.left(count);
        received.remove(0, out.size());
        return out;
    }
    // Everything that arrived within `ms`.
    QByteArray drain(int ms = 200)
    {
        waitFor([&] {
            received += socket.readAll();
            return false;
        }, ms);
        return std::exchange(received, QByteArray());
    }
    bool waitClosed(int ms = 5000)
    {
        return waitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, ms);
    }

    QTcpSocket socket;
    QByteArray received;
};

// A client with three instruments, connected to a scripted game server, its order socket
// listening on a free port.
struct ExternalFixture : ClientFixture {
    State& s = app.state;
    ExternalInterfaces& ext = app.external;
    ScriptedPeer server;

    ExternalFixture() : ClientFixture(Offline)
    {
        app.dispatcher.dispatch("@SI=FDAX;W1;EUR;3800;3799;10;3801;20;Dax Future;25;1;2\n"
                                "FESX;ESX;EUR;50;49;5;51;6;Euro Stoxx;10;0;0\n"
                                "FGBL;BUND;EUR;131;130;0;132;0;Bund;1000;0;0\n");
        s.user().UserKz = "ABC123";
        s.user().LastUserOrderID = 41;
        app.orderGrid.rebuild();
        s.settings.wexPort = "0";
        ext.wex.setTiming({200, 50});
        app.state.ServerAddress = "127.0.0.1";
        app.connection.load(false);
        app.connection.setPortField(QByteArray::number(server.port()));
        app.connection.login();
        waitFor([&] { return app.connection.isConnected(); });
        app.dispatcher.dispatch("@WELCOME"); // orders leave only after the greeting
        ext.wex.Command17_Click();
    }
    quint16 wexPort() const { return app.external.wex.listeningPort(); }

    // The "@PO=" and "@CO=" messages the game server received.
    QByteArrayList orders() const
    {
        QByteArrayList out;
        for (const QByteArray& m : server.received)
            if (m.startsWith("@PO=") || m.startsWith("@CO="))
                out << m;
        return out;
    }
    bool serverGot(QByteArrayView message, int ms = 5000)
    {
        return waitFor([&] { return server.received.contains(message.toByteArray()); }, ms);
    }
};

} // namespace korvi::test
