#include "composer/SendRules.h"

#include "common/RegExpr.h"
#include "common/Text.h"
#include "gsm/PduCodec.h"

#include <QStringList>

#include <cstdio>
#include <fstream>

namespace {

constexpr const char* kJournalFile = "smsList.txt";
constexpr const char* kPassPlaceholder = "%PASS%";
constexpr const char* kJournalPassword = "47125093";
constexpr size_t kMaxPhoneLength = 19;
constexpr size_t kMaxTargetLength = 1000;

const char* const kSeriesLabels[] = {"Прибор серии 10000-11252", "Прибор серии 11253-17924",
                                     "Прибор серии 17925 - 21999", "Прибор серии 22000-31499",
                                     "Прибор серии 32500+"};
const char* const kSeriesHeaders[] = {"SMS_V1.0", "SMS_V1.1", "SMS_V1.2", "SMS_V4.0", "SMS_V5.0"};

int CarSeries(const TCarEntry& car) { return DeviceSeries(static_cast<uint32_t>(car.Device)); }

const TTargetEntry* Entry(const TTargetList& list, int selected) {
  return selected >= 0 && selected < static_cast<int>(list.size()) ? &list[static_cast<size_t>(selected)] : nullptr;
}

// The lines of the text box; a line break may come as LF or CR LF.
QStringList TextLines(const QString& text) {
  QStringList lines = text.split(u'\n');
  for (QString& line : lines)
    if (line.endsWith(u'\r')) line.chop(1);
  return lines;
}


}  // namespace

uint8_t DeviceSeries(uint32_t device) {
  if (device < 11253) return 1;
  if (device < 17925) return 2;
  if (device < 22000) return 3;
  if (device < 32500) return 4;
  return 5;
}

QString SeriesLabel(int series) { return QString::fromUtf8(kSeriesLabels[series - 1]); }
const char* SeriesHeader(int series) { return kSeriesHeaders[series - 1]; }

int TTargetEntry::Series() const {
  if (Kind == kVehicle) return Car != nullptr ? CarSeries(*Car) : 0;
  if (Kind >= kFirstSeries) return Kind - 1;
  return 0;
}

TTargetList MakeTargetList(const TFleet& fleet, const std::string& remembered, int& selected) {
  TTargetList list;
  selected = -1;
  auto add = [&](TTargetEntry entry, const std::string& compared) {
    if (compared == remembered) selected = static_cast<int>(list.size());
    list.push_back(std::move(entry));
  };
  for (int series = 1; series <= 5; ++series)
    add({TTargetEntry::kFirstSeries + series - 1, nullptr, nullptr, SeriesLabel(series)},
        Cp1251FromQString(SeriesLabel(series)));
  for (const auto& group : fleet) {
    add({TTargetEntry::kGroup, group.get(), nullptr, QStringFromCp1251(group->Name)}, Trim(group->Name));
    for (const auto& car : group->Cars)
      add({TTargetEntry::kVehicle, nullptr, car.get(), QStringLiteral("   ") + car->Caption},
          Trim(Cp1251FromQString(car->Caption)));
  }
  if (selected < 0) selected = 0;
  return list;
}

std::vector<const TCarEntry*> VehiclesAfter(const TTargetList& list, int index) {
  std::vector<const TCarEntry*> cars;
  for (size_t i = static_cast<size_t>(index) + 1; i < list.size() && list[i].Kind == TTargetEntry::kVehicle; ++i)
    cars.push_back(list[i].Car);
  return cars;
}

std::string FindPhoneNumber(const TPhoneBook& book, int32_t device) {
  for (const TDevTelNumber& entry : book)
    if (entry.DeviceNumber == device) return entry.Phone;
  return std::string();
}

QString VehiclePhone(const TPhoneBook& book, const TCarEntry& car) {
  const std::string booked = FindPhoneNumber(book, car.Device);
  return booked.empty() ? car.Phone : QStringFromCp1251(booked);
}

bool SavePhoneNumber(TWindowSettings& settings, const TPhoneBook& book, const TCarEntry& car,
                     const QString& number) {
  const std::string typed = Cp1251FromQString(number);
  if (typed == Cp1251FromQString(car.Phone) || typed == FindPhoneNumber(book, car.Device)) return false;
  return settings.SavePhoneNumber(car.Device, typed.substr(0, kMaxPhoneLength));
}

TTargetState SelectTarget(const TTargetList& list, int selected, const TPhoneBook& book) {
  TTargetState state;
  const TTargetEntry* entry = Entry(list, selected);
  if (entry == nullptr) return state;
  switch (entry->Kind) {
    case TTargetEntry::kGroup: {
      state.Number = QStringLiteral("Группа");
      state.NumberEnabled = false;
      state.DeviceCount = 0;
      for (const auto& car : entry->Group->Cars)
        if (!VehiclePhone(book, *car).isEmpty()) ++state.DeviceCount;
      state.Level = 5;
      break;
    }
    case TTargetEntry::kVehicle:
      state.Number = VehiclePhone(book, *entry->Car);
      state.Level = entry->Series();
      break;
    default:
      state.Level = entry->Series();
      break;
  }
  return state;
}

int CountMessages(const TTargetList& list, int selected, bool fromTemplate, const QString& text,
                  const TCommandLists& lists, const TPhoneBook& book) {
  if (!fromTemplate) {
    int count = 0;
    for (const QString& line : TextLines(text))
      if (!line.isEmpty()) ++count;
    return count;
  }
  const TTargetEntry* entry = Entry(list, selected);
  if (entry == nullptr) return 0;
  if (entry->Kind != TTargetEntry::kGroup) return static_cast<int>(lists[entry->Series()].size());
  int count = 0;
  for (const auto& car : entry->Group->Cars)
    if (!VehiclePhone(book, *car).isEmpty()) count += static_cast<int>(lists[CarSeries(*car)].size());
  return count;
}

