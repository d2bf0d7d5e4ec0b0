#include "gridlayout.h"

namespace korvi {

int GridLayout::logicalColumn(LineType type, int gridColumn) const
{
    for (int c = 1; c < kColumns; ++c) {
        if (spalte[type][c] == gridColumn && gridColumn != 0)
            return c;
    }
    return 0;
}

GridLayout orderGridLayout(const ColourTable& colours)
{
    static const char* const kInstrumentCaptions[] = {
        "", "TICKER", "B\xf6rse", "Name", "Stck", "Preis", "G/V", "BidVol", "Bid", "Ask", "Askvol",
        "Letzter", "Zeit", "DEFAULT", "Bestand", "G/V", "MarginWP", "Bracket", "", "", ""};
    static const char* const kOrderCaptions[] = {
        "", "Ticker", "OrderID", "OrderUserID", "gilt", "B/S", "Stck", "Limit1", "Limit2", "Typ",
        "TRANS", "CANCEL", "Status", "St.Zeit", "Filled/Rem.", "Preis", "Margin", "Br.OrderId",
        "EOD/GTC", "", ""};
    GridLayout l;
    for (int c = 0; c < GridLayout::kColumns; ++c) {
        l.header[InstrumentLineType][c] = QString::fromLatin1(kInstrumentCaptions[c]);
        l.header[OrderLineType][c] = QString::fromLatin1(kOrderCaptions[c]);
        l.spalte[InstrumentLineType][c] = c >= 1 && c <= 17 ? c : 0;
        l.spalte[OrderLineType][c] = c >= 1 && c <= 18 ? c : 0;
        l.farbe[InstrumentLineType][c] = colours[OG_WPZeile];
        l.farbe[OrderLineType][c] = colours[c % 2 == 1 ? OG_OrderzeileB : OG_OrderzeileA];
    }
    l.farbe[InstrumentLineType][C_Bid] = colours[OG_Bid];
    l.farbe[InstrumentLineType][C_Ask] = colours[OG_Ask];
    l.farbe[InstrumentLineType][C_Bestand] = colours[OG_Bestand];
    l.farbe[OrderLineType][O_TRANS] = colours[OG_TRANS];
    l.farbe[OrderLineType][O_CANCEL] = colours[OG_CANCEL];
    l.textColour = colours[OG_Schrift];
    return l;
}

GridLayout executionGridLayout(const ColourTable& colours)
{
    static const char* const kCaptions[] = {
        "", "-", "Aktion", ("St\xfc" "ck"), "Ticker", "Lumticker", "Name", "Preis", "Summe",
        "W\xe4hrung", "Zeit", "ExID", "OrderID", "Commissions", "Gewinn", "Ergebnis", "", "", "", "", ""};
    GridLayout l;
    for (int c = 0; c < GridLayout::kColumns; ++c) {
        for (int half = 0; half < 2; ++half) {
            l.header[half][c] = QString::fromLatin1(kCaptions[c]);
            l.spalte[half][c] = c >= 1 && c <= 15 ? c : 0;
            l.farbe[half][c] = colours[c % 2 == 1 ? EG_ZeileB : EG_ZeileA];
        }
    }
    l.textColour = colours[EG_Schrift];
    return l;
}

} // namespace korvi
