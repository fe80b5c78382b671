#include "gsm/SmsHistory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

void TSmsHistory::TFreeTexts::operator()(char* texts) const { std::free(texts); }

TSmsHistory::TSmsHistory() = default;
TSmsHistory::~TSmsHistory() = default;

std::string_view TSmsHistory::Phone(size_t index) const {
  const THistoryItem& item = Item(index);
  return std::string_view(item.Phone.data(), strnlen(item.Phone.data(), item.Phone.size()));
}

std::string_view TSmsHistory::Text(size_t index) const {
  const THistoryItem& item = Item(index);
  return std::string_view(Blocks[index / kBlockItems]->Texts.get() + item.TextAt, item.TextLength);
}

std::unique_ptr<TLogEntry> TSmsHistory::Entry(size_t index) const {
  const THistoryItem& item = Item(index);
  auto entry = std::make_unique<TLogEntry>();
  entry->Direction = item.Direction;
  entry->Read = item.Read;
  entry->Accepted = item.Accepted;
  entry->Time = item.Time;
  entry->Phone = std::string(Phone(index));
  entry->Text = std::string(Text(index));
  if (entry->Direction == 0) entry->Reply = ParseLoggedSms(*entry);
  return entry;
}

namespace {

// Moves a text store to a size of `room` bytes (texts are found by offset, so they may move).
template <typename TTexts>
void ResizeTexts(TTexts& texts, size_t room) {
  char* moved = static_cast<char*>(std::realloc(texts.get(), std::max<size_t>(room, 1)));
  if (!moved) throw std::bad_alloc();
  (void)texts.release();
  texts.reset(moved);
}

}  // namespace

void TSmsHistory::RoomForText(TBlock& block, size_t length) {
  if (block.TextsUsed + length <= block.TextsRoom) return;
  block.TextsRoom = std::min(kBlockItems * kLogTextSize, std::max(2 * block.TextsRoom, block.TextsUsed + length));
  ResizeTexts(block.Texts, block.TextsRoom);
}

void TSmsHistory::AppendRecord(const unsigned char* bytes) {
  if (ItemCount % kBlockItems == 0) {
    if (!Blocks.empty()) {
      // The block before is full: its text store gives back the room its texts did not take.
      TBlock& full = *Blocks.back();
      ResizeTexts(full.Texts, full.TextsUsed);
      full.TextsRoom = full.TextsUsed;
    }
    auto block = std::make_unique<TBlock>();
    const size_t expected = std::clamp<size_t>(Announced > ItemCount ? Announced - ItemCount : 1, 1, kBlockItems);
    block->Items.reserve(expected);
    // Room for the longest texts: untouched room costs no memory until a text is written.
    block->TextsRoom = expected * kLogTextSize;
    ResizeTexts(block->Texts, block->TextsRoom);
    Blocks.push_back(std::move(block));
  }
  TBlock& block = *Blocks.back();
  const TLogRecordView record = ViewLogRecord(bytes);
  THistoryItem item;
  item.Time = record.Time;
  item.Direction = record.Direction;
  item.Read = record.Read != 0;
  item.Accepted = record.Accepted != 0;
  std::memcpy(item.Phone.data(), record.Phone.data(), std::min(record.Phone.size(), item.Phone.size()));
  item.TextAt = static_cast<uint32_t>(block.TextsUsed);
  item.TextLength = static_cast<uint8_t>(std::min(record.Text.size(), kLogTextSize));
  RoomForText(block, item.TextLength);
  std::memcpy(block.Texts.get() + block.TextsUsed, record.Text.data(), item.TextLength);
  block.TextsUsed += item.TextLength;
  if (item.Direction == 0) {
    TSmsInfo reply;
    ParseLoggedSms(reply, record.Phone, record.Time, record.Text);
    item.Kind = reply.Kind;
    item.DeviceNumber = reply.DeviceNumber;
    item.ReplyTime = reply.Time;
  }
  block.Items.push_back(item);
  ++ItemCount;
}

void TSmsHistory::Reserve(size_t count) {
  Announced = std::max(Announced, count);
  Blocks.reserve((count + kBlockItems - 1) / kBlockItems);
}

void TSmsHistory::Clear() {
  Blocks.clear();
  ItemCount = 0;
  Announced = 0;
  Mark = THistoryMark();
}
