#include "instrumenttable.h"

#include "loglist.h"
#include "numbers.h"
#include "pricefiles.h"
#include "presets.h"
#include "state.h"
#include "textfile.h"

#include <limits>

namespace korvi {

namespace {

float single(QByteArrayView text) { return toSingle(readNumber(text)).value_or(0.0f); }

} // namespace

void InstrumentTable::WS_SI(QByteArrayView body)
{
    const int pieces = m_lines.split(body, kMaxInstruments, '\n');
    const int count = m_lines.stored();
    if (pieces > count)
        m_protocol.add(QStringLiteral("F:WS_SI ") + QString::number(pieces) +
                       QStringLiteral(" Instrumente, nur die ersten ") + QString::number(count) +
                       QStringLiteral(" übernommen"));

    for (int n = 1; n <= count; ++n)
        m_outgoing.add(fromWire(m_lines[n]));

    m_state.InstrumentCount = count;
    m_state.Instruments.assign(size_t(count) + 1, InstrumentRecord{});
    m_state.PositionIndex.assign(size_t(count) + 1, 0);
    m_state.WpvPresets.assign(size_t(count) + 1, WpvPreset{});

    for (int n = 1; n <= count; ++n) {
        m_fields.split(m_lines[n], 1000, ';');
        InstrumentRecord& r = m_state.Instruments[n];
        r.Ticker = m_fields[1].toByteArray();
        r.Lumticker = m_fields[2].toByteArray();
        r.Waehrung = m_fields[3].toByteArray();
        r.Letzter = single(m_fields[4]);
        r.Bid = single(m_fields[5]);
        r.BidVol = toInt32(readNumber(m_fields[6])).value_or(0);
        r.Ask = single(m_fields[7]);
        r.AskVol = toInt32(readNumber(m_fields[8])).value_or(0);
        r.Name = m_fields[9].toByteArray();
        r.Faktor = single(m_fields[10]);
        r.Extra11 = single(m_fields[11]);
        r.Extra12 = single(m_fields[12]);
        m_state.WpvPresets[n].Ticker = r.Ticker;
    }

    // The history follows every list that names instruments: each instrument keeps its
    // snapshots under its new number, and instruments new to the run get a row (from their
    // price file, if any). An empty list leaves it as it is.
    if (count > 0) {
        std::vector<QByteArray> tickers(size_t(count) + 1);
        for (int n = 1; n <= count; ++n)
            tickers[n] = m_state.Instruments[n].Ticker;
        for (const QString& line :
             InitKurse(m_state.priceHistory, tickers, m_state.workDir, m_state.priceFiles))
            m_protocol.add(line);
    }

    InitWPVorgabe(m_state);
    if (buildOrderGrid)
        buildOrderGrid();
}

void InstrumentTable::InitTabelle(QByteArrayView list)
{
    Fields codes;
    const int count = codes.split(list, std::numeric_limits<int>::max(), ';');
    m_state.ServerCodes.assign(size_t(count) + 1, 0);
    for (int j = 1; j <= count; ++j) {
        for (int n = 1; n <= m_state.InstrumentCount; ++n) {
            if (m_state.Instruments[n].Lumticker == codes[j]) {
                m_state.ServerCodes[j] = static_cast<qint16>(n);
                break;
            }
        }
    }
}

} // namespace korvi
