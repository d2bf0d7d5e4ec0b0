#pragma once

#include "colours.h"

#include <QString>
#include <array>

namespace korvi {

// Logical columns of the order grid. Instrument lines and order lines give the same
// column number different meanings.
enum WpColumn : int {
    C_TICKER = 1, C_Boerse, C_Name, C_Stck, C_Preis, C_GV6, C_BidVol, C_Bid, C_Ask, C_Askvol,
    C_Letzter, C_Zeit, C_DEFAULT, C_Bestand, C_GV15, C_MarginWP, C_Bracket
};
enum OrderColumn : int {
    O_Ticker = 1, O_OrderID, O_OrderUserID, O_gilt, O_BS, O_Stck, O_Limit1, O_Limit2, O_Typ,
    O_TRANS, O_CANCEL, O_Status, O_StZeit, O_FilledRem, O_Preis, O_Margin, O_BrOrderId, O_EODGTC
};

// Which half of the column tables a row uses.
enum LineType : int { InstrumentLineType = 0, OrderLineType = 1 };

// The column model of a grid: two captions per column, the grid column each logical
// column is drawn in (0: not drawn) and its cell colour, per line type.
struct GridLayout {
    static constexpr int kColumns = 21;
    std::array<std::array<QString, kColumns>, 2> header;
    std::array<std::array<int, kColumns>, 2> spalte{};
    std::array<std::array<Colour, kColumns>, 2> farbe{};
    Colour textColour = 0;

    // The logical column drawn in grid column `gridColumn` for a line type, or 0.
    int logicalColumn(LineType type, int gridColumn) const;
};

// "InitGridLayout" for the order grid and the execution grid.
GridLayout orderGridLayout(const ColourTable& colours);
GridLayout executionGridLayout(const ColourTable& colours);

} // namespace korvi
