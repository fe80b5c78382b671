#include "gsm/TermReader.h"

#include "common/ConvertError.h"
#include "common/Text.h"
#include "gsm/ConfigureModem.h"
#include "gsm/MonitorCore.h"
#include "platform/NamedMutex.h"

#include <chrono>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

namespace {

// An unfinished notice is kept at most this long; more is handled as it stands.
constexpr size_t kMaxPendingBytes = 8192;

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// The start of a line that may still become a notice once the rest of it arrives.
bool MayBecomeNotice(std::string_view text) {
  for (std::string_view notice : {std::string_view("+cmti:"), std::string_view("+cmt:"), std::string_view("ring")})
    if (text.size() < notice.size() && StartsWith(notice, text)) return true;
  return false;
}

// Owns the port mutex for one turn: released on every way out of it.
class TPortTurn {
 public:
  explicit TPortTurn(TNamedMutex& mutex) : Mutex(mutex) {}
  ~TPortTurn() { Mutex.Release(); }
  TPortTurn(const TPortTurn&) = delete;
  TPortTurn& operator=(const TPortTurn&) = delete;

 private:
  TNamedMutex& Mutex;
};

}  // namespace

TTermReader::TTermReader(TMonitorCore& core) : Core(core) {}

TTermReader::~TTermReader() {
  Terminate();
  WaitFor();
}

void TTermReader::HandleCmt(const std::string& text) { Core.HandleCmt(text); }

void TTermReader::HandleCmti(const std::string& text) { Core.HandleCmti(text); }

void TTermReader::TakeRead(const uint8_t* buffer, uint32_t count) {
  std::string bytes(reinterpret_cast<const char*>(buffer), count);
  for (char& c : bytes)
    if (c == '\0') c = ' ';
  Pending += AnsiLowerCase(bytes);
}

void TTermReader::HangUp() {
  Core.Modem.WriteCommand("ATH\r\n");
  std::vector<uint8_t> buffer(kNoticeReadSize);
  uint32_t count = 0;
  if (Core.Modem.ReadModem(buffer.data(), kNoticeReadSize, count, Core.ReaderWaits.HangUpRead) == kReadData)
    TakeRead(buffer.data(), count);
}

bool TTermReader::HandleUnsolicited(bool flush) {
  Pending += Core.TakeStrayNotices();
  if (Pending.size() > kMaxPendingBytes) flush = true;
  bool message = false;
  size_t pos = 0;
  for (;;) {
    while (pos < Pending.size() && static_cast<unsigned char>(Pending[pos]) <= ' ') ++pos;
    if (pos >= Pending.size()) break;
    // Pending may grow below (the answer to a hang-up), so the view is taken anew each time.
    const std::string_view rest = std::string_view(Pending).substr(pos);
    const size_t lineEnd = rest.find_first_of("\r\n");
    const size_t line = lineEnd == std::string_view::npos ? rest.size() : lineEnd;

    if (StartsWith(rest, "+cmti:")) {
      if (lineEnd == std::string_view::npos && !flush) break;
      const std::string notice = Trim(rest.substr(0, line));
      pos += line;
      HandleCmti(notice);
      // Notices that came with the answers of the store are handled after this one.
      Pending += Core.TakeStrayNotices();
      message = true;
    } else if (StartsWith(rest, "+cmt:")) {
      // The header line, the line break and the PDU line up to its end.
      size_t end = line;
      while (end < rest.size() && IsLineEnd(rest[end])) ++end;
      const size_t pduStart = end;
      while (end < rest.size() && IsHexDigit(rest[end])) ++end;
      const bool finished = end < rest.size() && pduStart < end;
      const bool headerOnly = end < rest.size() && pduStart == end;
      if (!finished && !headerOnly && !flush) break;
      HandleCmt(Trim(rest.substr(0, headerOnly ? line : end)));
      message = true;
      pos += headerOnly ? line : end;
    } else if (StartsWith(rest, "ring")) {
      pos += line;
      HangUp();
    } else {
      if (lineEnd == std::string_view::npos && !flush && MayBecomeNotice(rest)) break;
      pos += line;
    }
  }
  Pending.erase(0, pos);
  return message;
}

void TTermReader::Execute() {
  std::unique_ptr<TNamedMutex> portMutex;
  std::vector<uint8_t> buffer(kNoticeReadSize);
  bool firstTurn = true;
  while (!Terminated()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(Core.ReaderWaits.TurnPause));
    // The form creates the mutex before the set-up; a reader that finds none tries again.
    if (!portMutex) portMutex = TNamedMutex::OpenExisting(kPortMutexName);
    if (!portMutex || portMutex->Wait(Core.ReaderWaits.PortMutex) != TMutexWait::Obtained) continue;
    Turn(*portMutex, buffer, firstTurn);
    Core.DeliverUnreadSignal();
  }
  Core.DeliverUnreadSignal();
}

void TTermReader::Turn(TNamedMutex& portMutex, std::vector<uint8_t>& buffer, bool& firstTurn) {
  TPortTurn turn(portMutex);
  try {
    if (firstTurn) {
      // Parts of concatenated messages live as long as the reader.
      firstTurn = false;
      Core.Decoder.ClearFragments();
      if (ReadStoreFirst) Core.ReadAllStoredSms([this] { return Terminated(); });
    }
    if (Terminated()) return;
    uint32_t count = 0;
    const uint8_t result = Core.Modem.ReadModem(buffer.data(), kNoticeReadSize, count, Core.ReaderWaits.NoticeRead);
    if (Terminated()) return;
    if (result == kReadData && count != 0) {
      LastText = TModemPort::ReplyToText(buffer.data(), count);
      // What an exchange with the modem read past its answer came before this read.
      Pending += Core.TakeStrayNotices();
      TakeRead(buffer.data(), count);
      HandleUnsolicited(false);
    } else if (!Pending.empty() || Core.HasStrayNotices()) {
      // Nothing more came: what is kept is all there is.
      HandleUnsolicited(true);
    }
  } catch (const EConvertError&) {
    // Replies are parsed under their own guard; this only keeps the reader alive should a
    // conversion escape all the same. The turn's text is dropped.
    Pending.clear();
  }
}
