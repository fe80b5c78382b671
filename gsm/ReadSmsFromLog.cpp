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
  std::vector<int32_t> indexes;
  PayloadLength = 0;
  Completed = false;
  MoreUnread = false;
  LastPackedIndex = -1;
  if (LoadUnread) LoadUnread(list, indexes);
  if (!Terminated() && !list.empty()) {
    size_t packed = 0;
    const std::string block = PackedSmsBlock(list, [this] { return Terminated(); }, &packed);
    if (packed < list.size() && packed <= indexes.size()) {
      MoreUnread = true;
      LastPackedIndex = packed == 0 ? -1 : indexes[packed - 1];
    }
    // The block never outgrows its capacity; the bound only keeps the copy in the array.
    const size_t length = std::min(block.size(), Payload.size());
    std::memcpy(Payload.data(), block.data(), length);
    PayloadLength = static_cast<int32_t>(length);
  }
  Completed = !Terminated();
}
