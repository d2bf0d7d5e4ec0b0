#include "app/clientapp.h"
#include "support/liveserver.h"
#include "textfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

TEST(ColourEditing, ListSwatchPaletteAndChooser)
{
    ClientFixture f;
    ColourEditor& e = f.app.colourEditor;
    const QStringList names = ColourEditor::InitColors();
    ASSERT_EQ(names.size(), 18);
    EXPECT_EQ(names.first(), "OG:WP-Zeile");
    EXPECT_EQ(names[10], "OG:Schrift");
    EXPECT_EQ(names.last(), "OG:BracketChildHot");

    QList<quint32> swatch;
    QObject::connect(&e, &ColourEditor::swatchChanged, [&swatch](quint32 c) { swatch << c; });
    // Without a chosen entry the palette only sets the swatch.
    e.Picture1_MouseDown(rgb(1, 2, 3));
    EXPECT_EQ(e.swatch(), rgb(1, 2, 3));
    EXPECT_EQ(f.app.state.colours[OG_WPZeile], 16776960u);

    e.LColor_Click(OG_Schrift);
    EXPECT_EQ(e.swatch(), 12632256u);
    e.Picture1_MouseDown(rgb(10, 20, 30));
    EXPECT_EQ(f.app.state.colours[OG_Schrift], rgb(10, 20, 30));

    f.prompts.colourChosen = false; // cancelled: nothing changes
    e.Command10_Click();
    EXPECT_EQ(f.app.state.colours[OG_Schrift], rgb(10, 20, 30));
    f.prompts.colourChosen = true;
    f.prompts.chosenColour = rgb(200, 100, 50);
    e.Command10_Click();
    EXPECT_EQ(f.app.state.colours[OG_Schrift], rgb(200, 100, 50));
    EXPECT_EQ(f.prompts.colourChooserShown, 2);
    EXPECT_EQ(swatch.count(), 4);
    EXPECT_EQ(swatch.last(), rgb(200, 100, 50));
}

TEST(ColourEditing, ApplySavesRelaysTheGridsAndGoesToTheFirstPage)
{
    ClientFixture f;
    ColourEditor& e = f.app.colourEditor;
    int firstPage = 0;
    QObject::connect(&e, &ColourEditor::firstPageWanted, [&firstPage] { ++firstPage; });
    e.LColor_Click(OG_Trennzeile);
    e.Picture1_MouseDown(rgb(9, 9, 9));
    e.Command9_Click();
    EXPECT_EQ(firstPage, 1);
    // The layouts take the new colours (text colour of the order grid is entry 11).
    e.LColor_Click(OG_Schrift);
    e.Picture1_MouseDown(rgb(1, 1, 1));
    EXPECT_NE(f.app.orderGrid.cells.textColour, rgb(1, 1, 1));
    e.Command9_Click();
    EXPECT_EQ(f.app.orderGrid.cells.textColour, rgb(1, 1, 1));
    ColourTable back;
    back.load(f.dir.path(), "korvi.col");
    EXPECT_EQ(back[OG_Trennzeile], rgb(9, 9, 9));
    EXPECT_EQ(back[OG_Schrift], rgb(1, 1, 1));
}

