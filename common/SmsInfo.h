#pragma once
// One received message or parsed device reply, its kind codes and the payload record that
// each kind carries. All strings are code page 1251. Coordinates are the device's ddmm.mmmm
// (latitude) or dddmm.mmmm (longitude) times 100000, truncated toward zero, negative for
// south and west.

#include "common/DateTime.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Kind codes 0 to 25: replies, acknowledgements and events.
constexpr uint8_t kKindBad = 0;      // time stamp not read
constexpr uint8_t kKindUnknown = 1;  // no grammar matched
constexpr uint8_t kKindGet = 2;
constexpr uint8_t kKindSet = 3;
constexpr uint8_t kKindChg = 4;
constexpr uint8_t kKindUssd = 5;
constexpr uint8_t kKindSout = 6;
constexpr uint8_t kKindPulse = 7;
constexpr uint8_t kKindSani = 8;
constexpr uint8_t kKindScount = 9;
constexpr uint8_t kKindGani = 10;  // no grammar produces it
constexpr uint8_t kKindAlarm = 11;
constexpr uint8_t kKindCGet = 12;
constexpr uint8_t kKindSin = 13;
constexpr uint8_t kKindSain = 14;
constexpr uint8_t kKindPcl = 15;
constexpr uint8_t kKindSmode = 16;
constexpr uint8_t kKindTelup = 17;
constexpr uint8_t kKindApn = 18;
constexpr uint8_t kKindMout = 19;
constexpr uint8_t kKindReset = 20;
constexpr uint8_t kKindGconf1 = 21;
constexpr uint8_t kKindGconf2 = 22;
constexpr uint8_t kKindGconf4 = 23;
constexpr uint8_t kKindBattery = 24;
constexpr uint8_t kKindIOPoint = 25;
constexpr uint8_t kLastReplyKind = 25;

// Kind codes 128 to 166: answers to parameter queries, kind = kFirstParamKind + row.
// 164, 165 and 166 only name the event forms; such answers are stored as 11, 24 and 25.
constexpr uint8_t kFirstParamKind = 128;
constexpr uint8_t kLastParamKind = 166;
constexpr int kParamKindCount = 39;

extern const std::array<const char*, 26> SmsKindNames;
extern const std::array<const char*, kParamKindCount> SmsParamKindNames;

// The name of a kind code; "" for a code outside 0 to 25 and 128 to 166.
std::string KindName(uint8_t kind);

// The reply channel: 0 when the low 16 bits of the device number are below 10806; otherwise
// 1 when the reply carried "gprs:" (gprsMatch not empty), else 2.
uint8_t GetReplyChannel(int32_t deviceNumber, const std::string& gprsMatch);

// Base of every payload record, so that a record owns its payload whatever the kind.
struct TSmsPayload {
  virtual ~TSmsPayload() = default;
};

struct TSmsGet : TSmsPayload {  // kind 2
  TDateTime FixTime = 0;
  float Speed = 0;
  float Course = 0;
  int32_t Latitude = 0;
  int32_t Longitude = 0;
  uint8_t Valid = 0;
};

struct TSmsSet : TSmsPayload {  // kind 3
  int32_t WritePeriod = 0;
  int32_t SendPeriod = 0;
};

struct TSmsChg : TSmsPayload {  // kind 4
  std::string ServerIp;
  int32_t Port = 0;
};

struct TSmsUssd : TSmsPayload {  // kind 5 and the one-string parameter kinds
  std::string Answer;
};

struct TSmsOutput : TSmsPayload {  // kinds 6 and 19
  int16_t Output = 0;
  int16_t State = 0;
};

struct TSmsNumberedValue : TSmsPayload {  // kinds 7 and 9
  int32_t Number = 0;
  int32_t Value = 0;
};

struct TSmsSani : TSmsPayload {  // kind 8
  int16_t Value = 0;
  char Mode = 0;
};

struct TSmsAlarm : TSmsPayload {  // kind 11
  std::string InputName;
  TDateTime GpsTime = 0;
  TDateTime EventTime = 0;
  int16_t InputNumber = 0;
  float Speed = 0;
  float Course = 0;
  int32_t Latitude = 0;
  int32_t Longitude = 0;
  uint8_t Valid = 0;
};

