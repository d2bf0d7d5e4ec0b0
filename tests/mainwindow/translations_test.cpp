#include "mainwindow/translations.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTranslator>
#include <gtest/gtest.h>

// The standard buttons and dialogs read German once Qt's own texts are loaded; a machine
// without them fails here rather than showing English buttons to the trader.
TEST(QtGermanTexts, StandardButtonsAndDialogsSpeakGerman)
{
    QString error;
    QTranslator* translator = korvi::installQtGermanTexts(*qApp, error);
    ASSERT_NE(translator, nullptr) << error.toStdString();

    QDialogButtonBox box(QDialogButtonBox::Yes | QDialogButtonBox::No | QDialogButtonBox::Cancel);
    EXPECT_EQ(box.button(QDialogButtonBox::Yes)->text(), QStringLiteral("&Ja"));
    EXPECT_EQ(box.button(QDialogButtonBox::No)->text(), QStringLiteral("&Nein"));
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Abbrechen"));
    QColorDialog colours;
    EXPECT_NE(colours.windowTitle(), QStringLiteral("Select Color"));
    EXPECT_FALSE(colours.windowTitle().isEmpty());

    QCoreApplication::removeTranslator(translator);
    delete translator;
}
