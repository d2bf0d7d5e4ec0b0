#include "elidedlabel.h"

#include <QResizeEvent>

namespace korvi {

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
}

void ElidedLabel::setFullText(const QString& text)
{
    QString kept = text.left(kMaxShownChars);
    for (QChar& c : kept) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t'))
            c = QLatin1Char(' ');
    }
    m_full = kept;
    elide();
}

void ElidedLabel::elide()
{
    const int width = qMax(0, contentsRect().width());
    QLabel::setText(fontMetrics().elidedText(m_full, Qt::ElideRight, width));
}

QSize ElidedLabel::sizeHint() const
{
    const QMargins m = contentsMargins();
    return {80 + m.left() + m.right(), fontMetrics().height() + m.top() + m.bottom()};
}

QSize ElidedLabel::minimumSizeHint() const
{
    const QMargins m = contentsMargins();
    return {m.left() + m.right(), fontMetrics().height() + m.top() + m.bottom()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    elide();
}

} // namespace korvi
