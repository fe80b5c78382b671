#include "gsm/MonitorCore.h"

#include "common/ConvertError.h"
#include "common/RegExpr.h"
#include "common/Text.h"
#include "gsm/ReplyParser.h"
#include "platform/NamedMutex.h"

#include <vector>

TMonitorCore::TMonitorCore(std::string exeDir, TMonitorEvents& events)
    : ExeDir(std::move(exeDir)), LogPath(ExeDir + "OrvexMonitor.log"), Events(events), Log(ExeDir, LogLock) {
  // A +CMT header whose PDU line never came is no message; the trace says it was dropped.
  ModemLink.Channel().Notices.DroppedNotice = [this](const std::string& header) {
    const std::string note = "+CMT header dropped, its PDU line did not come: " + header + "\r\n";
    Modem().AppendDebugLog(reinterpret_cast<const uint8_t*>(note.data()), static_cast<uint32_t>(note.size()),
                         kTraceNote);
  };
}

TMonitorCore::~TMonitorCore() {
  // Normally the owner has stopped the modem side already, while its hooks still worked.
  StopSmsSendThread();
  StopModemThreads();
}

void TMonitorCore::StopModemThreads() {
  // The owner's events may be gone already; a worker's last notice is dropped.
  HooksLive = false;
  ModemLink.StopThreads();
  HooksLive = true;
}

void TMonitorCore::CreateLogMutex() { LogMutex = TNamedMutex::Create(kLogMutexName); }

void TMonitorCore::CloseLogMutex() { LogMutex.reset(); }

void TMonitorCore::CheckUnreadSms() {
  if (Log.CheckUnreadSms()) NotifyUnreadSms();
}

bool TMonitorCore::TLogMutexLock::Acquire(unsigned timeoutMs) {
  return Core.LogMutex && Core.LogMutex->Wait(timeoutMs) == TMutexWait::Obtained;
}

void TMonitorCore::TLogMutexLock::Release() {
  if (Core.LogMutex) Core.LogMutex->Release();
}

void TMonitorCore::ApplyModemSettings(const TSettingsMirror& settings) {
  ModemLink.ApplySettings(
      {settings.PhonePort, settings.PhoneDesc, settings.PinCode, settings.CheckPin, settings.WriteDebugLog});
}

void TMonitorCore::SetupEnded(const TSetupOutcome& outcome) {
  if (HooksLive) Events.ModemSetupEnded(outcome);
}

void TMonitorCore::SignalUnreadSms() {
  if (TThread::IsMainThread()) {
    if (HooksLive) NotifyUnreadSms();
    return;
  }
  // A worker holds the port mutex here, and the main thread may be waiting for that mutex:
  // the notice waits until the worker has let the port go.
  UnreadSignalDue = true;
}

void TMonitorCore::DeliverUnreadSignal() {
  if (!UnreadSignalDue.exchange(false)) return;
  TThread::Synchronize([this] {
    if (HooksLive) NotifyUnreadSms();
  });
}

bool TMonitorCore::StoreReceivedSms(std::vector<std::string>& parts) {
  const std::string sender = parts[0];
  const std::string text = parts[2];
  TSmsInfo info;
  try {
    ParseDeviceReply(info, parts);
  } catch (const EConvertError&) {
    // The reply cannot be read as its grammar says; it is kept as it came.
    TSmsInfo raw;
    raw.Phone = sender;
    raw.Text = text;
    return AppendSmsToLog(raw, 0);
  }
  return AppendSmsToLog(info, 0);
}

bool TMonitorCore::StoreUndecodedSms(const std::string& text) {
  TSmsInfo info;
  info.Text = text;
  return AppendSmsToLog(info, 0);
}

void TMonitorCore::HandleCmt(const std::string& text) {
  static thread_local TRegExpr pattern("\\+cmt:\\s+[^,]*,(\\d+)[\r\n]+([\\da-f]+)[\r\n]*");
  if (!pattern.Exec(text)) {
    if (StoreUndecodedSms(text)) SignalUnreadSms();
    return;
  }
  if (StrToIntDef(pattern.Match(1), 0) == 0) return;
  std::vector<std::string> parts, partTags;
  Decoder.DecodeDeliverPdu(pattern.Match(2), parts, std::string(), &partTags);
  if (parts.size() == 3 && StoreReceivedSms(parts)) {
    // A message whose other parts were placed in the store leaves it once it is logged.
    SimStore.DeleteParts(partTags);
    SignalUnreadSms();
  }
  StoreGivenUpSms();
}

