#pragma once
// The simulated modem's message memories ("SM" on the SIM, "ME" in the phone): numbered
// slots from 1 to the capacity, each holding one PDU with its status as AT+CMGL counts it.

#include <map>
#include <string>
#include <string_view>

struct TSimStoredSms {
  // 0 received unread, 1 received read, 2 stored unsent, 3 stored sent.
  int Status = 0;
  std::string Pdu;     // hex, service-centre part included
  int TpduLength = 0;  // octets without the service-centre part
};

class TSimMessageStore {
public:
  TSimMessageStore();

  // Storage names are compared in upper case.
  bool HasStorage(std::string_view name) const;
  // Creates the storage when it does not exist; messages above a smaller capacity are dropped.
  void SetCapacity(std::string_view name, int capacity);
  int Capacity(std::string_view name) const;
  int Used(std::string_view name) const;

  // Puts the message into the lowest free slot and answers its index, 0 when the storage is
  // full or unknown.
  int Add(std::string_view name, const TSimStoredSms& message);
  TSimStoredSms* Find(std::string_view name, int index);
  bool Remove(std::string_view name, int index);
  std::map<int, TSimStoredSms> Messages(std::string_view name) const;

private:
  struct TStorage {
    int Capacity = 0;
    std::map<int, TSimStoredSms> Slots;
  };
  const TStorage* Storage(std::string_view name) const;
  TStorage* Storage(std::string_view name);
  std::map<std::string, TStorage> Storages;
};
