#include "StandinFleet.h"

#include <QFile>
#include <QStringList>

bool ParseStandinFleet(const QString& text, TStandinFleet& fleet, QString& error) {
  TStandinFleet groups;
  const QStringList lines = text.split(u'\n');
  for (qsizetype i = 0; i < lines.size(); ++i) {
    QString line = lines[i];
    if (line.endsWith(u'\r')) line.chop(1);
    const QString where = QStringLiteral("line %1: ").arg(i + 1);
    const QString bare = line.trimmed();
    if (bare.isEmpty() || bare.startsWith(u'#')) continue;
    if (bare.startsWith(u'[')) {
      if (!bare.endsWith(u']') || bare.size() < 3) {
        error = where + QStringLiteral("a group line is \"[name]\"");
        return false;
      }
      groups.push_back({bare.mid(1, bare.size() - 2), {}});
      continue;
    }
    if (groups.empty()) {
      error = where + QStringLiteral("a vehicle before the first group");
      return false;
    }
    const QStringList fields = line.split(u'|');
    if (fields.size() != 5) {
      error = where + QStringLiteral("a vehicle line has 5 fields separated by \"|\", not %1")
                          .arg(fields.size());
      return false;
    }
    bool ok = false;
    const int device = fields[0].trimmed().toInt(&ok);
    if (!ok) {
      error = where + QStringLiteral("the device number \"%1\" is no integer").arg(fields[0]);
      return false;
    }
    groups.back().Cars.push_back({device, fields[1], fields[2], fields[3], fields[4]});
  }
  fleet = std::move(groups);
  return true;
}

bool LoadStandinFleet(const QString& path, TStandinFleet& fleet, QString& error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    error = path + QLatin1String(": ") + file.errorString();
    return false;
  }
  if (!ParseStandinFleet(QString::fromUtf8(file.readAll()), fleet, error)) {
    error = path + QLatin1String(": ") + error;
    return false;
  }
  return true;
}
