#include "presets.h"

#include "numbers.h"
#include "state.h"
#include "textfile.h"

#include <cmath>
#include <limits>

namespace korvi {

namespace {

// Reads items the way the old sequential-input reader did: items end at a comma or a line
// end, blanks around them are skipped, and a text may be quoted.
class ItemReader {
public:
    explicit ItemReader(QByteArrayView data) : m_data(data) {}

    bool atEnd() const { return m_pos >= m_data.size(); }

    QByteArrayView next()
    {
        skipBlanks();
        QByteArrayView item;
        if (m_pos < m_data.size() && m_data[m_pos] == '"') {
            const qsizetype start = ++m_pos;
            while (m_pos < m_data.size() && m_data[m_pos] != '"')
                ++m_pos;
            item = m_data.sliced(start, m_pos - start);
            if (m_pos < m_data.size())
                ++m_pos; // closing quote
            while (m_pos < m_data.size() && !isEnd(m_data[m_pos]))
                ++m_pos; // anything between the quote and the separator is ignored
        } else {
            const qsizetype start = m_pos;
            while (m_pos < m_data.size() && !isEnd(m_data[m_pos]))
                ++m_pos;
            item = m_data.sliced(start, m_pos - start).trimmed();
        }
        skipSeparator();
        return item;
    }

private:
    static bool isEnd(char c) { return c == ',' || c == '\r' || c == '\n'; }
    void skipBlanks()
    {
        while (m_pos < m_data.size() && (m_data[m_pos] == ' ' || m_data[m_pos] == '\t'))
            ++m_pos;
    }
    void skipSeparator()
    {
        if (m_pos >= m_data.size())
            return;
        if (m_data[m_pos] == '\r' && m_pos + 1 < m_data.size() && m_data[m_pos + 1] == '\n')
            m_pos += 2;
        else
            ++m_pos;
    }

    QByteArrayView m_data;
    qsizetype m_pos = 0;
};

// True when the whole item is one number (an empty item reads as 0).
bool isNumberItem(QByteArrayView t)
{
    qsizetype i = 0;
    const qsizetype n = t.size();
    if (i < n && (t[i] == '+' || t[i] == '-'))
        ++i;
    int digits = 0;
    while (i < n && t[i] >= '0' && t[i] <= '9')
        ++i, ++digits;
    if (i < n && t[i] == '.') {
        ++i;
        while (i < n && t[i] >= '0' && t[i] <= '9')
            ++i, ++digits;
    }
    if (n == 0)
        return true;
    if (digits == 0)
        return false;
    if (i < n && (t[i] == 'E' || t[i] == 'e')) {
        ++i;
        if (i < n && (t[i] == '+' || t[i] == '-'))
            ++i;
        int expDigits = 0;
        while (i < n && t[i] >= '0' && t[i] <= '9')
            ++i, ++expDigits;
        if (expDigits == 0)
            return false;
    }
    return i == n;
}

bool readSingle(QByteArrayView item, float& out)
{
    if (!isNumberItem(item))
        return false;
    const double v = readNumber(item);
    if (!std::isfinite(v) || std::fabs(v) > std::numeric_limits<float>::max())
        return false;
    out = static_cast<float>(v);
    return true;
}

} // namespace

int applyPresets(const QByteArray& content, State& state)
{
    ItemReader reader(content);
    int applied = 0;
    while (!reader.atEnd()) {
        const QByteArrayView ticker = reader.next();
        float values[4] = {};
        for (float& v : values) {
            if (reader.atEnd() || !readSingle(reader.next(), v))
                return applied; // a broken record ends the file
        }
        for (int n = 1; n <= state.InstrumentCount; ++n) {
            if (state.Instruments[n].Ticker == ticker) {
                WpvPreset& p = state.WpvPresets[n];
                p.Ticker = ticker.toByteArray();
                p.Wert1 = values[0];
                p.Wert2 = values[1];
                p.Wert3 = values[2];
                p.Wert4 = values[3];
                ++applied;
                break;
            }
        }
    }
    return applied;
}

int InitWPVorgabe(State& state)
{
    QByteArray content;
    if (!readWholeFile(state.filePath(QLatin1String(kPresetFileName)), content))
        return 0;
    return applyPresets(content, state);
}

QByteArray serializePresets(const State& state)
{
    TextFileWriter w;
    for (int n = 1; n <= state.InstrumentCount && size_t(n) < state.WpvPresets.size(); ++n) {
        const WpvPreset& p = state.WpvPresets[n];
        // A ticker with a comma or outer blanks would not read back unquoted.
        const QByteArray& t = p.Ticker;
        if (t.contains(',') || t != t.trimmed() || t.startsWith('"'))
            w.quoted(t);
        else
            w.text(t);
        w.singleNumber(p.Wert1);
        w.singleNumber(p.Wert2);
        w.singleNumber(p.Wert3);
        w.singleNumber(p.Wert4);
    }
    return w.bytes();
}

bool savePresets(const State& state)
{
    if (state.InstrumentCount < 1)
        return true;
    return writeFileAtomically(state.filePath(QLatin1String(kPresetFileName)), serializePresets(state));
}

} // namespace korvi
