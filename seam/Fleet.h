#pragma once
// The dispatcher's fleet as the monitor holds it: its vehicle groups and their vehicles, in
// the dispatcher's order. The send window offers them as targets.

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One vehicle.
struct TCarEntry {
  int32_t Device = 0;
  // The alias, or the model when the alias is empty, then " (%05d)" with the device number;
  // the device number alone ("%05d") when both are empty.
  QString Caption;
  QString Phone;
  // The first 8 characters of the vehicle's handle in code page 1251, zero-filled.
  std::array<char, 8> Password{};
  uint8_t Flag = 0;
};

// One group of vehicles.
struct TGroupEntry {
  std::string Name;  // code page 1251
  int32_t Index = 0;  // 1-based position in the dispatcher's list
  std::vector<std::unique_ptr<TCarEntry>> Cars;
};

using TFleet = std::vector<std::unique_ptr<TGroupEntry>>;

// A vehicle as the dispatcher describes it: `aliasOrModel` is the alias, or the model when the
// alias is empty; the password is the first 8 characters of `handle`.
std::unique_ptr<TCarEntry> MakeCarEntry(int32_t device, const QString& aliasOrModel,
                                        const QString& phone, const QString& handle);
// The stored password as text: the bytes up to the first zero byte, at most 8.
std::string StoredPassword(const TCarEntry& car);
