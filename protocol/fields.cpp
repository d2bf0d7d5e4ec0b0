#include "fields.h"

namespace korvi {

int Fields::split(QByteArrayView text, int maximum, QByteArrayView separator)
{
    m_pieces.clear();
    m_count = 0;
    if (maximum < 0)
        maximum = 0;
    qsizetype a = 0;
    if (!separator.isEmpty()) {
        for (;;) {
            const qsizetype p = text.indexOf(separator, a);
            if (p < 0)
                break;
            if (++m_count <= maximum)
                m_pieces.push_back(text.sliced(a, p - a));
            a = p + separator.size();
        }
    }
    if (a < text.size()) {
        if (++m_count <= maximum)
            m_pieces.push_back(text.sliced(a));
    }
    return m_count;
}

} // namespace korvi
