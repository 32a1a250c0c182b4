#include "platform/desktop/qt_translations.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QLibraryInfo>
#include <QtCore/QTranslator>

namespace pelmora::platform::qt {

bool install_chinese_translations(QCoreApplication& application) {
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  bool base_found = false;
  // qtbase holds the standard buttons and dialogs; the browser engine's own texts (its context
  // menu) are in qtwebengine.
  for (const char* catalogue : {"qtbase", "qtwebengine"}) {
    auto* translator = new QTranslator(&application);
    if (translator->load(QStringLiteral("%1_zh_CN").arg(QLatin1String(catalogue)), folder) &&
        QCoreApplication::installTranslator(translator)) {
      if (QLatin1String(catalogue) == QLatin1String("qtbase")) base_found = true;
    } else {
      delete translator;
    }
  }
  return base_found;
}

}  // namespace pelmora::platform::qt
