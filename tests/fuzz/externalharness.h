#pragma once

#include "fuzzclient.h"

#include <QEvent>

// A client with three instruments and an order grid, without a server connection, for
// feeding the external interfaces arbitrary input.
struct ExternalHarness : FuzzClient {
    ExternalHarness()
    {
        setUp = [](korvi::ClientApp& client) {
            korvi::InitUser(client.state);
            client.dispatcher.dispatch("@SI=FDAX;W1;EUR;3800;3799;10;3801;20;Dax Future;25;1;2\n"
                                       "FESX;ESX;EUR;50;49;5;51;6;Euro Stoxx;10;0;0\n"
                                       "FGBL;BUND;EUR;131;130;0;132;0;Bund;1000;0;0\n");
            client.dispatcher.dispatch("@SAO=-5;ORD00005;;BUY ;2;LMT;3700;0;4;0;2;0;093000;093000;;1;0;0;;0;0");
            client.state.user().UserKz = "ABC123";
            client.state.settings.wexPort = "0";
            client.orderGrid.rebuild();
        };
    }
    // The end of a run: the work the handlers posted (message boxes, closing the order
    // socket) runs, then what the refresh tick does, and the prompts' record is emptied.
    // Only posted events run, not timers or sockets: a run then does not depend on the
    // wall clock and costs no system calls. There is no server, so outside orders are
    // refused before they open an entry line; should a line still be left, every line
    // would make the next runs dearer, so the user's "DELETE" click on each clears it and
    // every run starts from the same few lines. The client itself is made anew now and
    // then (FuzzClient::run).
    void settle()
    {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        korvi::ClientApp& c = client();
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
};
