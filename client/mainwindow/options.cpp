#include "options.h"

#include "assetfolders.h"
#include "seams.h"
#include "state.h"
#include "textfile.h"

namespace korvi {

Options::Options(State& state, Sound& sound, const QStringList& folders, QObject* parent)
    : QObject(parent), m_state(state), m_sound(sound), m_folders(folders)
{
}

Options::Flags Options::flags() const
{
    const Settings& s = m_state.settings;
    return {s.safetyQuestion != 0, s.chatSound != 0, s.executionSound != 0};
}

void Options::Check1_Click(bool on) { m_state.settings.safetyQuestion = on ? 1 : 0; }
void Options::Check4_Click(bool on) { m_state.settings.chatSound = on ? 1 : 0; }
void Options::Check7_Click(bool on) { m_state.settings.executionSound = on ? 1 : 0; }

QString Options::chatSoundFile() const { return fromWire(m_state.settings.chatSoundFile); }

QStringList Options::soundFiles() const { return listAssetFiles(m_folders, QStringLiteral("*.wav")); }

QString Options::Combo5_Click(const QString& name)
{
    const QString path = findAsset(m_folders, name);
    if (!path.isEmpty())
        m_sound.play(path);
    return name;
}

} // namespace korvi
