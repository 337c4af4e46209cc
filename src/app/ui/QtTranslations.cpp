#include "app/ui/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace zelmo::app {

QTranslator* InstallQtChineseTranslations(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    // "qt" loads the qtbase catalogue (standard buttons, file and colour dialogs).
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), "qt", "_",
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return nullptr;
    }
    QCoreApplication::installTranslator(translator);
    return translator;
}

}  // namespace zelmo::app
