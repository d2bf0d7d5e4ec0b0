#pragma once

#include <QString>
#include <array>

namespace korvi {

// A colour as the colour files keep it: red + 256 * green + 65536 * blue.
using Colour = quint32;
constexpr Colour rgb(int r, int g, int b) { return Colour(r) | Colour(g) << 8 | Colour(b) << 16; }

// The named entries of the colour table, by their number.
enum ColourName : int {
    OG_WPZeile = 1, OG_Bid, OG_Ask, OG_Bestand, OG_OrderzeileA, OG_OrderzeileB, OG_TRANS,
    OG_CANCEL, OG_CLEAR, OG_Trennzeile, OG_Schrift, EG_ZeileA, EG_ZeileB, EG_Schrift,
    EG_Trennzeile, OG_BracketMain, OG_BracketChildCold, OG_BracketChildHot
};

// The 101 colours (0 to 100) the grids are painted with; entries 1 to 18 are named.
class ColourTable {
public:
    static constexpr int kSize = 101;
    static constexpr int kNamed = 18;

    ColourTable() { setDefaults(); }

    Colour operator[](int n) const { return n >= 0 && n < kSize ? m_colours[n] : 0; }
    void set(int n, Colour c)
    {
        if (n >= 0 && n < kSize)
            m_colours[n] = c;
    }
    void setDefaults();

    // The names of entries 1 to 18, as the colour list shows them.
    static QString name(int n);

    // "LoadColors": reads the file of the working folder into entries 1 on (at most 100);
    // a missing file sets the defaults and makes "korvi.col" the current file. The name is
    // looked up without regard to case, and saving writes to the file found.
    void load(const QString& folder, const QString& fileName);
    // "SaveColors": writes entries 1 to 30 to the current file.
    bool save(const QString& folder) const;
    const QString& currentFile() const { return m_file; }
    void setCurrentFile(const QString& name) { m_file = name; }

    QByteArray serialize() const;
    void parse(const QByteArray& content);

private:
    std::array<Colour, kSize> m_colours{};
    QString m_file = QStringLiteral("korvi.col");
};

} // namespace korvi
