// Arbitrary bytes as what a host writes to the simulated modem, as a PDU it sends and as the
// sender and text of a message it delivers: the engine answers or refuses, and never reads or
// writes out of bounds, hangs, or hands out more than a read asks for.

#include "tools/modemsim/ModemSim.h"
#include "tools/modemsim/SimPdu.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // The bytes as a SUBMIT PDU, with and without the announced length.
  {
    TSimSubmit message;
    SimDecodeSubmitPdu(bytes, -1, message);
    SimDecodeSubmitPdu(bytes, static_cast<int>(size / 2), message);
  }

  // The bytes as the host's side of a session, in chunks, with the clock moving between them.
  {
    TModemSim sim;
    TSimDeliver stored;
    stored.Sender = "+79001234567";
    stored.Text = "stored";
    sim.StoreSms(stored);
    size_t position = 0;
    while (position < size) {
      size_t chunk = std::min<size_t>(1 + static_cast<uint8_t>(bytes[position]) % 64, size - position);
      sim.Feed(bytes.substr(position, chunk));
      position += chunk;
      sim.Advance(static_cast<uint8_t>(bytes[position - 1]));
      if (sim.Take(1024).size() > 1024) __builtin_trap();
    }
    sim.Advance(TModemSim::kNever);
    sim.Take();
    if (sim.PendingBytes() != 0) __builtin_trap();
  }

  // The bytes as sender and text of a delivered message.
  {
    size_t split = size > 0 ? static_cast<uint8_t>(bytes[0]) % (size + 1) : 0;
    TSimDeliver message;
    message.Sender = std::string(bytes.substr(0, split));
    message.Text = std::string(bytes.substr(split));
    message.Parts = size > 1 ? static_cast<uint8_t>(bytes[1]) % 4 : 0;
    for (const TSimPdu& pdu : SimBuildDeliverPdus(message))
      if (pdu.Hex.size() % 2 != 0 || pdu.TpduLength > 176) __builtin_trap();
  }
  return 0;
}
