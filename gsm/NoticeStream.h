#pragma once
// What the modem sends on its own (a +CMT header with its PDU line, +CMTI, RING) arrives
// before, between and after the answers to commands, and any read may end inside one of them.
// Every read of the port, whichever thread or exchange makes it, passes through one stream:
// the stream takes the notices out and queues them, keeps an unfinished notice to join it with
// the next read, whoever makes that, and gives back the rest, which is the answer the reader
// of the moment waits for.
//
// Texts are lower case with NUL bytes as blanks, as the modem's answers are compared
// everywhere.

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>

struct TModemNotice {
  enum class TKind { Cmt, Cmti, Ring };
  TKind Kind = TKind::Cmti;
  // The notice trimmed; a +CMT notice holds its header, the line break and its PDU line.
  std::string Text;
};

// The storage (two letters, as read) and the index that a +CMTI notice names.
bool ParseCmti(const std::string& text, std::string& storage, std::string& index);

class TNoticeStream {
 public:
  // Takes the bytes of one read and returns what in them is not a notice, with its line
  // ends as they came.
  std::string Feed(std::string_view bytes);
  std::string Feed(const uint8_t* bytes, uint32_t count) {
    return Feed(std::string_view(reinterpret_cast<const char*>(bytes), count));
  }
  // Nothing more came: an unfinished notice is queued as it stands (a +CMT header whose PDU
  // line never arrived, or the part of the line that did). True when one was.
  bool Flush();
  // Queues a notice that was not read as one (a message found in the store).
  void Add(TModemNotice notice);
  // Takes the oldest queued notice.
  bool Next(TModemNotice& notice);
  // Queued notices, or an unfinished one.
  bool HasPending() const;
  bool HasQueued() const;
  // The start of a notice read so far (for tests and diagnostics).
  std::string Unfinished() const;
  // A new link: a notice that an earlier one left unfinished cannot be joined any more and is
  // dropped; whole notices stay queued.
  void DropUnfinished();

 private:
  // Flush with the lock held.
  bool QueueUnfinished();

  mutable std::mutex Lock;
  std::string Carry;
  std::deque<TModemNotice> Queue;
  bool LineFeedDue = false;  // a notice's CR ended the last read: its LF is no answer
  bool InLine = false;       // the last read ended inside a line that is no notice
};
