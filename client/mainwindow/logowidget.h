#pragma once

#include <QPixmap>
#include <QWidget>
#include <vector>

namespace korvi {

class LogoAnimation;

// The logo at the top of the main window: the still picture `Image1`, or the frames of
// the animation (`Animatedgif`) drawn over one another, each at its offset, as far as the
// animation has uncovered them. A click opens the project's web page.
class LogoWidget : public QWidget {
    Q_OBJECT
public:
    explicit LogoWidget(LogoAnimation& animation, QWidget* parent = nullptr);

    QSize sizeHint() const override;

    // The web page opened by a click.
    static constexpr const char* kProjectPage = "https://korvi.example.org/";

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    bool loadFrame(int index, const QString& path, const QRect& frame);

    LogoAnimation& m_animation;
    QPixmap m_still;
    std::vector<QPixmap> m_frames;
};

} // namespace korvi
