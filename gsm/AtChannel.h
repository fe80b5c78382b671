#pragma once
// The one way to talk to the modem. The channel owns the transport (the serial port or the
// USB terminal, with its trace), the notice stream that every read passes through, and the
// name of the port mutex that serialises the exchanges of all threads and programs. The
// set-up, the reader, the stored-message operations, the send dialogue and the dispatcher's
// modem check all write and read through it.
//
// The exchange is "write a command, read its answer up to its final line within a wait": the
// notices (+CMT, +CMTI, RING) in the reads wait in the stream for the reader, whoever read
// them, and what follows the final line belongs to no answer.
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
  // Every read waits up to the wait; reading ends at the final line or when a read brings
  // nothing (a slow answer in many pieces is still read whole).
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

  // Writes a command (or the bytes of a message) whole; true when every byte went out.
  bool Write(std::string_view bytes);
  // One read of up to `capacity` bytes within `waitMs`, through the notice stream: `rest` is
  // what in it is no notice, line ends as they came. The result is the transport's; `count`
  // the bytes read, notices included.
  uint8_t Read(uint32_t capacity, uint32_t waitMs, std::string& rest, uint32_t* count = nullptr, bool settle = true);
  // Reads one answer up to its final line ("OK", "ERROR", a +CME or +CMS error); true when
  // anything was read, notices included. `read` receives the bytes read in all.
  bool ReadAnswer(uint32_t capacity, uint32_t waitMs, TAnswerWait wait, std::string& answer,
                  size_t* read = nullptr);
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
  // `answer` without the status reports that some modems send on their own at any moment
  // ("^rssi:18", "^boot:...", "+creg: 1"): a line beginning with "^", or with "+name:" when
  // `command` ("at+cpin?") is not "+name" and it is no error report.
  static std::string WithoutReports(std::string_view answer, std::string_view command);

  TModemPort Port;
  TNoticeStream Notices;
};
