#include "app/qttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

bool installQtTranslations(QCoreApplication &app)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#else
    const QString dir = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
#endif
    auto *translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_de"), dir)) {
        delete translator;
        return false;
    }
    return app.installTranslator(translator);
}
