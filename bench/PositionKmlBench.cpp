// The position file grows by one placemark for every new position time and is never trimmed:
// one export (load, search, edit, save) on a file that already holds many placemarks. And the
// files anyone can put in place of the position file or the places file: one element with
// 200,000 attributes, and 60 MiB of placemarks side by side.

#include "composer/PlacemarkTree.h"
#include "viewer/PositionKml.h"

#include "platform/XmlTree.h"

#include "support/ProcessMemory.h"

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

// Argument 0: one placemark with 200,000 attributes (2.2 MB). Argument 1: 60 MiB of placemarks
// in one document, no layout between them.
QByteArray HostileFile(int64_t kind) {
  if (kind == 0) {
    QByteArray text = "<kml><Document><Placemark";
    for (int i = 0; i < 200000; ++i) text += " a" + QByteArray::number(i) + "=\"\"";
    return text + "><name>p</name><Point><coordinates>37,55</coordinates></Point></Placemark></Document></kml>";
  }
  QByteArray text = "<kml><Document>";
  const QByteArray placemark = "<Placemark><name>x</name><Point><coordinates>37,55</coordinates></Point></Placemark>";
  text.reserve(60 * 1024 * 1024 + 64);
  while (text.size() < 60 * 1024 * 1024) text += placemark;
  return text + "</Document></kml>";
}

// Writes the file of the benchmark's argument (HostileFile) as `name` in a folder of its own and
// times `read` on it; the counter "resident_growth_mib" is how much more the process holds
// after the read (what the allocator keeps of a freed tree included).
template <typename TRead>
void TimeHostileRead(benchmark::State& state, const QString& name, TRead read) {
  QTemporaryDir dir;
  const QString path = dir.filePath(name);
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) state.SkipWithError("no file");
    file.write(HostileFile(state.range(0)));
  }
  double grown = 0;
  for (auto _ : state) {
    const double before = ResidentMib();
    read(path);
    grown = ResidentMib() - before;
  }
  state.counters["resident_growth_mib"] = grown;
}

// The read of the export.
void BM_ReadHostilePositionFile(benchmark::State& state) {
  TimeHostileRead(state, QStringLiteral("OrvexMonitor.kml"), [](const QString& path) {
    TXmlDocument xml;
    LoadXmlFile(path, xml);
  });
}
BENCHMARK(BM_ReadHostilePositionFile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The read of the template window's places menu.
void BM_LoadHostilePlacesFile(benchmark::State& state) {
  size_t items = 0;
  TimeHostileRead(state, QStringLiteral("myplaces.kml"),
                  [&items](const QString& path) { items = LoadPlacesFile(path).Items.size(); });
  state.counters["items"] = static_cast<double>(items);
}
BENCHMARK(BM_LoadHostilePlacesFile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
