#include "support/TestWaits.h"

int SetupBoundMs(const TSetupWaits& waits) {
  const uint32_t reads = waits.FirstProbeRead + waits.SecondProbeRead + waits.EchoOffRead +
                         waits.PinQueryRead + waits.PinEntryRead + waits.CnmiQueryRead +
                         waits.CnmiSetRead + waits.PduModeRead + waits.CharacterSetRead +
                         waits.LinePresentationRead + waits.OperatorRead;
  return static_cast<int>(waits.PortMutex + reads + waits.ProbePause + waits.NetworkTurnPause);
}
