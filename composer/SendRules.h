#pragma once
// The send window's rules, apart from its widgets: the protocol series of a device number, the
// target list built from the fleet, what a selected target sets, the message count and its
// label, the phone book, the command journal, the layout string and the messages a send hands
// to the queue.

#include "composer/TemplateState.h"
#include "seam/Fleet.h"
#include "seam/WindowSettings.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The protocol series (1 to 5) of a device, by its number compared as unsigned.
uint8_t DeviceSeries(uint32_t device);
// The target-list label and the journal header of a series 1 to 5 (UTF-8, resp. ASCII).
QString SeriesLabel(int series);
const char* SeriesHeader(int series);

// One entry of the target list. Kinds: 0 a group, 1 a vehicle, 2 to 6 the protocol series 1
// to 5. The group and vehicle entries borrow the fleet's records.
struct TTargetEntry {
  static constexpr int kGroup = 0;
  static constexpr int kVehicle = 1;
  static constexpr int kFirstSeries = 2;
  int Kind = 0;
  const TGroupEntry* Group = nullptr;
  const TCarEntry* Car = nullptr;
  QString Text;  // as listed: a vehicle's caption after three blanks
  // The series of a series entry, or of a vehicle; 0 for a group.
  int Series() const;
};
using TTargetList = std::vector<TTargetEntry>;

// The five series entries, then each group followed by its vehicles. The selected entry is the
// last one equal to `remembered` (code page 1251): a series by its label, a group by its
// trimmed name, a vehicle by its trimmed caption; the first series entry when none is.
TTargetList MakeTargetList(const TFleet& fleet, const std::string& remembered, int& selected);
// The vehicle entries that follow the group entry at `index`.
std::vector<const TCarEntry*> VehiclesAfter(const TTargetList& list, int index);

// The first entry's number for the device, "" when there is none.
std::string FindPhoneNumber(const TPhoneBook& book, int32_t device);
// The phone a vehicle is reached at: the phone-book number, else its own.
QString VehiclePhone(const TPhoneBook& book, const TCarEntry& car);
// Keeps `number` for the vehicle when it differs from both numbers known for it (its own and
// the phone book's), cut to 19 characters, in the phone book of the settings. False when
// nothing was written.
bool SavePhoneNumber(TWindowSettings& settings, const TPhoneBook& book, const TCarEntry& car,
                     const QString& number);

// What selecting a target sets: the number field, the devices counted and the menu level.
struct TTargetState {
  QString Number;
  bool NumberEnabled = true;
  int DeviceCount = 1;
  int Level = 0;  // menu items with a Tag up to this are offered; 0 offers none
};
TTargetState SelectTarget(const TTargetList& list, int selected, const TPhoneBook& book);

// The messages the text or the template gives for the selected target.
int CountMessages(const TTargetList& list, int selected, bool fromTemplate, const QString& text,
                  const TCommandLists& lists, const TPhoneBook& book);
// "Всего %d %s на %d %s": the product for free text with devices, else the message count.
QString CountLabel(int messageCount, int deviceCount, bool fromTemplate);

// The line with the first occurrence of `pattern` replaced by `value`.
std::string ReplacePassword(const std::string& line, const std::string& pattern, const std::string& value);

// The journal block of the five lists: each series' header and lines, "%PASS%" given the dummy
// password, then the closing line; CR LF line ends, code page 1251.
std::string JournalBlock(const TCommandLists& lists);
// Appends the block to "smsList.txt" in the program folder; false when the file cannot be
// written.
bool AppendSmsListLog(const std::string& exeDir, const TCommandLists& lists);

// The lines the template's lists put into the text box for the selected target; for a group
// each series' lines once, in the order the group's vehicles first meet it.
std::vector<std::string> TemplateTextLines(const TTargetList& list, int selected, const TCommandLists& lists);

// One message for the send queue, phone and text in code page 1251.
struct TSmsPair {
  std::string Phone;
  std::string Text;
  bool operator==(const TSmsPair&) const = default;
};
// The messages of a send, in the order they go to the queue.
std::vector<TSmsPair> PlanSend(const TTargetList& list, int selected, bool fromTemplate,
                               const TCommandLists& lists, const QString& number, const QString& text,
                               const TPhoneBook& book);

// Why the messages of a send cannot all go to the queue, the first failing check only: a
// phone that is no destination, then a text longer than one message, then more messages than
// the queue takes (`queueRoom`). The queue would refuse each of them; the window refuses the
// whole send instead, so that no part of it goes.
enum class TSendCheck { Ok, BadNumber, TextTooLong, QueueFull };
TSendCheck CheckSendPlan(const std::vector<TSmsPair>& pairs, size_t queueRoom);

// The window's layout string: "%d,%d,%s" of Top, Left and the target text.
struct TSmsLayout {
  int Top = 0;
  int Left = 0;
  std::string Target;  // code page 1251
};
TSmsLayout ParseSmsLayout(const std::string& layout);
std::string FormatSmsLayout(int top, int left, const QString& target);
