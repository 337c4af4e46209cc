#pragma once

class QCoreApplication;
class QTranslator;

namespace zelmo::app {

// Installs Qt's own Chinese (zh_CN) texts, whatever the locale, so the standard buttons and
// dialogs match the Chinese interface. The translator belongs to `app`; nullptr when Qt's
// translation file is not installed (the buttons then stay English).
QTranslator* InstallQtChineseTranslations(QCoreApplication& app);

}  // namespace zelmo::app
