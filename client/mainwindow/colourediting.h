#pragma once

#include "colours.h"

#include <QObject>
#include <QStringList>
#include <functional>

namespace korvi {

class LogList;
class Prompts;
struct State;

// The colour controls of the "Sonstiges" page over the colour table: the list of the 18
// named colours `LColor`, the swatch, the palette picture, the colour chooser, "Anwenden"
// and the colour schemes `Combo4`.
class ColourEditor : public QObject {
    Q_OBJECT
public:
    // `folders`: where colour schemes are looked for, the working folder first.
    ColourEditor(State& state, Prompts& prompts, LogList& protocol, const QStringList& folders,
                 QObject* parent = nullptr);

    void setFolders(const QStringList& folders) { m_folders = folders; }

    // "InitColors": the names of entries 1 to 18, in table order (item n-1 is colour n).
    static QStringList InitColors();

    // "LColor_Click": entry 1 to 18 chosen (0: none); the swatch shows its colour.
    void LColor_Click(int entry);
    int selectedEntry() const { return m_entry; }
    Colour swatch() const { return m_swatch; }

    // "Picture1_MouseDown": the colour of the pixel under the mouse.
    void Picture1_MouseDown(Colour pixel) { takeColour(pixel); }
    // "Command10_Click": the platform's colour chooser.
    void Command10_Click();
    // "Anwenden": saves the colour table, lays out and redraws both grids, first page. A
    // shipped or installed scheme is never written: the changes go to "<name>-eigen.col"
    // in the working folder, which becomes the scheme in use (and the settings name it).
    void Command9_Click();
    // The scheme in use, as the scheme box shows it.
    QString activeScheme() const;
    // Whether `name` is one of the schemes that come with the program: installed beside it,
    // or one of the shipped names (a copy of one in the working folder counts as shipped).
    bool isShippedScheme(const QString& name) const;

    // The names of all colour schemes ("*.col", any case) for `Combo4`.
    QStringList schemeFiles() const;
    // "LoadColors" through the asset folders: a scheme missing in the working folder is
    // read from the installed copies and keeps its name. Not found anywhere: the defaults
    // and "korvi.col". False when no file was read.
    bool loadScheme(const QString& name);
    // The scheme at start: the one the settings name (line 15); without one, a
    // "korvi.col" of the working folder (what older versions kept there), else the
    // readable scheme every new installation starts with. The built-in table stays
    // available as "korvi-standard.col".
    bool loadStartScheme(const QByteArray& settingsLine);
    static constexpr const char* kFirstRunScheme = "korvi-lesbar.col";
    // "Combo4_Click": loads the scheme when it exists; false otherwise.
    bool Combo4_Click(const QString& name);

    // Re-applies the grid layout with the current colours and redraws both grids; set by
    // the composition root.
    std::function<void()> relayout;

signals:
    void swatchChanged(quint32 colour);
    // The settings tabs go back to their first page.
    void firstPageWanted();

private:
    void takeColour(Colour colour);

    State& m_state;
    Prompts& m_prompts;
    LogList& m_protocol;
    QStringList m_folders;
    int m_entry = 0;
    Colour m_swatch = 0;
};

} // namespace korvi
