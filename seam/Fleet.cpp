#include "seam/Fleet.h"

#include "common/Text.h"

#include <algorithm>

std::unique_ptr<TCarEntry> MakeCarEntry(int32_t device, const QString& aliasOrModel,
                                        const QString& phone, const QString& handle) {
  auto car = std::make_unique<TCarEntry>();
  car->Device = device;
  car->Caption = aliasOrModel.isEmpty()
                     ? QString::asprintf("%05d", device)
                     : aliasOrModel + QString::asprintf(" (%05d)", device);
  car->Phone = phone;
  const std::string password = Cp1251FromQString(handle.left(static_cast<qsizetype>(car->Password.size())));
  std::copy_n(password.begin(), std::min(password.size(), car->Password.size()), car->Password.begin());
  return car;
}

std::string StoredPassword(const TCarEntry& car) {
  const auto end = std::find(car.Password.begin(), car.Password.end(), '\0');
  return std::string(car.Password.begin(), end);
}
