#pragma once
// The worker that packs the unread messages for the dispatcher program: it loads the unread
// received messages from the SMS log, parsed, and packs the oldest of them into one block.
// Loading and parsing the log may take a while, so it runs in a thread of its own; its
// creator sends the block from the termination handler. Nothing is marked read here.

#include "common/SmsInfo.h"
#include "gsm/UnreadBlock.h"
#include "platform/Thread.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

class TReadSmsFromLog : public TThread {
public:
  // Appends the unread received messages to the list, oldest first, and the log index of each
  // to `indexes` (the monitor core's LoadUnreadSms). Runs on the worker thread.
  using TLoadUnread = std::function<void(TSmsInfoList& list, std::vector<int32_t>& indexes)>;

  explicit TReadSmsFromLog(TLoadUnread loadUnread);
  // Execute uses the loader and the fields below: a packer destroyed while it runs is stopped
  // and waited for first.
  ~TReadSmsFromLog() override;

  // Bytes of Payload in use; 0 when nothing was packed.
  int32_t PayloadLength = 0;
  std::array<uint8_t, kUnreadBlockCapacity> Payload{};
  // Set at the end of Execute unless the thread was asked to stop; only a completed block
  // goes to the dispatcher.
  std::atomic<bool> Completed{false};
  // True when unread messages were left out of the block (more than it carries); then
  // LastPackedIndex is the log index of the last message in it, the bound up to which taking
  // the block may mark messages read.
  bool MoreUnread = false;
  int32_t LastPackedIndex = -1;

protected:
  void Execute() override;

private:
  TLoadUnread LoadUnread;
};