QString CountLabel(int messageCount, int deviceCount, bool fromTemplate) {
  auto noun = [](int value, const char* one, const char* few, const char* many) {
    if (value == 1) return QString::fromUtf8(one);
    if (value >= 2 && value <= 4) return QString::fromUtf8(few);
    return QString::fromUtf8(many);
  };
  const int total = !fromTemplate && deviceCount != 0 ? messageCount * deviceCount : messageCount;
  return QStringLiteral("Всего %1 %2 на %3 %4")
      .arg(total)
      .arg(noun(total, "сообщение", "сообщения", "сообщений"))
      .arg(deviceCount)
      .arg(noun(deviceCount, "устройство", "устройства", "устройств"));
}

std::string ReplacePassword(const std::string& line, const std::string& pattern, const std::string& value) {
  const size_t at = pattern.empty() ? std::string::npos : line.find(pattern);
  if (at == std::string::npos) return line;
  return line.substr(0, at) + value + line.substr(at + pattern.size());
}

std::string JournalBlock(const TCommandLists& lists) {
  std::string block;
  for (int series = 1; series <= TCommandLists::kSeriesCount; ++series) {
    block += SeriesHeader(series);
    block += "\r\n";
    for (const std::string& line : lists[series]) block += ReplacePassword(line, kPassPlaceholder, kJournalPassword) + "\r\n";
  }
  block += "\\" + std::string(51, '-') + "\\\r\n";
  return block;
}

bool AppendSmsListLog(const std::string& exeDir, const TCommandLists& lists) {
  std::ofstream out(exeDir + kJournalFile, std::ios::binary | std::ios::app);
  if (!out) return false;
  const std::string block = JournalBlock(lists);
  out.write(block.data(), static_cast<std::streamsize>(block.size()));
  return static_cast<bool>(out.flush());
}

std::vector<std::string> TemplateTextLines(const TTargetList& list, int selected, const TCommandLists& lists) {
  const TTargetEntry* entry = Entry(list, selected);
  if (entry == nullptr) return {};
  if (entry->Kind != TTargetEntry::kGroup) return lists[entry->Series()];
  std::vector<std::string> lines;
  bool met[TCommandLists::kSeriesCount + 1] = {};
  for (const auto& car : entry->Group->Cars) {
    const int series = CarSeries(*car);
    if (met[series]) continue;
    met[series] = true;
    lines.insert(lines.end(), lists[series].begin(), lists[series].end());
  }
  return lines;
}

std::vector<TSmsPair> PlanSend(const TTargetList& list, int selected, bool fromTemplate,
                               const TCommandLists& lists, const QString& number, const QString& text,
                               const TPhoneBook& book) {
  std::vector<TSmsPair> pairs;
  const TTargetEntry* entry = Entry(list, selected);
  const bool group = entry != nullptr && entry->Kind == TTargetEntry::kGroup;
  const std::string typed = Cp1251FromQString(number);
  if (fromTemplate) {
    if (entry == nullptr) return pairs;
    if (!group) {
      for (const std::string& line : lists[entry->Series()]) pairs.push_back({typed, line});
      return pairs;
    }
    for (const TCarEntry* car : VehiclesAfter(list, selected)) {
      const std::string phone = Cp1251FromQString(VehiclePhone(book, *car));
      const std::string password = StoredPassword(*car);
      if (phone.empty() || password.empty()) continue;
      for (const std::string& line : lists[CarSeries(*car)])
        pairs.push_back({phone, ReplacePassword(line, kPassPlaceholder, password)});
    }
    return pairs;
  }
  const std::vector<const TCarEntry*> cars = group ? VehiclesAfter(list, selected) : std::vector<const TCarEntry*>();
  for (const QString& line : TextLines(text)) {
    if (line.isEmpty()) continue;
    const std::string message = Cp1251FromQString(line);
    if (!group) {
      pairs.push_back({typed, message});
      continue;
    }
    for (const TCarEntry* car : cars) {
      const std::string phone = Cp1251FromQString(VehiclePhone(book, *car));
      if (!phone.empty()) pairs.push_back({phone, message});
    }
  }
  return pairs;
}

TSendCheck CheckSendPlan(const std::vector<TSmsPair>& pairs, size_t queueRoom) {
  for (const TSmsPair& pair : pairs)
    if (!IsSmsDestination(pair.Phone)) return TSendCheck::BadNumber;
  for (const TSmsPair& pair : pairs)
    if (!SmsTextFits(pair.Text)) return TSendCheck::TextTooLong;
  return pairs.size() > queueRoom ? TSendCheck::QueueFull : TSendCheck::Ok;
}

TSmsLayout ParseSmsLayout(const std::string& layout) {
  TSmsLayout result;
  // The target text is the rest of the string after the two numbers, whatever it holds.
  TRegExpr expression("^(\\d+),(\\d+),(.+)$");
  if (expression.Exec(layout)) {
    result.Top = StrToIntDef(expression.Match(1), 0);
    result.Left = StrToIntDef(expression.Match(2), 0);
    result.Target = expression.Match(3);
  } else {
    std::sscanf(layout.c_str(), "%d,%d,", &result.Top, &result.Left);
  }
  return result;
}

std::string FormatSmsLayout(int top, int left, const QString& target) {
  const std::string text = Trim(Trim(Cp1251FromQString(target)).substr(0, kMaxTargetLength));
  return std::to_string(top) + "," + std::to_string(left) + "," + text;
}
