#include "mainwindow/mainwindow.h"
#include "mainwindow/optionspage.h"
#include "support/liveserver.h"
#include "textfile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

template <typename W>
W* childWithText(QWidget& parent, const QString& text)
{
    for (W* w : parent.findChildren<W*>()) {
        if (w->text() == text)
            return w;
    }
    return nullptr;
}

// A settings file for user demo on the local server, with the readable colour scheme and a
// window position far outside every screen.
QByteArray starterSettings()
{
    Settings s;
    s.userName = "demo";
    s.password = "demo";
    s.serverAddress = "127.0.0.1";
    s.colourFile = "korvi-lesbar.col";
    s.width = 900 * 15;
    s.height = 650 * 15;
    s.left = 400000;
    s.top = 300000;
    return serializeSettings(s);
}

} // namespace

TEST(MainWindowEndToEnd, OptionsColoursLogoAndSettingsAgainstTheServer)
{
    KORVI_NEEDS_SERVER();
    LiveServer server;
    ASSERT_TRUE(server.start());
    QTemporaryDir dir;
    const QDir work(dir.path());
    ASSERT_TRUE(writeFileAtomically(work.filePath("Korvi.Ini"), starterSettings()));
    for (const char* asset : {"korvi.dat", "korvi-lesbar.col", "1.wav"})
        ASSERT_TRUE(QFile::copy(QStringLiteral(KORVI_ASSETS_DIR "/") + asset, work.filePath(asset)));

    FakePrompts prompts;
    FakeSound sound;
    FakeClock clock;
    FakePages pages;
    ClientApp app(dir.path(), prompts, sound, clock, pages);
    app.connection.setPortField(QByteArray::number(server.port));
    MainWindow window(app, prompts, "korvi");
    window.show();
    ASSERT_TRUE(waitFor([&] { return app.state.InstrumentCount > 0; }, 15000));

    // The animation from "korvi.dat", the readable scheme from line 15, and the window
    // brought back onto the screen.
    EXPECT_EQ(app.logo.elementCount(), 12);
    EXPECT_TRUE(app.logo.running());
    EXPECT_EQ(app.state.colours[OG_Schrift], rgb(0, 0, 0));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.intersects(window.frameGeometry())) << window.x() << "," << window.y();

    // "Sonstiges" shows the flags as they are now, also when changed elsewhere.
    auto* tabs = window.findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->tabText(3), "Sonstiges");
    auto* safety = childWithText<QCheckBox>(window, "Sicherheitsabfrage bei BUY/SELL MARKET und GLATT aktivieren");
    auto* execSound = childWithText<QCheckBox>(window, "Execution mit Sound");
    ASSERT_TRUE(safety && execSound);
    app.state.settings.executionSound = 0;
    tabs->setCurrentIndex(3);
    EXPECT_FALSE(execSound->isChecked());
    EXPECT_TRUE(safety->isChecked());
    safety->click();
    EXPECT_EQ(app.state.settings.safetyQuestion, 0);

    // The sound list holds the folder's sounds; a choice plays at once.
    QComboBox* sounds = nullptr;
    for (QComboBox* box : window.optionsPage().findChildren<QComboBox*>()) {
        if (box->placeholderText() == QString::fromLatin1("ausw\xe4hlen..."))
            sounds = box;
    }
    ASSERT_NE(sounds, nullptr);
    ASSERT_EQ(sounds->count(), 1);
    emit sounds->textActivated(sounds->itemText(0));
    EXPECT_EQ(sound.played, QStringList{work.filePath("1.wav")});

    // "User/PW" answered No changes nothing: no dialog, still logged in as demo.
    prompts.yesAnswer = false;
    auto* userButton = childWithText<QPushButton>(window, "User/PW");
    ASSERT_NE(userButton, nullptr);
    userButton->click();
    EXPECT_EQ(prompts.questions.last(), QString::fromLatin1("Wollen Sie wirklich einen neuen Username/Pa\xdfwort eingeben"));
    EXPECT_EQ(prompts.credentialsShown, 0);
    EXPECT_EQ(app.connection.userField(), "demo");
    EXPECT_EQ(userButton->toolTip(), "User:demo");

    // "Anwenden" saves the changes as the user's own scheme (the shipped one stays as it
    // is) and goes back to the order page.
    auto* apply = childWithText<QPushButton>(window, "Anwenden");
    ASSERT_NE(apply, nullptr);
    apply->click();
    EXPECT_EQ(tabs->currentIndex(), 0);

    // Closing writes the flags and the window's place.
    window.close();
    Settings saved;
    ASSERT_TRUE(loadSettingsFile(dir.path(), saved));
    EXPECT_EQ(saved.safetyQuestion, 0);
    EXPECT_EQ(saved.executionSound, 0);
    EXPECT_EQ(saved.colourFile, "korvi-lesbar-eigen.col");
    EXPECT_TRUE(work.exists("korvi-lesbar-eigen.col"));
    EXPECT_LT(saved.left / 15, screen.right());
    EXPECT_LT(saved.top / 15, screen.bottom());
}
