#include "support/SimModem.h"

#include <poll.h>
#include <unistd.h>

#include <cstring>

namespace {

uint64_t Since(std::chrono::steady_clock::time_point start) {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

}  // namespace

TSimDeliver SimMessage(const std::string& text) {
  TSimDeliver message;
  message.Sender = "+79001234567";
  message.Text = text;
  return message;
}

TSimOnPty::TSimOnPty() {
  if (Line.IsOpen()) Worker = std::thread([this] { Serve(); });
}

TSimOnPty::~TSimOnPty() { Stop(); }

void TSimOnPty::Stop() {
  Stopping = true;
  if (Worker.joinable()) Worker.join();
  Line.Close();
}

void TSimOnPty::Serve() {
  while (!Stopping) {
    pollfd p{Line.MasterFd(), POLLIN, 0};
    if (::poll(&p, 1, 2) > 0 && (p.revents & POLLIN)) {
      char chunk[1024];
      const ssize_t n = ::read(Line.MasterFd(), chunk, sizeof chunk);
      Sim.AdvanceTo(Since(Start));
      if (n > 0) Sim.Feed(std::string_view(chunk, static_cast<size_t>(n)));
    }
    Sim.AdvanceTo(Since(Start));
    if (Sim.PendingBytes() > 0) Line.Send(Sim.Take());
  }
}

void TSimModemLink::Tick() { Sim.AdvanceTo(Since(Start)); }

void TSimModemLink::HostWrote(const char* data, std::size_t size) {
  Tick();
  Sim.Feed({data, size});
}

std::size_t TSimModemLink::Waiting() {
  Tick();
  return Sim.PendingBytes();
}

std::size_t TSimModemLink::HostRead(char* buffer, std::size_t size) {
  Tick();
  const std::string bytes = Sim.Take(size);
  std::memcpy(buffer, bytes.data(), bytes.size());
  return bytes.size();
}
