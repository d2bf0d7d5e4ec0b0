#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <vector>

namespace korvi {

class Prompts;

// The animated logo: "korvi.dat" is cut into frames, each frame is handed to the picture
// loader as a small GIF "tmp.gif", and `AnimationTimer` uncovers the frames one after the
// other so that they pile up. The pictures themselves live in the view; this class keeps
// which element is shown, the delays and the passes.
class LogoAnimation : public QObject {
    Q_OBJECT
public:
    // Loads the GIF file at `path` into picture element `index`; `frame` is the frame's
    // place and size in the animation. False when the loader refuses the file.
    using FrameLoader = std::function<bool(int index, const QString& path, const QRect& frame)>;

    // `folders`: where "korvi.dat" is looked for, the working folder first; "tmp.gif" is
    // written into the working folder.
    LogoAnimation(const QStringList& folders, Prompts& prompts, QObject* parent = nullptr);

    void setFolders(const QStringList& folders) { m_folders = folders; }

    void setFrameLoader(FrameLoader loader) { m_loader = std::move(loader); }

    // "StartLogo": the animation from "korvi.dat", if there is one.
    void StartLogo() { LoadAniGif(QString()); }
    // "LoadAniGif": an empty name means "korvi.dat". False when the still logo stays.
    bool LoadAniGif(const QString& fileName);
    // One step of the animation.
    void AnimationTimer_Timer();

    bool stillLogo() const { return m_elements.empty(); }
    int elementCount() const { return int(m_elements.size()); }
    bool isVisible(int index) const { return m_elements.at(size_t(index)).visible; }
    int delay(int index) const { return m_elements.at(size_t(index)).delayMs; }
    QPoint offset(int index) const { return m_elements.at(size_t(index)).offset; }
    bool running() const { return AnimationTimer.isActive(); }
    int interval() const { return AnimationTimer.interval(); }

    qint32 LogoLoopCount = 0; // passes through the animation; 0 = endless
    qint32 LogoLoopsDone = 0;
    QTimer AnimationTimer;

    // Frames asking for less than 20 ms (a delay of 0 or 1 hundredth) are shown this long,
    // so that a delay of 0 does not turn the timer into a busy loop.
    static constexpr int kMinimumDelayMs = 100;

signals:
    // The set of shown elements changed (or the still logo came back).
    void changed();

private:
    struct Element {
        int delayMs = kMinimumDelayMs;
        QPoint offset;
        bool visible = false;
    };
    void fail();

    QStringList m_folders;
    Prompts& m_prompts;
    FrameLoader m_loader;
    std::vector<Element> m_elements;
};

} // namespace korvi
