#include "pricerecorder.h"

#include "textfile.h"

#include <QDir>

namespace korvi {

PriceRecorder::PriceRecorder(const QString& workDir)
    : m_workDir(workDir), m_developer(exist(QDir(workDir).filePath(QLatin1String(kDeveloperMarker))))
{
}

bool PriceRecorder::toggle()
{
    if (m_file.isOpen()) {
        close();
        return true;
    }
    m_file.setFileName(QDir(m_workDir).filePath(QLatin1String(kRecordingFile)));
    return m_file.open(QIODevice::WriteOnly | QIODevice::Append);
}

void PriceRecorder::close()
{
    if (m_file.isOpen())
        m_file.close();
}

void PriceRecorder::record(QByteArrayView message)
{
    if (!m_file.isOpen())
        return;
    m_file.write(message.data(), message.size());
    m_file.write("\r\n", 2);
    m_file.flush(); // a crash of the client keeps what was recorded so far
}

} // namespace korvi
