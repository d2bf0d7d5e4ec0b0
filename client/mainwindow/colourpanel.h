#pragma once

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QWidget>

namespace korvi {

class ColourEditor;

// The colour controls of the "Sonstiges" page: the colour list `LColor`, the swatch, the
// palette picture `Picture1`, the colour chooser button, "Anwenden" and the colour
// schemes `Combo4`. All decisions are the ColourEditor's.
class ColourPanel : public QWidget {
    Q_OBJECT
public:
    explicit ColourPanel(ColourEditor& editor, QWidget* parent = nullptr);

    // Fills `Combo4` with the colour schemes found now.
    void refillSchemes();

private:
    void showSwatch(quint32 colour);

    ColourEditor& m_editor;
    QListWidget m_list;   // LColor
    QLabel m_swatch;
    QComboBox m_schemes;  // Combo4
};

} // namespace korvi
