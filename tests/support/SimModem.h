#pragma once
// The simulated modem engine put where the monitor's modem code finds a modem: on the master
// side of a pseudo-terminal (the code under test opens SlavePath() as its serial port), or
// behind a device of the fake D2XX library. Tests script the engine through Sim and read what
// the host sent from it.

#include "fakes/FakeFtd2xx.h"
#include "support/PseudoTerminal.h"
#include "tools/modemsim/ModemSim.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

// A message in one part from the tests' sender, +79001234567.
TSimDeliver SimMessage(const std::string& text);

// The engine on a pseudo-terminal, served by a thread of its own.
class TSimOnPty {
 public:
  TSimOnPty();
  ~TSimOnPty();
  TSimOnPty(const TSimOnPty&) = delete;
  TSimOnPty& operator=(const TSimOnPty&) = delete;

  const std::string& SlavePath() const { return Line.SlavePath(); }
  bool IsOpen() const { return Line.IsOpen(); }
  // Stops serving and closes the master side.
  void Stop();

  TModemSim Sim;

 private:
  void Serve();

  TPseudoTerminal Line;
  std::atomic<bool> Stopping{false};
  std::thread Worker;
  std::chrono::steady_clock::time_point Start = std::chrono::steady_clock::now();
};

// The engine behind a fake USB terminal; its clock follows the steady clock.
class TSimModemLink : public TFakeModemLink {
 public:
  void HostWrote(const char* data, std::size_t size) override;
  std::size_t Waiting() override;
  std::size_t HostRead(char* buffer, std::size_t size) override;
  void Reset() override { Sim.DropDue(); }

  TModemSim Sim;

 private:
  void Tick();
  std::chrono::steady_clock::time_point Start = std::chrono::steady_clock::now();
};
