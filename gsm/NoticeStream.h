#pragma once
// What the modem sends on its own (a +CMT header with its PDU line, +CMTI, RING) arrives
// before, between and after the answers to commands, and any read may end inside one of them.
// Every read of the port, whichever thread or exchange makes it, passes through one stream:
// the stream takes the notices out and queues them, keeps an unfinished notice to join it with
// the next read, whoever makes that, and gives back the rest, which is the answer the reader
// of the moment waits for.
//
// Many modems also send status reports of their own at any moment ("^RSSI:18", "^BOOT:...",
// "+CREG: 1", "RDY", "Call Ready", "SMS Ready"): before, inside and after an answer, even
// between a +CMT header and its PDU line. The stream drops them wherever they fall, so that a
// report is never taken for an answer, never ends one and never spoils a notice. A "+name:"
// line is a report unless it is an information line of the command last sent ("+cpin:" for
// "AT+CPIN?"), an error report or a notice.
//
// Texts are lower case with NUL bytes as blanks, as the modem's answers are compared
// everywhere.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// A message in the modem's store: the storage as the modem names it and the slot's number,
// both as read. Parsed once where the modem names it, and carried as it is to where it is read.
struct TStoredSms {
  std::string Storage;
  std::string Index;
  bool operator==(const TStoredSms&) const = default;
};

struct TModemNotice {
  // Stored: a message of the store's listing, read with its PDU already (never from the port).
  enum class TKind { Cmt, Cmti, Ring, Stored };
  TKind Kind = TKind::Cmti;
  // The notice trimmed as the modem sent it; a +CMT notice holds its header, the line break
  // and its PDU line. Empty for the notices of the store queued by the monitor itself.
  std::string Text;
  // Cmti and Stored: the stored message named; for a +CMTI line of the modem empty when the
  // line names none.
  TStoredSms Slot;
  // Stored: the message's PDU as the listing gave it.
  std::string Pdu;
};

// The storage (two letters, as read) and the index that a +CMTI notice names.
bool ParseCmti(const std::string& text, std::string& storage, std::string& index);

class TNoticeStream {
 public:
  using TClock = std::function<std::chrono::steady_clock::time_point()>;
  // How long a +CMT header waits for its PDU line: a modem may send the line a good while
  // after the header. A header still without its line then is dropped, never taken for a
  // message.
  static constexpr std::chrono::milliseconds kCmtPduWait{5000};

  explicit TNoticeStream(TClock clock = std::chrono::steady_clock::now) : Clock(std::move(clock)) {}

  // Told of each +CMT header dropped because its PDU line never came (for the port trace).
  std::function<void(const std::string&)> DroppedNotice;

  // A command went to the modem (the bytes written, "AT..."): its information lines are its
  // answer, every other "+name:" line a report. Before the first command none is a report.
  void CommandSent(std::string_view command);

  // Takes the bytes of one read and returns what in them is neither a notice nor a report,
  // with its line ends as they came.
  std::string Feed(std::string_view bytes);
  std::string Feed(const uint8_t* bytes, uint32_t count) {
    return Feed(std::string_view(reinterpret_cast<const char*>(bytes), count));
  }
  // The end of a turn of the reader. An unfinished +CMT (its header, or its header and the
  // start of its PDU line) waits for the rest until kCmtPduWait after it began, and is dropped
  // then. An unfinished +CMTI or RING is queued as it stands when nothing more came (`quiet`)
  // or once it has waited as long; a line that never became a notice is dropped then. A line
  // that never goes quiet (a modem that sends reports all the time) therefore holds nothing
  // up. True when a notice was queued.
  bool Flush(bool quiet = true);
  // Queues a notice that was not read as one (a message found in the store).
  void Add(TModemNotice notice);
  // Puts notices before everything queued, in their order.
  void AddFirst(std::vector<TModemNotice> notices);
  // Takes the oldest queued notice.
  bool Next(TModemNotice& notice);
  // Queued notices, or an unfinished one.
  bool HasPending() const;
  bool HasQueued() const;
  // The start of a notice read so far (for tests and diagnostics).
  std::string Unfinished() const;
  // Notices queued since the stream began, taken or not: it grows with every notice read.
  uint64_t NoticesRead() const;
  // A new link: a notice that an earlier one left unfinished cannot be joined any more and is
  // dropped; whole notices stay queued.
  void DropUnfinished();

 private:
  // Flush with the lock held.
  bool QueueUnfinished();
  // Whether a whole line (trimmed, lower case) is a status report. `inNotice`: the line stands
  // between a +CMT header and its PDU line, where no answer line can stand.
  bool IsReport(std::string_view line, bool inNotice) const;

  // Whether the unfinished notice is a +CMT.
  bool CarryIsCmt() const;

  TClock Clock;
  mutable std::mutex Lock;
  std::string Carry;
  std::chrono::steady_clock::time_point CarrySince;
  std::deque<TModemNotice> Queue;
  uint64_t TakenCount = 0;  // notices taken from the queue so far
  bool LineFeedDue = false;  // a notice's CR ended the last read: its LF is no answer
  bool InLine = false;       // the last read ended inside a line that is no notice
  bool CommandKnown = false;     // a command has been sent
  std::string OwnInformation;    // "+cpin:" after "AT+CPIN?"; empty after "AT", "ATH"
};
