#include "gsm/ModemLink.h"

#include "platform/NamedMutex.h"

TModemLink::TModemLink(std::string exeDir, TModemError& lastError, TLinkHost& host)
    : LinkChannel(std::move(exeDir)), LastError(lastError), Host(host) {}

TModemLink::~TModemLink() { StopThreads(); }

void TModemLink::ApplySettings(const TModemLinkSettings& settings) {
  TModemPort& modem = LinkChannel.Port;
  modem.SetPhonePort(settings.Port);
  modem.SetPhoneDesc(settings.Description);
  modem.WriteDebugLog = settings.WriteDebugLog;
  PinCode = settings.PinCode;
  CheckPin = settings.CheckPin;
}

bool TModemLink::Open() {
  if (ActiveSetup) return false;
  PortMutex = TAtChannel::CreatePortMutex();
  auto setup = std::make_unique<TConfigureModem>(LinkChannel, LastError);
  setup->SetPriority(SetupPriority);
  setup->Waits = SetupWaits;
  setup->PinCode = PinCode;
  setup->CheckPin = CheckPin;
  ActiveSetup = setup.get();
  Threads.Start(std::move(setup), [this](TThread& ended) { SetupTerminated(ended); });
  return true;
}

void TModemLink::SetupTerminated(TThread& thread) {
  auto& setup = static_cast<TConfigureModem&>(thread);
  switch (setup.Result) {
    case kSetupReady:
      // Messages that reached the store while nobody listened are read first.
      StartReader(true);
      Host.SetupEnded({TModemState::Open, std::string(), true});
      break;
    case kSetupModemError:
    case kSetupFailed:
      Close();
      // After a +CME/+CMS error of the PIN step the text is the last modem error already.
      if (setup.Result == kSetupFailed) LastError.LastErrorText = setup.Message;
      Host.SetupEnded({TModemState::Closed, LastError.LastErrorText, setup.Result != kSetupModemError});
      break;
    default:
      // No operator, or stopped: the port stays open without a reader, nothing is reported.
      break;
  }
  ActiveSetup = nullptr;
}

void TModemLink::Close() {
  TModemPort& modem = LinkChannel.Port;
  if (modem.UsesTerminal()) {
    if (modem.FtHandle()) modem.CloseTerminal();
  } else {
    modem.ComPort.Close();
  }
  StopReader();
  Host.LinkClosed();
  // The port mutex goes with the transport.
  PortMutex.reset();
}

bool TModemLink::IsOpen() const {
  const TModemPort& modem = LinkChannel.Port;
  return modem.UsesTerminal() ? modem.FtHandle() != nullptr : modem.ComPort.IsOpen();
}

bool TModemLink::IsLost() {
  TModemPort& modem = LinkChannel.Port;
  return modem.UsesTerminal() ? modem.IsTerminalLost() : modem.IsComPortLost();
}

void TModemLink::StartReader(bool readStore) {
  StopReader();
  auto reader = std::make_unique<TTermReader>(LinkChannel, Host, Waits);
  reader->ReadStoreFirst = readStore;
  reader->SetPriority(TThreadPriority::Normal);
  ActiveTermReader = reader.get();
  // The last reader may still be in its turn, or waiting for the port: the new one waits for
  // its end.
  if (RunningReader)
    DueReader = std::move(reader);
  else
    LaunchReader(std::move(reader));
}

void TModemLink::LaunchReader(std::unique_ptr<TTermReader> reader) {
  RunningReader = Threads.Start(std::move(reader), [this](TThread& ended) { ReaderEnded(ended); });
}

void TModemLink::ReaderEnded(TThread& reader) {
  if (&reader != RunningReader) return;
  RunningReader = nullptr;
  if (DueReader) LaunchReader(std::move(DueReader));
}

void TModemLink::StopReader() {
  TTermReader* reader = ActiveTermReader.exchange(nullptr);
  if (!reader) return;
  if (reader == DueReader.get())
    DueReader.reset();  // never started
  else
    reader->Terminate();
}

void TModemLink::StopThreads() {
  ActiveTermReader = nullptr;
  DueReader.reset();
  Threads.StopAll();
  RunningReader = nullptr;
  ActiveSetup = nullptr;
  PortMutex.reset();
}
