#include "QtTranslations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

QString InstallQtTranslations() {
  const QStringList folders = {
      QDir(QCoreApplication::applicationDirPath()).filePath("translations"),
      QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
  for (const QString& folder : folders) {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load("qtbase_zh_CN", folder)) {
      QCoreApplication::installTranslator(translator);
      return translator->filePath();
    }
    delete translator;
  }
  return {};
}
