#pragma once
// The one way to talk to the modem. The channel owns the transport (the serial port or the
// USB terminal, with its trace), the notice stream that every read passes through, and the
// name of the port mutex that serialises the exchanges of all threads and programs. The
// set-up, the reader, the stored-message operations, the send dialogue and the dispatcher's
// modem check all write and read through it.
//
// The exchange is "write a command, read its answer up to its final line within a wait": the
// notices (+CMT, +CMTI, RING) in the reads wait in the stream for the reader, whoever read
// them, the modem's status reports are dropped there, and what follows the final line belongs
// to no answer. A modem that sends reports all the time never holds an exchange up: only
// answer text and notices keep the reading of an answer going.
//
// Answers are in the form every AT decision is taken on: lower case, NUL bytes as blanks,
// trimmed at both ends, inner line breaks kept.

#include "gsm/ModemPort.h"
#include "gsm/NoticeStream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class TNamedMutex;

// The name of the mutex that serialises every exchange with the modem.
extern const char kPortMutexName[];

// How long an answer is read.
enum class TAnswerWait {
  // Reading ends at the final line, or when neither answer text nor a notice has come for the
  // whole wait (a slow answer in many pieces, or one behind a burst of notices, is still read
  // whole; status reports do not count).
  EachRead,
  // The whole answer within the wait: reading ends at the final line or when the wait is over.
  Whole,
  // As Whole, each piece taken as soon as it comes, without the settling pause of a read: for
  // the exchanges of the store sweep, which end at their final line anyway.
  AsItComes,
};

class TAtChannel {
 public:
  // `exeDir` is the program folder, where the trace file lives.
  explicit TAtChannel(std::string exeDir = std::string());
  TAtChannel(const TAtChannel&) = delete;
  TAtChannel& operator=(const TAtChannel&) = delete;

  // The port mutex: created by whoever opens the link, opened by name by every exchange.
  static std::unique_ptr<TNamedMutex> CreatePortMutex();
  static std::unique_ptr<TNamedMutex> OpenPortMutex();

  // Writes a command (or the bytes of a message) whole; true when every byte went out. A
  // command ("AT...") tells the notice stream which information lines answer it.
  bool Write(std::string_view bytes);
  // One read of up to `capacity` bytes within `waitMs`, through the notice stream: `rest` is
  // what in it is neither notice nor status report, line ends as they came. The result is the
  // transport's; `count` the bytes read, notices and reports included.
  uint8_t Read(uint32_t capacity, uint32_t waitMs, std::string& rest, uint32_t* count = nullptr, bool settle = true);
  // Reads one answer up to its final line ("OK", "ERROR", a +CME or +CMS error); true when
  // anything was read, notices included. `read` receives the bytes read in all. A modem that
  // never sends a final line is given up on after `maxAnswerBytes` of answer text.
  static constexpr size_t kMaxAnswerBytes = 16384;
  bool ReadAnswer(uint32_t capacity, uint32_t waitMs, TAnswerWait wait, std::string& answer,
                  size_t* read = nullptr, size_t maxAnswerBytes = kMaxAnswerBytes);
  // Write and ReadAnswer; false when the command did not go out or nothing was read.
  bool Exchange(std::string_view command, uint32_t capacity, uint32_t waitMs, TAnswerWait wait,
                std::string& answer);

  // The end (past its line break) of the first final line in `raw`; npos while none has come
  // whole.
  static size_t FinalAnswerEnd(std::string_view raw);
  // The first line of `answer` that begins with `prefix` (blanks before it skipped), trimmed;
  // empty when none does.
  static std::string AnswerLine(std::string_view answer, std::string_view prefix);
  // The first +CME or +CMS error line of `answer`; empty when none.
  static std::string ErrorLine(std::string_view answer);
  // The first line after the one at `from` in `answer` that is not blank, trimmed: the PDU
  // line after a +CMGR or +CMGL head. Empty when none.
  static std::string NextLine(std::string_view answer, size_t from);

  TModemPort Port;
  TNoticeStream Notices;
};
