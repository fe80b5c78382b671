#include "gsm/TermReader.h"

#include "common/ConvertError.h"
#include "common/Text.h"
#include "gsm/AtChannel.h"
#include "gsm/NoticeStream.h"
#include "platform/NamedMutex.h"

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

TTermReader::TTermReader(TAtChannel& channel, TReaderHost& host, const TReaderWaits& waits)
    : Channel(channel), Host(host), Waits(waits) {}

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

bool TTermReader::HandleUnsolicited(bool flush) {
  if (flush) Channel.Notices.Flush();
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
        Host.HandleCmti(notice.Text);
        message = true;
        break;
      case TModemNotice::TKind::Stored:
        Host.HandleListedSms(notice.Text);
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
  bool firstTurn = true;
  while (!Terminated()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(Waits.TurnPause));
    // The form creates the mutex before the set-up; a reader that finds none tries again.
    if (!portMutex) portMutex = TAtChannel::OpenPortMutex();
    if (!portMutex || portMutex->Wait(Waits.PortMutex) != TMutexWait::Obtained) continue;
    Turn(*portMutex, firstTurn);
    Host.DeliverUnreadSignal();
  }
  Host.DeliverUnreadSignal();
}

void TTermReader::Turn(TNamedMutex& portMutex, bool& firstTurn) {
  TNamedMutexHold turn(portMutex);
  try {
    if (firstTurn) {
      // Parts of concatenated messages, and notices read in part, live as long as the reader.
      firstTurn = false;
      Channel.Notices.DropUnfinished();
      Host.BeginReading(ReadStoreFirst);
    }
    if (Terminated()) return;
    // Notices left by the last turn, or read by other exchanges, come before a new read.
    if (Channel.Notices.HasQueued()) {
      HandleUnsolicited(false);
      return;
    }
    uint32_t count = 0;
    std::string rest;
    const uint8_t result = Channel.Read(kNoticeReadSize, Waits.NoticeRead, rest, &count);
    if (Terminated()) return;
    if (result == kReadData && count != 0) {
      // What is no notice has no command to belong to and is dropped.
      HandleUnsolicited(false);
    } else if (Channel.Notices.HasPending()) {
      // Nothing more came: an unfinished notice is all there is of it.
      HandleUnsolicited(true);
    }
  } catch (const EConvertError&) {
    // Replies are parsed under their own guard; this only keeps the reader alive should a
    // conversion escape all the same. The notice that raised it is dropped.
  }
}
