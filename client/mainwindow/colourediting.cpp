#include "colourediting.h"

#include "assetfolders.h"
#include "loglist.h"
#include "seams.h"
#include "state.h"
#include "textfile.h"

#include <QFileInfo>

namespace korvi {

ColourEditor::ColourEditor(State& state, Prompts& prompts, LogList& protocol, const QStringList& folders,
                           QObject* parent)
    : QObject(parent), m_state(state), m_prompts(prompts), m_protocol(protocol), m_folders(folders)
{
}

QStringList ColourEditor::InitColors()
{
    QStringList names;
    for (int n = 1; n <= ColourTable::kNamed; ++n)
        names << ColourTable::name(n);
    return names;
}

void ColourEditor::LColor_Click(int entry)
{
    m_entry = entry >= 1 && entry <= ColourTable::kNamed ? entry : 0;
    if (m_entry) {
        m_swatch = m_state.colours[m_entry];
        emit swatchChanged(m_swatch);
    }
}

void ColourEditor::takeColour(Colour colour)
{
    m_swatch = colour & 0xFFFFFFu;
    if (m_entry)
        m_state.colours.set(m_entry, m_swatch);
    emit swatchChanged(m_swatch);
}

void ColourEditor::Command10_Click()
{
    quint32 colour = m_swatch;
    if (m_prompts.chooseColour(colour))
        takeColour(colour);
}

QString ColourEditor::activeScheme() const { return m_state.colours.currentFile(); }

bool ColourEditor::isShippedScheme(const QString& name) const
{
    for (const char* shipped : {"korvi-standard.col", "korvi-lesbar.col"}) {
        if (name.compare(QLatin1String(shipped), Qt::CaseInsensitive) == 0)
            return true;
    }
    // The first folder is the working folder; the others hold the installed schemes.
    return !findAsset(m_folders.mid(1), name).isEmpty();
}

void ColourEditor::Command9_Click()
{
    const QString current = m_state.colours.currentFile();
    if (isShippedScheme(current)) {
        const QString stem = QFileInfo(current).completeBaseName();
        m_state.colours.setCurrentFile(stem + QStringLiteral("-eigen.col"));
        m_protocol.add(QStringLiteral("Farbschema ") + current + QStringLiteral(" bleibt, \u00c4nderungen in ") +
                       m_state.colours.currentFile());
    }
    if (!m_state.colours.save(m_state.workDir))
        m_protocol.add(QStringLiteral("F:SaveColors ") + m_state.colours.currentFile());
    if (relayout)
        relayout();
    emit firstPageWanted();
}

QStringList ColourEditor::schemeFiles() const
{
    return listAssetFiles(m_folders, QStringLiteral("*.col"));
}

bool ColourEditor::loadScheme(const QString& name)
{
    const QString path = findAsset(m_folders, name);
    if (path.isEmpty()) {
        m_state.colours.load(m_state.workDir, name);
        return false;
    }
    const QFileInfo file(path);
    // The scheme keeps the name it is listed under; "Anwenden" writes it into the
    // working folder, also when it was read from the installed copies.
    m_state.colours.load(file.absolutePath(), file.fileName());
    m_state.colours.setCurrentFile(name);
    return true;
}

bool ColourEditor::loadStartScheme(const QByteArray& settingsLine)
{
    if (!settingsLine.isEmpty())
        return loadScheme(fromWire(settingsLine));
    const QString older = QStringLiteral("korvi.col");
    if (QFileInfo(findNoCase(m_state.workDir, older)).isFile())
        return loadScheme(older);
    return loadScheme(QLatin1String(kFirstRunScheme));
}

bool ColourEditor::Combo4_Click(const QString& name)
{
    if (findAsset(m_folders, name).isEmpty() || !loadScheme(name))
        return false;
    if (relayout)
        relayout();
    emit firstPageWanted();
    return true;
}

} // namespace korvi
