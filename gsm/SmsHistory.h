#pragma once
// The whole SMS log as the message window's history holds it, record by record in log order.
// Each record keeps its stored fields and what the parse of a received record gives its row
// (the kind, the device number, the reply's time), in a few dozen bytes and without the parsed
// payload, so that a history of a million records stays small. The full entry of one record,
// its reply parsed again, is made when it is needed (the detail pane, the export).
//
// The history also remembers which file it was read from and how far, so that a refresh reads
// only the records appended since (TSmsLog::LoadSmsLog).

#include "common/DateTime.h"
#include "gsm/SmsLog.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct THistoryItem {
  TDateTime Time = 0;       // as stored
  TDateTime ReplyTime = 0;  // the parsed reply's time (received records of a kind other than Bad)
  int32_t DeviceNumber = 0;
  uint32_t TextAt = 0;  // where the text starts in its block of the text store
  uint8_t TextLength = 0;
  uint8_t Direction = 0;  // the low byte of the stored direction: 0 received, anything else sent
  bool Read = false;      // as it was when the record was read
  bool Accepted = false;
  uint8_t Kind = 0;  // the parsed reply's kind; 0 for sent records
  // The phone field up to its zero byte, zero-filled (all 16 bytes when a damaged field holds
  // no zero byte).
  std::array<char, kLogPhoneSize> Phone{};
};

// Where a history stands in its log file: the file (device and inode) and the record it was
// read up to, whose bytes must read back the same (all but the read byte, which the marking
// changes) for the file to count as the same log grown longer.
struct THistoryMark {
  bool Set = false;
  uint64_t Device = 0;
  uint64_t Inode = 0;
  std::array<unsigned char, kLogRecordSize> LastRecord{};
};

class TSmsHistory {
public:
  TSmsHistory();
  ~TSmsHistory();
  TSmsHistory(const TSmsHistory&) = delete;
  TSmsHistory& operator=(const TSmsHistory&) = delete;

  size_t Count() const { return ItemCount; }
  bool Empty() const { return ItemCount == 0; }
  const THistoryItem& Item(size_t index) const { return Blocks[index / kBlockItems]->Items[index % kBlockItems]; }
  std::string_view Phone(size_t index) const;
  std::string_view Text(size_t index) const;

  // The history entry of record `index` as the log holds it, with the reply of a received
  // record parsed again (ParseLoggedSms): what the detail pane and the export show.
  std::unique_ptr<TLogEntry> Entry(size_t index) const;

  // Appends one record of the log (200 bytes), parsing it when it is a received one.
  void AppendRecord(const unsigned char* bytes);
  // Makes room for `count` records in all, so that a long load allocates its blocks once.
  void Reserve(size_t count);
  void Clear();

  THistoryMark Mark;

private:
  // Records live in blocks that never move, so a history that grows copies nothing. A block's
  // text store has room for the longest texts of the records expected in it; once the block
  // is full it gives back what its texts did not use.
  static constexpr size_t kBlockItems = 4096;
  struct TFreeTexts {
    void operator()(char* texts) const;
  };
  struct TBlock {
    std::vector<THistoryItem> Items;
    std::unique_ptr<char, TFreeTexts> Texts;
    size_t TextsUsed = 0;
    size_t TextsRoom = 0;
  };
  // Makes room for `length` more bytes of text in the last block.
  void RoomForText(TBlock& block, size_t length);

  std::vector<std::unique_ptr<TBlock>> Blocks;
  size_t ItemCount = 0;
  size_t Announced = 0;  // the records that Reserve announced
};
