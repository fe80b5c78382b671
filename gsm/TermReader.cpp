#include "gsm/TermReader.h"

#include "common/ConvertError.h"
#include "common/Text.h"
#include "gsm/AtChannel.h"
#include "gsm/NoticeStream.h"
#include "platform/NamedMutex.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

std::atomic<int> RunningReaders{0};

}  // namespace

TTermReader::TTermReader(TAtChannel& channel, TReaderHost& host, const TReaderWaits& waits)
    : Channel(channel), Host(host), Waits(waits) {}

int TTermReader::Running() { return RunningReaders.load(); }

TTermReader::~TTermReader() {
  Terminate();
  WaitFor();
}

void TTermReader::HangUp() {
  Channel.Write("ATH\r\n");
  // The answer is not looked at; a notice that came with it is kept in the stream.
  std::string answer;
  Channel.Read(kNoticeReadSize, Waits.HangUpRead, answer);
}

bool TTermReader::HandleUnsolicited(bool quiet) {
  Channel.Notices.Flush(quiet);
  bool message = false;
  TModemNotice notice;
  // Reading a stored message may bring more notices; they are handled in this turn too, until
  // the turn has held the port long enough: then the rest waits for the next turn, and a send
  // or a check of the modem gets the port in between.
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(Waits.TurnLength);
  while (!Terminated() && std::chrono::steady_clock::now() < end && Channel.Notices.Next(notice)) {
    switch (notice.Kind) {
      case TModemNotice::TKind::Cmt:
        Host.HandleCmt(notice.Text);
        message = true;
        break;
      case TModemNotice::TKind::Cmti:
        // A +CMTI line that names no stored message is no message.
        if (!notice.Slot.Index.empty()) Host.HandleCmti(notice.Slot);
        message = true;
        break;
      case TModemNotice::TKind::Stored:
        Host.HandleListedSms(notice.Slot, notice.Pdu);
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
  ++RunningReaders;
  struct TCount {
    ~TCount() { --RunningReaders; }
  } counted;
  std::unique_ptr<TNamedMutex> portMutex;
  bool firstTurn = true;
  bool busy = false;
  while (!Terminated()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(busy ? Waits.BusyPause : Waits.TurnPause));
    busy = false;
    if (Terminated()) break;
    // The form creates the mutex before the set-up; a reader that finds none tries again.
    if (!portMutex) portMutex = TAtChannel::OpenPortMutex();
    if (!portMutex || portMutex->Wait(Waits.PortMutex) != TMutexWait::Obtained) continue;
    busy = Turn(*portMutex, firstTurn);
    Host.DeliverUnreadSignal();
  }
  Host.DeliverUnreadSignal();
}

bool TTermReader::Turn(TNamedMutex& portMutex, bool& firstTurn) {
  TNamedMutexHold turn(portMutex);
  // A reader asked to end while it waited for the port does nothing more with it.
  if (Terminated()) return false;
  try {
    if (firstTurn) {
      // Parts of concatenated messages, and notices read in part, live as long as the reader.
      firstTurn = false;
      Channel.Notices.DropUnfinished();
      Host.BeginReading(ReadStoreFirst);
    }
    Host.GiveUpStaleSms();
    if (Terminated()) return false;
    // Notices left by the last turn, or read by other exchanges, come before a new read.
    if (Channel.Notices.HasQueued()) {
      HandleUnsolicited(false);
      return true;
    }
    uint32_t count = 0;
    std::string rest;
    const uint8_t result = Channel.Read(kNoticeReadSize, Waits.NoticeRead, rest, &count);
    if (Terminated()) return false;
    const bool read = result == kReadData && count != 0;
    // What is no notice has no command to belong to and is dropped. An unfinished notice is
    // taken as it stands when nothing more came, or once it has waited its time although the
    // line never went quiet.
    HandleUnsolicited(!read);
    return read;
  } catch (const EConvertError&) {
    // Replies are parsed under their own guard; this only keeps the reader alive should a
    // conversion escape all the same. The notice that raised it is dropped.
    return false;
  }
}
