#include "app/ProgramSetup.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

void SetUpApplication(QApplication& application) {
  QApplication::setApplicationName("Orvex Monitor");
  auto* translator = new QTranslator(&application);
  if (translator->load(QLocale(QLocale::Russian, QLocale::Russia), "qtbase", "_",
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(translator);
  else
    delete translator;  // not installed: Qt's texts stay as they are
}
