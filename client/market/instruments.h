#pragma once

#include <QByteArray>
#include <cmath>
#include <limits>
#include <optional>

namespace korvi {

// One tradable instrument of the current game. Its number is its position in the table.
struct InstrumentRecord {
    QByteArray Lumticker; // code by which the outside trading program names it
    QByteArray Ticker;    // key of the presets in "Korvi.wpv"
    QByteArray Name;
    QByteArray Waehrung;
    float Extra11 = 0;
    float Letzter = 0;
    qint32 Umsatz = 0; // no message sets it; it only takes part in the history comparison
    float Bid = 0;
    qint32 BidVol = 0;
    float Ask = 0;
    qint32 AskVol = 0;
    qint16 Geaendert = 0; // set by price updates, cleared by the periodic redraw
    float Faktor = 0;
    float Extra12 = 0;
};

// The bracket presets of one instrument, kept in "Korvi.wpv".
struct WpvPreset {
    QByteArray Ticker;
    float Wert1 = 0;
    float Wert2 = 0;
    float Wert3 = 0;
    float Wert4 = 0;
};

// More lines than this in one instrument list are not taken: the field splitter keeps no
// more, and every table sized by the instrument count stays bounded.
inline constexpr int kMaxInstruments = 1000;

// A number stored as a single: values beyond its range (and NaN) do not fit, which fails
// the step that stores them.
inline std::optional<float> toSingle(double value)
{
    if (!(std::fabs(value) <= std::numeric_limits<float>::max()))
        return std::nullopt;
    return static_cast<float>(value);
}

} // namespace korvi
