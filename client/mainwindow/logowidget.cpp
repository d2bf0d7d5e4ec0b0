#include "logowidget.h"

#include "logoanimation.h"

#include <QDesktopServices>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

namespace korvi {

LogoWidget::LogoWidget(LogoAnimation& animation, QWidget* parent)
    : QWidget(parent), m_animation(animation), m_still(QStringLiteral(":/korvi/logo.png"))
{
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setToolTip(QString::fromLatin1(kProjectPage));
    animation.setFrameLoader(
        [this](int index, const QString& path, const QRect& frame) { return loadFrame(index, path, frame); });
    connect(&animation, &LogoAnimation::changed, this, [this] {
        updateGeometry();
        update();
    });
}

bool LogoWidget::loadFrame(int index, const QString& path, const QRect& frame)
{
    QImageReader reader(path, "gif");
    QImage image = reader.read();
    if (image.isNull())
        return false;
    // The reader paints a frame into a picture of the whole logo at the frame's offset;
    // the element holds the frame alone, as it is shifted by that offset when drawn.
    if (frame.isValid() && image.size() != frame.size() && image.rect().contains(frame))
        image = image.copy(frame);
    if (index == 0)
        m_frames.clear();
    m_frames.resize(size_t(index) + 1);
    m_frames[size_t(index)] = QPixmap::fromImage(image);
    return true;
}

QSize LogoWidget::sizeHint() const
{
    if (m_animation.stillLogo() || m_frames.empty())
        return m_still.isNull() ? QSize(160, 48) : m_still.size();
    QRect area;
    for (int i = 0; i < m_animation.elementCount() && size_t(i) < m_frames.size(); ++i)
        area |= QRect(m_animation.offset(i), m_frames[size_t(i)].size());
    return area.size().expandedTo(QSize(1, 1));
}

void LogoWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_animation.stillLogo()) {
        painter.drawPixmap(0, 0, m_still);
        return;
    }
    // Later elements lie above earlier ones.
    for (int i = 0; i < m_animation.elementCount() && size_t(i) < m_frames.size(); ++i) {
        if (m_animation.isVisible(i))
            painter.drawPixmap(m_animation.offset(i), m_frames[size_t(i)]);
    }
}

void LogoWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        QDesktopServices::openUrl(QUrl(QString::fromLatin1(kProjectPage)));
}

} // namespace korvi