void TMonitorCore::StoreGivenUpSms() {
  // A message whose parts stopped coming is logged with the parts that came; its stored parts
  // then leave the store, which would otherwise fill up with them.
  for (TIncompleteSms& message : Decoder.TakeGivenUp()) {
    std::vector<std::string> parts{message.Sender, message.Time, message.Text};
    if (!StoreReceivedSms(parts)) continue;
    SimStore.DeleteParts(message.Tags);
    SignalUnreadSms();
  }
}

bool TMonitorCore::ReadStoredSms(const TStoredSms& slot) {
  std::string text;
  switch (SimStore.Read(slot, text)) {
    case TSimStore::TReadOutcome::Nothing:
      return false;
    case TSimStore::TReadOutcome::Unparsed:
      if (!StoreUndecodedSms(text)) return false;
      SimStore.Delete(slot.Index);
      SignalUnreadSms();
      return true;
    case TSimStore::TReadOutcome::Pdu:
      break;
  }
  return StoreStoredPdu(slot, text);
}

void TMonitorCore::HandleListedSms(const TStoredSms& slot, const std::string& pdu) {
  // The sweep is the monitor's own: its deletes take their answers as they come.
  StoreStoredPdu(slot, pdu, TAnswerWait::AsItComes);
}

bool TMonitorCore::StoreStoredPdu(const TStoredSms& slot, const std::string& pdu, TAnswerWait wait) {
  // A stored part of a longer message stays in the store until the whole message is logged;
  // then every stored part of it goes, wherever it was read from.
  std::vector<std::string> parts, partTags;
  const std::string tag = AnsiLowerCase(slot.Storage) + "," + slot.Index;
  Decoder.DecodeDeliverPdu(pdu, parts, tag, &partTags);
  const bool logged = parts.size() == 3 && StoreReceivedSms(parts);
  if (logged) {
    if (partTags.empty()) partTags.push_back(tag);
    // Every stored part and every stored copy of a part goes, wherever it was read from.
    SimStore.DeleteParts(partTags, wait);
    SignalUnreadSms();
  }
  StoreGivenUpSms();
  return logged;
}

void TMonitorCore::BeginReading(bool readStore) {
  // A new link: which storage the modem has selected is not known.
  SimStore.ForgetSelection();
  Decoder.ClearFragments();
  if (readStore) SimStore.QueueAllStored();
}

void TMonitorCore::GiveUpStaleSms() {
  Decoder.GiveUpStale();
  StoreGivenUpSms();
}

void TMonitorCore::ReportSend(const TSmsSendThread& thread) {
  // A send that ends after the modem was closed, or while the program ends, is reported to
  // no one.
  if (!IsModemOpen() || SendShutDown()) return;
  TLogRecord record;
  record.Direction = 1;
  record.Read = 1;
  record.Time = Log.Clock();
  record.Phone = thread.Phone;
  record.Text = thread.Text;
  record.Accepted = thread.Result == kSendDone ? 1 : 0;
  WriteSmsLogRecord(LogPath, record);
  Events.SmsSendResult(thread.Result, Errors.LastErrorText);
}

void TMonitorCore::ReadQueuedSms() {
  if (SimStore.QueuedReads() == 0) return;
  if (ModemLink.ActiveReader()) {
    // The reader reads them in its own turns, a few at a time: many messages announced during
    // a send would otherwise hold the port, and the windows, for as long as they all take.
    SimStore.PassQueuedToReader();
    return;
  }
  std::unique_ptr<TNamedMutex> portMutex = TAtChannel::OpenPortMutex();
  // Without the port the messages wait for the end of the next send.
  if (!portMutex || portMutex->Wait(Sending.Waits.FollowUpMutex) != TMutexWait::Obtained) return;
  TNamedMutexHold hold(*portMutex);
  SimStore.ReadQueued([this](const TStoredSms& slot) {
    try {
      ReadStoredSms(slot);
    } catch (const EConvertError&) {
      // Not logged, so the message stays in the modem's store; the others are still read.
    }
  });
}
