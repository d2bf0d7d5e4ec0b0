#include "translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>

namespace korvi {

QTranslator* installQtGermanTexts(QCoreApplication& app, QString& error)
{
    auto translator = std::make_unique<QTranslator>(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"), QStringLiteral("_"),
                          folder)) {
        error = QStringLiteral("Qt-Übersetzung qtbase_de nicht gefunden in %1").arg(folder);
        return nullptr;
    }
    QCoreApplication::installTranslator(translator.get());
    return translator.release();
}

} // namespace korvi
