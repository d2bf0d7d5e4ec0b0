#pragma once

#include <QObject>
#include <QStringList>

namespace korvi {

class Sound;
struct State;

// The option flags and the sound list of the "Sonstiges" page. The flags live in the
// settings (lines 16, 17 and 21 of "Korvi.Ini"), where the market buttons, "GLATT", the
// chat and the execution handler read them.
class Options : public QObject {
    Q_OBJECT
public:
    Options(State& state, Sound& sound, const QStringList& folders, QObject* parent = nullptr);

    void setFolders(const QStringList& folders) { m_folders = folders; }

    struct Flags {
        bool safetyQuestion = true; // Check1
        bool chatSound = true;      // Check4
        bool executionSound = true; // Check7
    };
    // What the page shows each time it opens: the current flags.
    Flags flags() const;

    void Check1_Click(bool on);
    void Check4_Click(bool on);
    void Check7_Click(bool on);

    // The chat sound file, shown in "Text99".
    QString chatSoundFile() const;
    // "Combo5": the names of all "*.wav" files (any case).
    QStringList soundFiles() const;
    // "Combo5_Click": plays the chosen file at once, replacing a sound that is playing,
    // and returns the name to show in "Text99". The chat sound setting stays as it is.
    QString Combo5_Click(const QString& name);

private:
    State& m_state;
    Sound& m_sound;
    QStringList m_folders;
};

} // namespace korvi
