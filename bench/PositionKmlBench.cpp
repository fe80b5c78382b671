// The position file grows by one placemark for every new position time and is never trimmed:
// one export (load, search, edit, save) on a file that already holds many placemarks.

#include "viewer/PositionKml.h"

#include "platform/XmlTree.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace {

TSmsInfo Report(int32_t device, TDateTime fixTime) {
  TSmsInfo info;
  info.Kind = kKindGet;
  info.DeviceNumber = device;
  auto get = std::make_unique<TSmsGet>();
  get->FixTime = fixTime;
  get->Latitude = 554512340;
  get->Longitude = 373756780;
  get->Valid = 1;
  info.Payload = std::move(get);
  return info;
}

// A file of `placemarks` positions spread over 20 devices, then the same export again and
// again: the time of a placemark the file already has, so the file keeps its size.
void BM_ExportIntoGrownFile(benchmark::State& state) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("OrvexMonitor.kml"));
  const int placemarks = static_cast<int>(state.range(0));
  const TDateTime start = EncodeDate(2026, 1, 1);
  // Twenty devices through the export itself, the rest of the placemarks added in one go.
  for (int device = 0; device < 20; ++device) ExportPositionToKml(path, Report(10000 + device, start), 3, 0);
  TXmlDocument xml;
  LoadXmlFile(path, xml);
  std::vector<TXmlNode*> folders;
  for (TXmlNode* child : xml.Root()->FirstChildElement(QStringLiteral("Document"))->ChildElements()) {
    if (child->Name == QStringLiteral("Folder")) folders.push_back(child);
  }
  for (int i = 20; i < placemarks; ++i) {
    TXmlNode& placemark = folders[i % 20]->AppendElement(QStringLiteral("Placemark"));
    placemark.AppendTextElement(QStringLiteral("name"),
                                QString::fromStdString(FormatDateTime("dd-mm-yy hh:nn:ss", start + i / 1440.0)));
    placemark.AppendTextElement(QStringLiteral("visibility"), QStringLiteral("0"));
    placemark.AppendElement(QStringLiteral("description"))
        .AppendCData(QStringLiteral("Прибор 10000<br>Текущее положение автомобиля."));
    placemark.AppendTextElement(QStringLiteral("styleUrl"), QStringLiteral("#orvexmonitor_point"));
    placemark.AppendElement(QStringLiteral("Point"))
        .AppendTextElement(QStringLiteral("coordinates"), QStringLiteral("37.626130,55.752057,0"));
  }
  QString error;
  SaveXmlFile(path, xml, error);
  const TSmsInfo again = Report(10000, start);
  for (auto _ : state) {
    TKmlExportResult result = ExportPositionToKml(path, again, 3, 0);
    if (!result.Ok) state.SkipWithError("export failed");
  }
  state.counters["file_kib"] = static_cast<double>(QFile(path).size()) / 1024;
}
BENCHMARK(BM_ExportIntoGrownFile)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