TEST(ColourEditing, SchemesAreFoundInAnyCaseAndLoadAtOnce)
{
    ClientFixture f;
    QTemporaryDir installed;
    ColourTable scheme;
    scheme.set(OG_Schrift, rgb(0, 0, 0));
    scheme.setCurrentFile("Dark.COL");
    ASSERT_TRUE(scheme.save(f.dir.path()));
    scheme.set(OG_Schrift, rgb(7, 7, 7));
    scheme.setCurrentFile("korvi-lesbar.col");
    ASSERT_TRUE(scheme.save(installed.path()));
    ASSERT_TRUE(writeFileAtomically(QDir(f.dir.path()).filePath("readme.txt"), "x"));
    ColourEditor& e = f.app.colourEditor;
    e.setFolders({f.dir.path(), installed.path()});
    EXPECT_EQ(e.schemeFiles(), (QStringList{"Dark.COL", "korvi-lesbar.col"}));

    int firstPage = 0;
    QObject::connect(&e, &ColourEditor::firstPageWanted, [&firstPage] { ++firstPage; });
    EXPECT_TRUE(e.Combo4_Click("dark.col"));
    EXPECT_EQ(f.app.state.colours[OG_Schrift], rgb(0, 0, 0));
    EXPECT_EQ(f.app.orderGrid.cells.textColour, rgb(0, 0, 0));
    EXPECT_TRUE(e.Combo4_Click("korvi-lesbar.col"));
    EXPECT_EQ(f.app.state.colours[OG_Schrift], rgb(7, 7, 7));
    EXPECT_EQ(firstPage, 2);
    // "Anwenden" never writes a shipped or installed scheme: neither the installed file nor
    // a copy of it in the working folder; the changes go to a scheme of the user's own,
    // which is then in use and written in place.
    QByteArray installedBytes;
    ASSERT_TRUE(readWholeFile(QDir(installed.path()).filePath("korvi-lesbar.col"), installedBytes));
    for (const char* shipped : {"korvi-lesbar.col", "korvi-standard.col"}) {
        ASSERT_TRUE(e.loadScheme(shipped) || QString(shipped) == "korvi-standard.col");
        f.app.state.colours.setCurrentFile(shipped);
        e.LColor_Click(OG_Schrift);
        e.Picture1_MouseDown(rgb(3, 3, 3));
        e.Command9_Click();
        const QString own = QFileInfo(QString(shipped)).completeBaseName() + "-eigen.col";
        EXPECT_EQ(e.activeScheme(), own);
        EXPECT_FALSE(QFile::exists(QDir(f.dir.path()).filePath(shipped))) << shipped;
        ColourTable back;
        back.load(f.dir.path(), own);
        EXPECT_EQ(back[OG_Schrift], rgb(3, 3, 3)) << shipped;
    }
    QByteArray after;
    ASSERT_TRUE(readWholeFile(QDir(installed.path()).filePath("korvi-lesbar.col"), after));
    EXPECT_EQ(after, installedBytes);
    e.Picture1_MouseDown(rgb(4, 4, 4));
    e.Command9_Click();
    EXPECT_EQ(e.activeScheme(), "korvi-standard-eigen.col") << "an own scheme is written in place";
    EXPECT_FALSE(e.Combo4_Click("missing.col"));
    EXPECT_EQ(firstPage, 5);
    EXPECT_EQ(f.app.state.colours[OG_Schrift], rgb(4, 4, 4)) << "a missing scheme changes nothing";
    // At start-up a scheme named in the settings but found nowhere gives the defaults.
    EXPECT_FALSE(e.loadScheme("nowhere.col"));
    EXPECT_EQ(f.app.state.colours[OG_Schrift], 12632256u);
    EXPECT_EQ(f.app.state.colours.currentFile(), "korvi.col");
}

TEST(ColourEditing, ColourFileNameIsMatchedWithoutCaseOnLoadAndSave)
{
    QTemporaryDir dir;
    ASSERT_TRUE(writeFileAtomically(QDir(dir.path()).filePath("Korvi.COL"), " 42 \r\n"));
    ColourTable t;
    t.load(dir.path(), "korvi.col");
    EXPECT_EQ(t[1], 42u);
    t.set(2, 43);
    ASSERT_TRUE(t.save(dir.path()));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"Korvi.COL"}) << "no second file";
    ColourTable back;
    back.load(dir.path(), "KORVI.col");
    EXPECT_EQ(back[2], 43u);
}

TEST(ColourEditing, StartSchemeIsTheSettingsOrAnOlderFolderOrTheReadableOne)
{
    // The shipped schemes as installed beside the program.
    QTemporaryDir installed;
    for (const char* asset : {"korvi-lesbar.col", "korvi-standard.col"})
        ASSERT_TRUE(QFile::copy(QStringLiteral(KORVI_ASSETS_DIR "/") + asset,
                                QDir(installed.path()).filePath(asset)));
    ColourTable readable, standard, older;
    readable.load(installed.path(), "korvi-lesbar.col");
    standard.load(installed.path(), "korvi-standard.col");
    ASSERT_EQ(standard.serialize(), ColourTable().serialize()) << "the built-in table stays a scheme";
    ASSERT_NE(readable.serialize(), standard.serialize());
    older.set(OG_Schrift, rgb(5, 6, 7));

    struct Case {
        const char* what;
        QByteArray line15;
        bool olderFile;  // a "korvi.col" of an older version in the working folder
        bool withAssets; // the shipped schemes are installed
        const char* scheme;
        const ColourTable* colours;
    };
    const Case cases[] = {
        {"first run", "", false, true, "korvi-lesbar.col", &readable},
        {"older folder", "", true, true, "korvi.col", &older},
        {"settings name the standard", "korvi-standard.col", false, true, "korvi-standard.col", &standard},
        {"settings name the older file", "KORVI.COL", true, true, "KORVI.COL", &older},
        {"nothing installed", "", false, false, "korvi.col", &standard},
    };
    for (const Case& c : cases) {
        ClientFixture f(ClientFixture::Offline);
        if (c.olderFile) {
            ColourTable t = older;
            t.setCurrentFile("korvi.col");
            ASSERT_TRUE(t.save(f.dir.path()));
        }
        ColourEditor& e = f.app.colourEditor;
        e.setFolders(c.withAssets ? QStringList{f.dir.path(), installed.path()} : QStringList{f.dir.path()});
        e.loadStartScheme(c.line15);
        EXPECT_EQ(f.app.state.colours.currentFile(), c.scheme) << c.what;
        EXPECT_EQ(f.app.state.colours.serialize(), c.colours->serialize()) << c.what;
    }
}
