#include "support/ModemWaits.h"

#include "platform/Thread.h"

#include <QCoreApplication>

#include <chrono>
#include <thread>

TSetupWaits FastSetupWaits() {
  TSetupWaits waits;
  waits.PortMutex = 300;
  waits.FirstProbeRead = 200;
  waits.ProbePause = 50;
  waits.SecondProbeRead = 300;
  waits.EchoOffRead = 300;
  waits.PinQueryRead = 300;
  waits.PinEntryRead = 300;
  waits.CnmiQueryRead = 300;
  waits.CnmiSetRead = 300;
  waits.PduModeRead = 300;
  waits.CharacterSetRead = 300;
  waits.LinePresentationRead = 300;
  waits.OperatorRead = 200;
  waits.NetworkTurnPause = 5;
  waits.Network = 1500;
  return waits;
}

TReaderWaits FastReaderWaits() {
  TReaderWaits waits;
  waits.TurnPause = 20;
  waits.PortMutex = 300;
  waits.NoticeRead = 200;
  waits.HangUpRead = 300;
  waits.StoreRead = 500;
  waits.ListRead = 500;
  return waits;
}

bool WaitUntil(const std::function<bool()>& done, int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents();
    TThread::CheckSynchronize();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void RunFor(int ms) { WaitUntil([] { return false; }, ms); }
