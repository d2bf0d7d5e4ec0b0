#pragma once

#include <QByteArrayView>
#include <vector>

namespace korvi {

// The shared field splitter. Pieces are numbered from 1; a trailing separator adds no
// empty piece, an empty text gives none, and pieces beyond the maximum are counted but
// not kept. The pieces are views into the text, so the text must outlive them. An object
// can be reused for many splits without allocating again.
class Fields {
public:
    // Cuts `text` at `separator`; returns the piece count (which may exceed `maximum`).
    int split(QByteArrayView text, int maximum, QByteArrayView separator);
    int split(QByteArrayView text, int maximum, char separator)
    {
        return split(text, maximum, QByteArrayView(&separator, 1));
    }

    // Piece i (1-based); empty for pieces beyond the maximum or the count.
    QByteArrayView operator[](int i) const
    {
        return i >= 1 && i <= static_cast<int>(m_pieces.size()) ? m_pieces[i - 1] : QByteArrayView();
    }
    int count() const { return m_count; }
    // How many pieces are stored: the count, capped at the maximum.
    int stored() const { return static_cast<int>(m_pieces.size()); }

private:
    std::vector<QByteArrayView> m_pieces;
    int m_count = 0;
};

} // namespace korvi
