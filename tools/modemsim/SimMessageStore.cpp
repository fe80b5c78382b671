#include "tools/modemsim/SimMessageStore.h"

#include "common/Text.h"

namespace {
constexpr int kSimCapacity = 30;
constexpr int kPhoneCapacity = 100;
}  // namespace

TSimMessageStore::TSimMessageStore() {
  Storages["SM"].Capacity = kSimCapacity;
  Storages["ME"].Capacity = kPhoneCapacity;
}

const TSimMessageStore::TStorage* TSimMessageStore::Storage(std::string_view name) const {
  auto it = Storages.find(AnsiUpperCase(name));
  return it == Storages.end() ? nullptr : &it->second;
}

TSimMessageStore::TStorage* TSimMessageStore::Storage(std::string_view name) {
  auto it = Storages.find(AnsiUpperCase(name));
  return it == Storages.end() ? nullptr : &it->second;
}

bool TSimMessageStore::HasStorage(std::string_view name) const { return Storage(name) != nullptr; }

void TSimMessageStore::SetCapacity(std::string_view name, int capacity) {
  TStorage& storage = Storages[AnsiUpperCase(name)];
  storage.Capacity = capacity < 0 ? 0 : capacity;
  storage.Slots.erase(storage.Slots.upper_bound(storage.Capacity), storage.Slots.end());
}

int TSimMessageStore::Capacity(std::string_view name) const {
  const TStorage* storage = Storage(name);
  return storage ? storage->Capacity : 0;
}

int TSimMessageStore::Used(std::string_view name) const {
  const TStorage* storage = Storage(name);
  return storage ? static_cast<int>(storage->Slots.size()) : 0;
}

int TSimMessageStore::Add(std::string_view name, const TSimStoredSms& message) {
  TStorage* storage = Storage(name);
  if (!storage) return 0;
  for (int index = 1; index <= storage->Capacity; ++index) {
    if (storage->Slots.count(index)) continue;
    storage->Slots[index] = message;
    return index;
  }
  return 0;
}

TSimStoredSms* TSimMessageStore::Find(std::string_view name, int index) {
  TStorage* storage = Storage(name);
  if (!storage) return nullptr;
  auto it = storage->Slots.find(index);
  return it == storage->Slots.end() ? nullptr : &it->second;
}

bool TSimMessageStore::Remove(std::string_view name, int index) {
  TStorage* storage = Storage(name);
  return storage && storage->Slots.erase(index) > 0;
}

std::map<int, TSimStoredSms> TSimMessageStore::Messages(std::string_view name) const {
  const TStorage* storage = Storage(name);
  return storage ? storage->Slots : std::map<int, TSimStoredSms>();
}
