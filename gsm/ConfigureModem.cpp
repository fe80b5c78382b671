#include "gsm/ConfigureModem.h"

#include "common/RegExpr.h"
#include "common/Text.h"
#include "platform/NamedMutex.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

// Capacity of each read of the set-up and the probe.
constexpr uint32_t kAnswerRead = 1024;

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

void SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The whole answer to `command` (the channel leaves status reports out); `read` the bytes read
// in all.
bool ProbeExchange(TAtChannel& channel, const char* command, uint32_t waitMs, std::string& answer, size_t& read) {
  answer.clear();
  read = 0;
  if (!channel.Write(command)) return false;
  channel.ReadAnswer(kAnswerRead, waitMs, TAnswerWait::Whole, answer, &read);
  return true;
}

}  // namespace

bool IsSimPin(std::string_view pin) {
  return pin.size() >= 4 && pin.size() <= 8 &&
         std::all_of(pin.begin(), pin.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool CheckModem(TAtChannel& channel, const TSetupWaits& waits) {
  std::string text;
  size_t read = 0;
  ProbeExchange(channel, "AT\r\n", waits.FirstProbeRead, text, read);  // whatever comes
  SleepMs(waits.ProbePause);

  if (!ProbeExchange(channel, "AT\r\n", waits.SecondProbeRead, text, read)) return false;
  if (read < 2) return false;
  if (!StartsWith(text, "at")) return Contains(text, "ok");

  // The modem echoes commands: switch the echo off; any answer will do.
  ProbeExchange(channel, "ATE0\r\n", waits.EchoOffRead, text, read);
  return true;
}

TConfigureModem::TConfigureModem(TAtChannel& channel, TModemError& lastError)
    : Channel(channel), Modem(channel.Port), LastError(lastError) {
  SetPriority(TThreadPriority::Idle);
}

// Execute uses this object's fields, so a set-up destroyed while it runs is stopped first.
TConfigureModem::~TConfigureModem() {
  Terminate();
  WaitFor();
}

bool TConfigureModem::Exchange(const std::string& command, uint32_t waitMs) {
  std::string answer;
  if (!Channel.Exchange(command, kAnswerRead, waitMs, TAnswerWait::Whole, answer)) return false;
  LastResponse = std::move(answer);
  return true;
}

bool TConfigureModem::ModemErrorIn(const std::string& answer) {
  const std::string line = TAtChannel::ErrorLine(answer);
  return !line.empty() && LastError.ParseModemError(line);
}

bool TConfigureModem::Accepted(bool answered) {
  if (!answered) return true;
  if (ModemErrorIn(LastResponse)) return false;
  return Contains(LastResponse, "ok");
}

void TConfigureModem::Execute() {
  Result = kSetupReady;
  std::unique_ptr<TNamedMutex> portMutex = TAtChannel::OpenPortMutex();
  if (!portMutex || portMutex->Wait(Waits.PortMutex) != TMutexWait::Obtained) {
    Result = kSetupFailed;
    Message = Cp1251("Модем занят");
    return;
  }

  const bool opened = Modem.UsesTerminal() ? OpenUsbTerminal() : OpenComPort();
  if (!opened) {
    Result = kSetupFailed;
  } else if (Terminated() || !CheckModem(Channel, Waits)) {
    Result = kSetupFailed;
    Message = Cp1251("Модем не отвечает");
  } else {
    bool passed = CheckPin ? EnterPin() : true;
    if (passed && !Terminated()) passed = ConfigureSms();
    // A termination request after the PIN step skips the configuration and ends the
    // network wait at its first turn.
    if (passed) {
      if (WaitForNetwork())
        Result = kSetupReady;
      else if (Result != kSetupTerminated)
        Result = kSetupNoOperator;
    }
  }
  portMutex->Release();
}

bool TConfigureModem::OpenComPort() { return Modem.OpenComPort(Modem.PhonePort(), Message); }

bool TConfigureModem::OpenUsbTerminal() {
  Result = kSetupReady;
  if (!Modem.Ftdi()) {
    Message = Cp1251("Прежде чем запускать программу, необходимо установить драйвер.");
    Result = kSetupFailed;
    return false;
  }
  if (Modem.FtHandle()) {
    // A terminal left open by an earlier set-up is used again; the set-up's own probe
    // decides whether it still answers.
    Modem.ReuseTerminal();
    if (!CheckModem(Channel, Waits)) {
      Result = kSetupFailed;
      Message = Cp1251("Модем не отвечает");
    }
    return true;
  }
  if (!Modem.OpenTerminal(Modem.PhoneDesc(), Message)) {
    Result = kSetupFailed;
    return false;
  }
  return true;
}

bool TConfigureModem::EnterPin() {
  Result = kSetupFailed;
  if (!Exchange("AT+CPIN?\r\n", Waits.PinQueryRead)) {
    Message = Cp1251("Модем не отвечает");
    return false;
  }
  if (Terminated()) return false;
  if (ModemErrorIn(LastResponse)) {
    Result = kSetupModemError;
    return false;
  }
  // The SIM state is judged on the command's own line, wherever it stands in the answer.
  const std::string state = TAtChannel::AnswerLine(LastResponse, "+cpin:");
  if (state.empty()) {
    Message = Cp1251("Неверный ответ модема при вводе пин кода");
    return false;
  }
  if (Contains(state, "sim pin2")) {
    Message = Cp1251("Необходим ввод PIN2 кода");
    return false;
  }
  if (!Contains(state, "sim pin")) {
    if (Contains(state, "ready")) return true;  // Result stays until Execute sets it
    if (Contains(state, "sim puk2"))
      Message = Cp1251("Необходим ввод PUK2 кода");
    else if (Contains(state, "sim puk"))
      Message = Cp1251("Необходим ввод PUK кода");
    else
      Message = Cp1251("Неверный ответ модема");
    return false;
  }

  if (PinCode.empty()) {
    Message = Cp1251("Не указан пин код");
    return false;
  }
  if (!IsSimPin(PinCode)) {
    // The PIN goes into the command as it is: a line break, a quote or a Ctrl-Z in it would
    // end the command and put one of its own on the line. Nothing of it reaches the modem.
    Channel.Port.AppendTraceNote("PIN entry refused, the PIN is not 4 to 8 digits: PIN " +
                                 TModemPort::TracedBytes(PinCode));
    Message = Cp1251("Введен неверный PIN код.");
    return false;
  }
  if (Terminated()) return false;
  if (!Exchange("AT+CPIN=\"" + PinCode + "\"\r\n", Waits.PinEntryRead)) {
    Message = Cp1251("Модем не отвечает");
    return false;
  }
  if (ModemErrorIn(LastResponse)) {
    Result = kSetupModemError;
    return false;
  }
  if (Contains(LastResponse, "ok")) {
    Result = kSetupReady;
    return true;
  }
  Message = Cp1251("Неверный ответ модема при вводе пин кода");
  return false;
}

bool TConfigureModem::ConfigureSms() {
  Message.clear();
  bool ok = false;
  const std::string value = NegotiateCnmi();
  if (value.empty()) {
    Message = Cp1251("Ошибка при настройке модема\r\nВыбраный модем не поддерживается");
  } else {
    ok = Accepted(Exchange("AT+CNMI=" + value + "\r\n", Waits.CnmiSetRead));
  }
  // The later commands go out even after a refusal; their answers then stay in the port.
  const struct {
    const char* Command;
    uint32_t Wait;
    bool Judged;
  } steps[] = {
      {"AT+CMGF=0\r\n", Waits.PduModeRead, true},
      {"AT+CSCS=\"GSM\"\r\n", Waits.CharacterSetRead, true},
      {"AT+COLP=1\r\n", Waits.LinePresentationRead, false},
  };
  for (const auto& step : steps) {
    if (!ok) {
      Channel.Write(step.Command);
      continue;
    }
    const bool answered = Exchange(step.Command, step.Wait);
    if (step.Judged) ok = Accepted(answered);
  }
  if (!ok) {
    if (Message.empty()) Message = Cp1251("Ошибка при настройке модема\r\nВозможно выбраный модем не поддерживается");
    Result = kSetupFailed;
  }
  return ok;
}

std::string TConfigureModem::NegotiateCnmi() {
  if (!Exchange("AT+CNMI=?\r\n", Waits.CnmiQueryRead)) return std::string();
  if (ModemErrorIn(LastResponse)) return std::string();
  TRegExpr lists("\\+cnmi:\\s+\\(([^\\)]+)\\),\\(([^\\)]+)\\)");
  if (!lists.Exec(LastResponse)) return std::string();
  const std::string mode = PickCnmiValue(lists.Match(1), TCnmiKind::Mode);
  const std::string mt = PickCnmiValue(lists.Match(2), TCnmiKind::Mt);
  if (mode.empty() || mt.empty()) return std::string();
  return mode + "," + mt;
}

std::string TConfigureModem::PickCnmiValue(const std::string& list, TCnmiKind kind) {
  // Most wanted first: for the mode, buffered notices flushed to the link (2); for new
  // messages, the storage index notice (1).
  const char modePreferences[] = {'2', '1', '3'};
  const char mtPreferences[] = {'1', '2', '3'};
  const char* preferences = kind == TCnmiKind::Mode ? modePreferences : mtPreferences;

  TRegExpr range("(\\d)-(\\d)");
  if (range.Exec(list)) {
    const char low = range.Match(1)[0];
    const char high = range.Match(2)[0];
    for (int i = 0; i < 3; ++i)
      if (low <= preferences[i] && preferences[i] <= high) return std::string(1, preferences[i]);
    return std::string();
  }
  for (int i = 0; i < 2; ++i)
    if (list.find(preferences[i]) != std::string::npos) return std::string(1, preferences[i]);
  if (list.find('3') != std::string::npos) return "3";
  return std::string();
}

bool TConfigureModem::WaitForNetwork() {
  TRegExpr cops("\\+cops: ([^,]+),*([^,]*),*([^,]*)");
  const auto start = std::chrono::steady_clock::now();
  const auto end = start + std::chrono::milliseconds(Waits.Network);
  while (std::chrono::steady_clock::now() < end) {
    SleepMs(Waits.NetworkTurnPause);
    if (Terminated()) {
      Result = kSetupTerminated;
      return false;
    }
    if (!Exchange("AT+COPS?\r\n", Waits.OperatorRead)) continue;
    if (ModemErrorIn(LastResponse)) continue;
    if (!cops.Exec(LastResponse)) continue;
    if (!cops.Match(3).empty()) return true;
  }
  return false;
}
