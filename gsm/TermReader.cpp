#include "gsm/TermReader.h"

#include "common/ConvertError.h"
#include "common/Text.h"
#include "gsm/ConfigureModem.h"
#include "gsm/MonitorCore.h"
#include "platform/NamedMutex.h"

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

TTermReader::TTermReader(TMonitorCore& core) : Core(core) {}

TTermReader::~TTermReader() {
  Terminate();
  WaitFor();
}

void TTermReader::HandleCmt(const std::string& text) { Core.HandleCmt(text); }

void TTermReader::HandleCmti(const std::string& text) { Core.HandleCmti(text); }

void TTermReader::HangUp() {
  Core.Modem.WriteCommand("ATH\r\n");
  std::vector<uint8_t> buffer(kNoticeReadSize);
  uint32_t count = 0;
  // The answer is not looked at; a notice that came with it is kept.
  if (Core.Modem.ReadModem(buffer.data(), kNoticeReadSize, count, Core.ReaderWaits.HangUpRead) == kReadData)
    Core.Unsolicited.Feed(buffer.data(), count);
}

bool TTermReader::HandleUnsolicited(bool flush) {
  if (flush) Core.Unsolicited.Flush();
  bool message = false;
  TModemNotice notice;
  // Reading a stored message may bring more notices; they are handled in this turn too, until
  // the turn has held the port long enough: then the rest waits for the next turn, and a send
  // or a check of the modem gets the port in between.
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(Core.ReaderWaits.TurnLength);
  while (!Terminated() && std::chrono::steady_clock::now() < end && Core.Unsolicited.Next(notice)) {
    switch (notice.Kind) {
      case TModemNotice::TKind::Cmt:
        HandleCmt(notice.Text);
        message = true;
        break;
      case TModemNotice::TKind::Cmti:
        HandleCmti(notice.Text);
        message = true;
        break;
      case TModemNotice::TKind::Stored:
        Core.HandleListedSms(notice.Text);
        message = true;
        break;
      case TModemNotice::TKind::Ring:
        HangUp();
        break;
    }
  }
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
  TNamedMutexHold turn(portMutex);
  try {
    if (firstTurn) {
      // Parts of concatenated messages, and notices read in part, live as long as the reader.
      firstTurn = false;
      Core.Decoder.ClearFragments();
      Core.Unsolicited.DropUnfinished();
      if (ReadStoreFirst) Core.QueueAllStoredSms();
    }
    if (Terminated()) return;
    // Notices left by the last turn, or read by other exchanges, come before a new read.
    if (Core.Unsolicited.HasQueued()) {
      HandleUnsolicited(false);
      return;
    }
    uint32_t count = 0;
    const uint8_t result = Core.Modem.ReadModem(buffer.data(), kNoticeReadSize, count, Core.ReaderWaits.NoticeRead);
    if (Terminated()) return;
    if (result == kReadData && count != 0) {
      LastText = TModemPort::ReplyToText(buffer.data(), count);
      Core.Unsolicited.Feed(buffer.data(), count);
      HandleUnsolicited(false);
    } else if (Core.Unsolicited.HasPending()) {
      // Nothing more came: an unfinished notice is all there is of it.
      HandleUnsolicited(true);
    }
  } catch (const EConvertError&) {
    // Replies are parsed under their own guard; this only keeps the reader alive should a
    // conversion escape all the same. The notice that raised it is dropped.
  }
}
