#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QString>

namespace korvi {

// The developer's raw recording of the short price messages into "kurs.dat", one message
// a line. It is offered only when the marker file "korvi.dev" lies in the working folder.
class PriceRecorder {
public:
    explicit PriceRecorder(const QString& workDir);

    // Looked for once at start-up.
    bool developerMode() const { return m_developer; }
    bool isOpen() const { return m_file.isOpen(); }

    // Each click of the "Kursprotokoll" box opens or closes the file, whatever the box shows.
    // False when the file could not be opened.
    bool toggle();
    void close();
    void record(QByteArrayView message);

private:
    QString m_workDir;
    bool m_developer = false;
    QFile m_file;
};

inline constexpr const char* kDeveloperMarker = "korvi.dev";
inline constexpr const char* kRecordingFile = "kurs.dat";

} // namespace korvi
