#include "gsm/ReadSmsFromLog.h"

#include <algorithm>
#include <cstring>

TReadSmsFromLog::TReadSmsFromLog(TLoadUnread loadUnread) : LoadUnread(std::move(loadUnread)) {}

TReadSmsFromLog::~TReadSmsFromLog() {
  Terminate();
  WaitFor();
}

void TReadSmsFromLog::Execute() {
  TSmsInfoList list;
  PayloadLength = 0;
  Completed = false;
  if (LoadUnread) LoadUnread(list);
  if (!Terminated() && !list.empty()) {
    const std::string block = PackedSmsBlock(list, [this] { return Terminated(); });
    // The block never outgrows its capacity; the bound only keeps the copy in the array.
    const size_t length = std::min(block.size(), Payload.size());
    std::memcpy(Payload.data(), block.data(), length);
    PayloadLength = static_cast<int32_t>(length);
  }
  Completed = !Terminated();
}
