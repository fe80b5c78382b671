#include "viewer/PositionExport.h"

#include "common/DateTime.h"
#include "platform/GlobeProgram.h"
#include "viewer/PositionKml.h"

#include <QDir>
#include <QMessageBox>

bool ExportPositionToGlobe(QWidget* parent, const std::string& exeDir, const TSmsInfo& info, int utcOffsetHours) {
  const QString path = PositionKmlPath(exeDir);
  TKmlExportResult result = ExportPositionToKml(path, info, utcOffsetHours, Now());
  if (!result.Ok) {
    QMessageBox::critical(parent, QStringLiteral("Orvex монитор"),
                          QStringLiteral("Не удалось записать положение в файл %1:\n%2")
                              .arg(QDir::toNativeSeparators(path), result.Error));
    return false;
  }
  TGlobeProgram::OpenFileOrSay(path, parent);
  return true;
}
