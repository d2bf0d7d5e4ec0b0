#pragma once

#include "fuzzclient.h"

#include <QEvent>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

// A client with three instruments and an order grid, connected and greeted, for feeding
// the external interfaces arbitrary input: outside orders are opened, numbered and sent.
// The game connection goes to a listener of the harness on 127.0.0.1; its far end only
// swallows what the client sends.
struct ExternalHarness : FuzzClient {
    ExternalHarness()
    {
        m_listener.listen(QHostAddress::LocalHost, 0);
        setUp = [this](korvi::ClientApp& client) {
            korvi::InitUser(client.state);
            client.dispatcher.dispatch("@SI=FDAX;W1;EUR;3800;3799;10;3801;20;Dax Future;25;1;2\n"
                                       "FESX;ESX;EUR;50;49;5;51;6;Euro Stoxx;10;0;0\n"
                                       "FGBL;BUND;EUR;131;130;0;132;0;Bund;1000;0;0\n");
            client.dispatcher.dispatch("@SAO=-5;ORD00005;;BUY ;2;LMT;3700;0;4;0;2;0;093000;093000;;1;0;0;;0;0");
            client.state.user().UserKz = "ABC123";
            client.state.settings.wexPort = "0";
            client.orderGrid.rebuild();
            goOnline(client);
        };
    }
    // The end of a run: the work the handlers posted (message boxes, closing the order
    // socket) runs, then what the refresh tick does, and the prompts' record is emptied.
    // Only posted events run, not timers or sockets: a run then does not depend on the
    // wall clock. What the run sent is handed to the system and read away at the far end
    // (a few system calls, none when nothing was sent), so no buffer grows. Sent orders
    // keep only their order numbers; an entry line still left (refused or not sent) would
    // make every next run dearer, so the user's "DELETE" click on each clears it and every
    // run starts from the same few lines. Should the input have dropped the connection, the client connects and is
    // greeted again. The client itself is made anew now and then (FuzzClient::run).
    void settle()
    {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        korvi::ClientApp& c = client();
        if (c.connection.flush())
            drainFarEnd();
        if (!c.connection.canTrade())
            goOnline(c);
        c.refreshGrids();
        const korvi::OrderBook& book = c.state.book;
        const int deleteColumn = c.orderGrid.gridColumn(korvi::OrderLineType, korvi::O_CANCEL);
        for (int row = book.OGRowMap.count(); row >= 2; --row) {
            if (row <= book.OGRowMap.count() && book.OGRowMap[row].Art == korvi::EntryLine) {
                c.orderGrid.cells.setCurrent(row, deleteColumn);
                c.orderEntry.OGAktion();
            }
        }
        prompts.messages.clear();
        prompts.questions.clear();
    }

private:
    // Connects the client to the listener and greets it, the way the server would. The
    // only place the event loop runs: once per client, or after the input dropped the
    // connection.
    void goOnline(korvi::ClientApp& client)
    {
        m_farEnd.reset();
        while (m_listener.hasPendingConnections())
            delete m_listener.nextPendingConnection();
        client.connection.setPortField(QByteArray::number(m_listener.serverPort()));
        client.connection.connectwinsock("127.0.0.1");
        for (int i = 0; i < 1000 && !(client.connection.isConnected() && m_listener.hasPendingConnections()); ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            m_listener.waitForNewConnection(5);
        }
        m_farEnd.reset(m_listener.nextPendingConnection());
        if (!m_farEnd || !client.connection.isConnected()) {
            std::fprintf(stderr, "externalharness: no game connection on 127.0.0.1\n");
            std::abort();
        }
        client.dispatcher.dispatch("@WELCOME");
    }

    // Reads and throws away what reached the far end (its socket does not block).
    void drainFarEnd()
    {
        const auto fd = static_cast<int>(m_farEnd->socketDescriptor());
        char sink[16384];
        while (::read(fd, sink, sizeof sink) > 0) {
        }
    }

    QTcpServer m_listener;
    std::unique_ptr<QTcpSocket> m_farEnd;
};
