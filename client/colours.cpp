#include "colours.h"

#include "numbers.h"
#include "textfile.h"

#include <QDir>

namespace korvi {

namespace {

struct Named {
    const char* name; // single-byte text
    Colour colour;
};

constexpr Named kNamedColours[ColourTable::kNamed] = {
    {"OG:WP-Zeile", 16776960},        {"OG:Bid", 65535},
    {"OG:Ask", 65535},                {"OG:Bestand", 16711680},
    {"OG:Orderzeile A", 12632256},    {"OG:Orderzeile B", 11579568},
    {"OG:TRANS", 16776960},           {"OG:CANCEL", 255},
    {"OG:CLEAR", 255},                {"OG:Trennzeile", 0},
    {"OG:Schrift", 12632256},         {"EG:Zeile A", 11579568},
    {"EG:Zeile B", 0},                {"EG:Schrift", 12632256},
    {"EG:Trennzeile", 16776960},      {"OG:BracketMain", 16776960},
    {"OG:BracketChildCold", 16776960}, {"OG:BracketChildHot", 16776960},
};

} // namespace

void ColourTable::setDefaults()
{
    for (int n = 1; n <= kNamed; ++n)
        m_colours[n] = kNamedColours[n - 1].colour;
}

QString ColourTable::name(int n)
{
    return n >= 1 && n <= kNamed ? QString::fromLatin1(kNamedColours[n - 1].name) : QString();
}

void ColourTable::load(const QString& folder, const QString& fileName)
{
    QByteArray content;
    if (fileName.isEmpty() || !isPlainFileName(toWire(fileName)) ||
        !readWholeFile(findNoCase(folder, fileName), content)) {
        setDefaults();
        m_file = QStringLiteral("korvi.col");
        return;
    }
    parse(content);
    m_file = fileName;
}

void ColourTable::parse(const QByteArray& content)
{
    TextFileReader reader(content);
    double value = 0;
    for (int n = 1; n < kSize && reader.number(value); ++n) {
        // A value that is no colour leaves the entry as it was.
        if (value >= 0 && value <= 0xFFFFFFFFu)
            m_colours[n] = static_cast<Colour>(value);
    }
}

QByteArray ColourTable::serialize() const
{
    TextFileWriter w;
    for (int n = 1; n <= 30; ++n)
        w.integer(m_colours[n]);
    return w.bytes();
}

bool ColourTable::save(const QString& folder) const
{
    const QString file = m_file.isEmpty() ? QStringLiteral("Korvi.col") : m_file;
    if (!isPlainFileName(toWire(file)))
        return false;
    return writeFileAtomically(findNoCase(folder, file), serialize());
}

} // namespace korvi
