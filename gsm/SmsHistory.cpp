#include "gsm/SmsHistory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

void TSmsHistory::TFreeTexts::operator()(char* texts) const { std::free(texts); }

TSmsHistory::TSmsHistory() = default;
TSmsHistory::~TSmsHistory() = default;

std::string_view TSmsHistory::Phone(size_t index) const {
  const THistoryItem& item = Item(index);
  return std::string_view(item.Phone.data(), strnlen(item.Phone.data(), item.Phone.size()));
}

std::string_view TSmsHistory::Text(size_t index) const {
  const THistoryItem& item = Item(index);
  return std::string_view(Blocks_[index / kBlockItems]->Texts.get() + item.TextAt, item.TextLength);
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

void TSmsHistory::AppendRecord(const unsigned char* bytes) {
  if (Count_ % kBlockItems == 0) {
    if (!Blocks_.empty()) {
      // The block before is full: its text store gives back the room its texts did not take
      // (a shrinking realloc keeps the texts where they are or moves them whole).
      TBlock& full = *Blocks_.back();
      if (char* texts = static_cast<char*>(std::realloc(full.Texts.get(), std::max<size_t>(full.TextsUsed, 1)))) {
        (void)full.Texts.release();
        full.Texts.reset(texts);
      }
    }
    auto block = std::make_unique<TBlock>();
    block->Items.reserve(kBlockItems);
    // Untouched room costs no memory until a text is written into it.
    block->Texts.reset(static_cast<char*>(std::malloc(kBlockItems * kLogTextSize)));
    if (!block->Texts) throw std::bad_alloc();
    Blocks_.push_back(std::move(block));
  }
  TBlock& block = *Blocks_.back();
  const TLogRecord record = DecodeLogRecord(bytes);
  THistoryItem item;
  item.Time = record.Time;
  item.Direction = record.Direction;
  item.Read = record.Read != 0;
  item.Accepted = record.Accepted != 0;
  std::memcpy(item.Phone.data(), record.Phone.data(), std::min(record.Phone.size(), item.Phone.size()));
  item.TextAt = static_cast<uint32_t>(block.TextsUsed);
  item.TextLength = static_cast<uint8_t>(std::min(record.Text.size(), kLogTextSize));
  std::memcpy(block.Texts.get() + block.TextsUsed, record.Text.data(), item.TextLength);
  block.TextsUsed += item.TextLength;
  if (item.Direction == 0) {
    const std::unique_ptr<TSmsInfo> reply = ParseLoggedSms(record);
    item.Kind = reply->Kind;
    item.DeviceNumber = reply->DeviceNumber;
    item.ReplyTime = reply->Time;
  }
  block.Items.push_back(item);
  ++Count_;
}

void TSmsHistory::Reserve(size_t count) { Blocks_.reserve((count + kBlockItems - 1) / kBlockItems); }

void TSmsHistory::Clear() {
  Blocks_.clear();
  Count_ = 0;
  Mark = THistoryMark();
}
