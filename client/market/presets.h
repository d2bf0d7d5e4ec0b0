#pragma once

#include <QByteArray>
#include <QString>

namespace korvi {

struct State;

inline constexpr const char* kPresetFileName = "Korvi.wpv";

// Applies the records of a preset file to the preset table: groups of a ticker and four
// numbers, each preset going to the first instrument with exactly that ticker. Records of
// tickers not in the table are dropped; a record whose values are not numbers ends the
// reading, keeping what was read before. Returns the number of presets applied.
int applyPresets(const QByteArray& content, State& state);

// "InitWPVorgabe": reads "Korvi.wpv" of the working folder; a missing file loads nothing.
int InitWPVorgabe(State& state);

// The preset file for the current instrument table: five CR LF lines per instrument.
QByteArray serializePresets(const State& state);

// Writes "Korvi.wpv". Without an instrument table nothing is written, so the presets of
// the last run survive a session that never received its instruments.
bool savePresets(const State& state);

} // namespace korvi
