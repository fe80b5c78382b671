#include "gsm/SimStore.h"

#include "common/RegExpr.h"
#include "common/Text.h"

#include <algorithm>
#include <string_view>

namespace {

constexpr uint32_t kStoreAnswerSize = 1000;
constexpr uint32_t kListReadSize = 16384;
// The listing of the store is given up on after this much of it without its final line.
constexpr size_t kMaxListBytes = 1 << 20;

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// The longest storage name and slot number that go back to the modem in a store command. The
// modem's stores have names of two letters ("SM", "ME"), their slots numbers of a few digits.
constexpr size_t kMaxStorageName = 8;
constexpr size_t kMaxSlotDigits = 5;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsStorageName(const std::string& storage) {
  return !storage.empty() && storage.size() <= kMaxStorageName &&
         std::all_of(storage.begin(), storage.end(), [](char c) {
           return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
         });
}

bool IsSlotNumber(const std::string& index) {
  return !index.empty() && index.size() <= kMaxSlotDigits && std::all_of(index.begin(), index.end(), IsDigit);
}

// An error answer of the modem to a message command: no message was read.
bool IsErrorAnswer(const std::string& text) {
  return text.rfind("+cms error", 0) == 0 || text.rfind("+cme error", 0) == 0 || text == "error";
}

// A notice of the store: a message to read from its slot, or one listed with its PDU.
TModemNotice StoredNotice(TStoredSms slot, std::string pdu = std::string()) {
  const TModemNotice::TKind kind = pdu.empty() ? TModemNotice::TKind::Cmti : TModemNotice::TKind::Stored;
  return {kind, std::string(), std::move(slot), std::move(pdu)};
}

}  // namespace

TSimStore::TReadOutcome TSimStore::Read(const TStoredSms& slot, std::string& text) {
  if (!StorageFits(slot.Storage) || !SlotFits(slot.Index)) return TReadOutcome::Nothing;
  std::string answer;
  if (!Select(slot.Storage)) return TReadOutcome::Nothing;
  if (!Exchange("AT+CMGR=" + slot.Index + "\r\n", answer)) return TReadOutcome::Nothing;
  // An empty or unreadable slot is no message: nothing to log, nothing to delete.
  if (IsErrorAnswer(answer)) return TReadOutcome::Nothing;

  static thread_local TRegExpr pattern("\\+cmgr:\\s+\\d+,[^,]*,(\\d+)\r\n");
  if (!pattern.Exec(answer)) {
    text = answer;
    return TReadOutcome::Unparsed;
  }
  if (StrToIntDef(pattern.Match(1), 0) == 0) return TReadOutcome::Nothing;
  // The PDU is the line after the head, whatever stands before the head.
  text = TAtChannel::NextLine(answer, answer.find("+cmgr:"));
  return TReadOutcome::Pdu;
}

void TSimStore::Delete(const std::string& index, TAnswerWait wait) {
  if (!SlotFits(index)) return;
  std::string answer;
  Exchange("AT+CMGD=" + index + "\r\n", answer, wait);
}

void TSimStore::DeleteParts(const std::vector<std::string>& tags, TAnswerWait wait) {
  for (const std::string& partTag : tags) {
    const size_t comma = partTag.find(',');
    if (comma == std::string::npos) continue;  // a part that came inline, not from the store
    const std::string partStorage = partTag.substr(0, comma);
    if (!StorageFits(partStorage)) continue;
    if (partStorage != SelectedStorage && !Select(partStorage, wait)) continue;
    Delete(partTag.substr(comma + 1), wait);
  }
}

bool TSimStore::Select(const std::string& storage, TAnswerWait wait) {
  std::string answer;
  SelectedStorage.clear();
  if (!Exchange("AT+CPMS=\"" + AnsiUpperCase(storage) + "\"\r\n", answer, wait) || !Contains(answer, "ok"))
    return false;
  SelectedStorage = AnsiLowerCase(storage);
  return true;
}