struct TSmsCGet : TSmsPayload {  // kind 12
  std::string Phone;
  TDateTime ChangeTime = 0;
};

struct TSmsSin : TSmsPayload {  // kinds 13 and 139
  int16_t Input = 0;
  int16_t Level = 0;
  int16_t SendGprs = 0;
  int16_t SendSms = 0;
  char Mode = 0;
  std::string SmsPhone;
};

struct TSmsSain : TSmsPayload {  // kind 14
  char Ad1 = 0;
  int32_t Alv1 = 0;
  int32_t Us1 = 0;
  char Ad2 = 0;
  int32_t Alv2 = 0;
  int32_t Us2 = 0;
  int32_t Aper = 0;
  char Amod = 0;
};

struct TSmsPointCleared : TSmsPayload {  // kind 15
  int16_t Point = 0;
};

struct TSmsSmode : TSmsPayload {  // kind 16
  int16_t M = 0;
  int16_t O = 0;
  int16_t W = 0;
};

struct TSmsTeleup : TSmsPayload {  // kind 17 and the indexed-string parameter kinds
  int16_t Index = 0;
  std::string Phone;
};

struct TSmsApn : TSmsPayload {  // kinds 18 and 136
  std::string Apn;
  std::string User;
  std::string Password;
};

struct TSmsGconf1 : TSmsPayload {  // kind 21
  std::string Apn;
  std::string User;
  std::string Password;
  std::string ServerIp;
  uint16_t Port = 0;
  int32_t WritePeriod = 0;
  char WriteMode = 0;
  int32_t SendPeriod = 0;
  int16_t M = 0;
  int16_t O = 0;
  int16_t W = 0;
};

struct TSmsGconf2Input {
  int32_t Code = 0;
  std::string Text;
};

struct TSmsGconf2 : TSmsPayload {  // kind 22
  std::string Telup1;
  std::string Telup2;
  char Ro = 0;
  int32_t Count12 = 0;
  int32_t Count34 = 0;
  std::array<TSmsGconf2Input, 4> Inputs{};
  std::string Akn;
};

struct TSmsControlPoint {
  int32_t Latitude = 0;
  int32_t Longitude = 0;
  int32_t Radius = 0;
  int32_t Flags = 0;
};

struct TSmsGconf4 : TSmsPayload {  // kind 23
  std::array<TSmsControlPoint, 3> Points{};
};

struct TSmsIOPoint : TSmsPayload {  // kind 25
  std::string PointName;
  int16_t PointNumber = 0;
  uint8_t Direction = 0;  // 0 entry ("in"), 1 exit ("out")
  TDateTime Time = 0;
  uint8_t Valid = 0;
  int32_t Latitude = 0;
  int32_t Longitude = 0;
  float Speed = 0;
  float Course = 0;
};

struct TSmsParamValue : TSmsPayload {  // one-number parameter kinds
  int16_t Value = 0;
};

struct TSmsParamPair : TSmsPayload {  // indexed-number parameter kinds
  int16_t Index = 0;
  int16_t Value = 0;
};

struct TSmsControlFlags : TSmsPayload {  // kind 140
  int32_t Index = 0;
  std::array<bool, 8> Flags{};
};

struct TSmsParamPoint : TSmsPayload {  // kind 141
  int16_t Index = 0;
  int32_t Latitude = 0;
  int32_t Longitude = 0;
};

struct TSmsInfo {
  uint8_t Kind = kKindBad;
  std::string Phone;
  TDateTime Time = 0;
  int32_t DeviceNumber = 0;
  std::string DeviceName;
  uint8_t Channel = 0;
  std::string Text;
  // Owned; its type is the one the kind selects, none for the kinds without payload.
  std::unique_ptr<TSmsPayload> Payload;

  // The payload as the record type of its kind; nullptr when there is none or when it is of
  // another type.
  template <class T>
  T* PayloadAs() const {
    return dynamic_cast<T*>(Payload.get());
  }
};

// Lists of records own them: clearing the list destroys each record exactly once.
using TSmsInfoList = std::vector<std::unique_ptr<TSmsInfo>>;
