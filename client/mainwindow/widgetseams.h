#pragma once

#include "seams.h"

#include <QObject>
#include <QStringList>
#include <memory>

class QSoundEffect;
class QWidget;

namespace korvi {

// The real dialogs behind the Prompts interface.
class WidgetPrompts : public Prompts {
public:
    explicit WidgetPrompts(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    void message(const QString& text) override;
    bool yesNo(const QString& text) override;
    AutostartChoice autostart() override;
    bool credentials(QString& user, QString& password) override;
    void eingabe(Eingabe& dialog) override;
    void titledMessage(const QString& text, const QString& title) override;
    bool chooseColour(quint32& colour) override;

private:
    QWidget* m_parent;
};

// The system beep and asynchronous WAV playback; one sound at a time.
class WidgetSound : public QObject, public Sound {
    Q_OBJECT
public:
    WidgetSound();
    ~WidgetSound() override;
    void beep() override;
    void play(const QString& path) override;
    // Where a sound missing in the working folder is looked for next (the installed copies).
    void setFallbackFolders(const QStringList& folders) { m_fallback = folders; }

private:
    QStringList m_fallback;
    std::unique_ptr<QSoundEffect> m_effect;
};

} // namespace korvi