void TSimStore::QueueAllStored() {
  // New messages go to the third storage that AT+CPMS? names; "sm" when it names none.
  std::string answer;
  std::string storage = "sm";
  if (Exchange("AT+CPMS?\r\n", answer)) {
    static thread_local TRegExpr usage("\\+cpms:\\s*\"(\\w+)\",\\d+,\\d+,\"(\\w+)\",\\d+,\\d+,\"(\\w+)\"");
    if (usage.Exec(answer) && StorageFits(usage.Match(3))) storage = usage.Match(3);
  }
  if (!Select(storage)) return;

  // The listing may take several reads: it ends with the final answer, or when no more of it
  // comes for a read's wait. A full store lists tens of kilobytes, so the reads are larger than
  // a notice read.
  if (!Channel.Write("AT+CMGL=4\r\n")) return;
  std::string text;
  Channel.ReadAnswer(kListReadSize, Waits.ListRead, TAnswerWait::EachRead, text, nullptr, kMaxListBytes);
  // Each entry is its head line "+cmgl: index,stat,[alpha],length" and its PDU line: the
  // message is taken from the listing itself, without reading it again.
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = Trim(std::string_view(text).substr(start, end - start));
    if (!line.empty()) lines.push_back(std::move(line));
    start = end + 1;
  }
  static thread_local TRegExpr entry("^\\+cmgl:\\s*(\\d+),[^,]*,[^,]*,(\\d+)");
  static thread_local TRegExpr indexOnly("^\\+cmgl:\\s*(\\d+),");
  const std::string lowerStorage = AnsiLowerCase(storage);
  // The listed messages go before the notices that came meanwhile: a +CMTI of a message the
  // listing holds then finds its slot empty, and the message is logged once.
  std::vector<TModemNotice> listed;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (entry.Exec(lines[i])) {
      TStoredSms slot{lowerStorage, entry.Match(1)};
      const std::string pdu = i + 1 < lines.size() ? lines[i + 1] : std::string();
      const bool hex = !pdu.empty() && pdu.find_first_not_of("0123456789abcdef") == std::string::npos;
      if (StrToIntDef(entry.Match(2), 0) != 0 && hex) {
        listed.push_back(StoredNotice(std::move(slot), pdu));
        ++i;
      } else {
        listed.push_back(StoredNotice(std::move(slot)));
      }
    } else if (indexOnly.Exec(lines[i])) {
      listed.push_back(StoredNotice({lowerStorage, indexOnly.Match(1)}));
    }
  }
  Channel.Notices.AddFirst(std::move(listed));
}

void TSimStore::PassQueuedToReader() {
  // The reader reads them in its own turns, a few at a time.
  for (const TStoredSms& slot : Announced.Items()) {
    Channel.Notices.Add(StoredNotice({AnsiLowerCase(slot.Storage), slot.Index}));
    Announced.DropFront();
  }
}

void TSimStore::ReadQueued(const std::function<void(const TStoredSms&)>& read) {
  // The messages queued by now; the queue is not added to while no send runs.
  for (const TStoredSms& slot : Announced.Items()) {
    read(slot);
    Announced.DropFront();
  }
}

bool TSimStore::StorageFits(const std::string& storage) {
  if (IsStorageName(storage)) return true;
  Channel.Port.AppendTraceNote("Store command refused, the storage name is not 1 to 8 letters or digits: storage " +
                               TModemPort::TracedBytes(storage));
  return false;
}

bool TSimStore::SlotFits(const std::string& index) {
  if (IsSlotNumber(index)) return true;
  Channel.Port.AppendTraceNote("Store command refused, the slot number is not 1 to 5 digits: index " +
                               TModemPort::TracedBytes(index));
  return false;
}

bool TSimStore::Exchange(const std::string& command, std::string& answer, TAnswerWait wait) {
  return Channel.Exchange(command, kStoreAnswerSize, Waits.StoreRead, wait, answer);
}
