#include "logoanimation.h"

#include "gifsplit.h"
#include "seams.h"
#include "textfile.h"

#include <QDir>
#include <QFile>

namespace korvi {

namespace {

// "tmp.gif" lives only while one frame is loaded, so it is written without the flush to
// disk that the kept files get.
bool writeTemporary(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace

LogoAnimation::LogoAnimation(const QStringList& folders, Prompts& prompts, QObject* parent)
    : QObject(parent), m_folders(folders), m_prompts(prompts)
{
    AnimationTimer.setSingleShot(false);
    connect(&AnimationTimer, &QTimer::timeout, this, &LogoAnimation::AnimationTimer_Timer);
}

bool LogoAnimation::LoadAniGif(const QString& fileName)
{
    const QString name = fileName.isEmpty() ? QStringLiteral("korvi.dat") : fileName;
    QString path;
    for (const QString& folder : m_folders) {
        const QString candidate = findNoCase(folder, name);
        if (exist(candidate)) {
            path = candidate;
            break;
        }
    }
    if (path.isEmpty() || m_folders.isEmpty())
        return false; // no animation: the still logo stays, without a message

    AnimationTimer.stop();
    m_elements.clear();
    LogoLoopsDone = 0;
    QByteArray bytes;
    if (!readWholeFile(path, bytes)) {
        fail();
        return false;
    }
    const LogoSplit split = splitLogoFile(bytes);
    LogoLoopCount = split.loopCount;

    const QString tmp = QDir(m_folders.first()).filePath(QStringLiteral("tmp.gif"));
    bool ok = split.ok;
    for (const LogoFrame& frame : split.frames) {
        const int index = int(m_elements.size());
        if (!writeTemporary(tmp, logoFrameFile(split.header, frame)) || !m_loader ||
            !m_loader(index, tmp, QRect(frame.left, frame.top, frame.width, frame.height))) {
            ok = false;
            break;
        }
        Element e;
        e.delayMs = frame.delayMs < 20 ? kMinimumDelayMs : frame.delayMs;
        e.offset = QPoint(frame.left, frame.top);
        e.visible = index == 0;
        m_elements.push_back(e);
    }
    loesch_datei(tmp);
    emit changed();
    if (!ok) {
        fail();
        return !m_elements.empty();
    }
    // A single frame never changes, so it needs no timer.
    if (m_elements.size() > 1) {
        AnimationTimer.setInterval(m_elements.front().delayMs);
        AnimationTimer.start();
    }
    return true;
}

void LogoAnimation::fail()
{
    // The logo stays as far as it was built; with no frame at all the still logo returns.
    m_prompts.titledMessage(QStringLiteral("File not found."), QStringLiteral("File Error"));
    emit changed();
}

void LogoAnimation::AnimationTimer_Timer()
{
    for (size_t i = 1; i < m_elements.size(); ++i) {
        if (!m_elements[i].visible) {
            m_elements[i].visible = true;
            AnimationTimer.setInterval(m_elements[i].delayMs);
            emit changed();
            return;
        }
    }
    if (m_elements.empty()) {
        AnimationTimer.stop();
        return;
    }
    // A pass is complete. The loop count is the number of passes shown in all.
    if (LogoLoopCount > 0 && ++LogoLoopsDone >= LogoLoopCount) {
        AnimationTimer.stop();
        return;
    }
    for (size_t i = 1; i < m_elements.size(); ++i)
        m_elements[i].visible = false;
    AnimationTimer.setInterval(m_elements.front().delayMs);
    emit changed();
}

} // namespace korvi
