#pragma once

#include <QString>

class QCoreApplication;
class QTranslator;

namespace korvi {

// Loads Qt's own German texts ("qtbase_de" from the system's Qt translations), so that the
// standard dialogs and buttons (Ja/Nein, Abbrechen, the colour chooser) speak German like
// the rest of the program. Returns the installed translator (owned by `app`), or null with
// the reason in `error` when the texts are missing.
QTranslator* installQtGermanTexts(QCoreApplication& app, QString& error);

} // namespace korvi
