#include "gsm/EventParsers.h"

#include "common/RegExpr.h"
#include "common/Text.h"
#include "gsm/ReplyFields.h"

#include <array>
#include <memory>
#include <string_view>

// Each grammar keeps its matcher per thread: the compiled pattern is shared and every Exec
// starts from a clean match state, so no text sees anything of an earlier one.

namespace {

int32_t Number(const TRegExpr& match, int group) { return StrToIntDef(match.Match(group), 0); }

// The fix of an event: fix flag, latitude with its hemisphere, longitude with its side,
// speed and course, starting at group `first`.
template <class TRecord>
void ReadFix(TRecord& payload, const TRegExpr& match, int first) {
  payload.Valid = ReadValid(match.Match(first));
  payload.Latitude = ReadCoordinate(match.Match(first + 1), match.Match(first + 2), "s");
  payload.Longitude = ReadCoordinate(match.Match(first + 3), match.Match(first + 4), "w");
  payload.Speed = ReadFloat(match.Match(first + 5));
  payload.Course = ReadFloat(match.Match(first + 6));
}

}  // namespace

bool ParsePositionReply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(
      R"re(^(\d{5})(\([\w\d\s]+\))?[@#\s]{1}(gprs:)?(\d{2})(\d{2})(\d{2}).\d+,([av]{1}),([\d.]+)?,([ns]{1})?,([\d.]+)?,([we]{1})?,([\d.]+)?,([\d.]+)?,([\d]{6})$)re");
  if (!RecogniseReply(record, pattern, text, kKindGet, THeadForm::Named, ",")) return false;
  auto payload = std::make_unique<TSmsGet>();
  payload->FixTime = ReadReportDate(pattern.Match(14)) +
                     EncodeTime(Number(pattern, 4), Number(pattern, 5), Number(pattern, 6), 0);
  ReadFix(*payload, pattern, 7);
  record.Payload = std::move(payload);
  return true;
}

bool ParseTelChangeReply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(
      R"re(^(\d{5})(\([\w\d\s]+\))?[#@\s]{1}(gprs:)?telchange=[^\d]?([\d]+);datechange=(\d+).(\d+);timechange=(\d+).(\d+);$)re");
  if (!RecogniseReply(record, pattern, text, kKindCGet, THeadForm::Named, "telchange=")) return false;
  auto payload = std::make_unique<TSmsCGet>();
  payload->Phone = pattern.Match(4);
  // The reply carries no year: the change is taken to lie in the current one.
  payload->ChangeTime = EncodeDate(YearOf(Date()), Number(pattern, 6), Number(pattern, 5)) +
                        EncodeTime(Number(pattern, 7), Number(pattern, 8), 0, 0);
  record.Payload = std::move(payload);
  return true;
}

bool ParseUssdReply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(R"re(^(\d{5})(\([\w\d\s]+\))?[#@\s]{1}(gprs:)?ussd[:]?)re");
  if (!RecogniseReply(record, pattern, text, kKindUssd, THeadForm::Named, "ussd")) return false;
  auto payload = std::make_unique<TSmsUssd>();
  // The character after "ussd:" is the blank before the answer.
  size_t answerStart = static_cast<size_t>(pattern.MatchPos(0) + pattern.MatchLen(0)) + 1;
  if (answerStart < text.size()) payload->Answer = text.substr(answerStart);
  record.Payload = std::move(payload);
  return true;
}

bool ParseResetReply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(R"re(^(\d{5})(\([\w\d\s]+\))?[#@\s]{1}(gprs:)?reset$)re");
  return RecogniseReply(record, pattern, text, kKindReset, THeadForm::Named, "reset");
}

bool ParseNumberPairReply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(R"re(^(\d{5})[@\s]{1}(gprs:)?([\d]+),([\d]+)$)re");
  if (!RecogniseReply(record, pattern, text, kKindSet, THeadForm::Plain, ",")) return false;
  auto payload = std::make_unique<TSmsSet>();
  payload->WritePeriod = Number(pattern, 3);
  payload->SendPeriod = Number(pattern, 4);
  record.Payload = std::move(payload);
  return true;
}

bool ParseSetInputReply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(
      R"re((\d{5})[@\s]{1}(gprs:)?set\s+input(\d{1}),(\d{1}),(\d{1}),(\d{1}),([abc]{1}),"?([\+\d]+)?"?$)re");
  if (!RecogniseReply(record, pattern, text, kKindSin, THeadForm::Plain, "input")) return false;
  auto payload = std::make_unique<TSmsSin>();
  payload->Input = static_cast<int16_t>(Number(pattern, 3));
  payload->Level = static_cast<int16_t>(Number(pattern, 4));
  payload->SendGprs = static_cast<int16_t>(Number(pattern, 5));
  payload->SendSms = static_cast<int16_t>(Number(pattern, 6));
  payload->Mode = FirstLetter(pattern.Match(7));
  payload->SmsPhone = pattern.Match(8);
  record.Payload = std::move(payload);
  return true;
}

bool ParsePointClearedReply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(R"re((\d{5})[@\s]{1}(gprs:)?point\s+(\d{1})\s+cleared$)re");
  if (!RecogniseReply(record, pattern, text, kKindPcl, THeadForm::Plain, "cleared")) return false;
  auto payload = std::make_unique<TSmsPointCleared>();
  payload->Point = static_cast<int16_t>(Number(pattern, 3));
  record.Payload = std::move(payload);
  return true;
}

bool ParseModesReply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(R"re((\d{5})[@\s]{1}(gprs:)?m=(\d{1}),o=(\d{1}),w=(\d{1})$)re");
  if (!RecogniseReply(record, pattern, text, kKindSmode, THeadForm::Plain, ",o=")) return false;
  auto payload = std::make_unique<TSmsSmode>();
  payload->M = static_cast<int16_t>(Number(pattern, 3));
  payload->O = static_cast<int16_t>(Number(pattern, 4));
  payload->W = static_cast<int16_t>(Number(pattern, 5));
  record.Payload = std::move(payload);
  return true;
}

bool ParseServerAddressReply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(
      R"re(^(\d{5})[@\s]{1}(gprs:)?"([\d]{1,3}.[\d]{1,3}.[\d]{1,3}.[\d]{1,3})","([\d]+)"$)re");
  if (!RecogniseReply(record, pattern, text, kKindChg, THeadForm::Plain, "\",\"")) return false;
  auto payload = std::make_unique<TSmsChg>();
  payload->ServerIp = pattern.Match(3);
  payload->Port = Number(pattern, 4);
  record.Payload = std::move(payload);
  return true;
}

bool ParseTelUpReply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(R"re((\d{5})[@\s]{1}(gprs:)?telup(\d{1})="([\+\d]+)"$)re");
  if (!RecogniseReply(record, pattern, text, kKindTelup, THeadForm::Plain, "telup")) return false;
  auto payload = std::make_unique<TSmsTeleup>();
  payload->Index = static_cast<int16_t>(Number(pattern, 3));
  payload->Phone = pattern.Match(4);
  record.Payload = std::move(payload);
  return true;
}

bool ParseQuotedTripleReply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(R"re(^(\d{5})[@\s]{1}(gprs:)?"([^"]*)","([^"]*)","([^"]*)"$)re");
  if (!RecogniseReply(record, pattern, text, kKindApn, THeadForm::Plain, "\",\"")) return false;
  auto payload = std::make_unique<TSmsApn>();
  payload->Apn = pattern.Match(3);
  payload->User = pattern.Match(4);
  payload->Password = pattern.Match(5);
  record.Payload = std::move(payload);
  return true;
}

namespace {

bool ParseSwitchedOutput(TSmsInfo& record, TRegExpr& pattern, const std::string& text, uint8_t kind,
                         std::string_view keyword) {
  if (!RecogniseReply(record, pattern, text, kind, THeadForm::Plain, keyword)) return false;
  auto payload = std::make_unique<TSmsOutput>();
  payload->Output = static_cast<int16_t>(Number(pattern, 3));
  payload->State = static_cast<int16_t>(Number(pattern, 4));
  record.Payload = std::move(payload);
  return true;
}

// Pulse and counter answers name their output or counter only when there is more than one.
bool ParseNumberedValue(TSmsInfo& record, TRegExpr& pattern, const std::string& text, uint8_t kind,
                        std::string_view keyword) {
  if (!RecogniseReply(record, pattern, text, kind, THeadForm::Plain, keyword)) return false;
  auto payload = std::make_unique<TSmsNumberedValue>();
  std::string number = pattern.Match(3);
  payload->Number = number.empty() ? 1 : StrToIntDef(number, 0);
  payload->Value = Number(pattern, 4);
  record.Payload = std::move(payload);
  return true;
}

}  // namespace

bool ParseOutputReply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(R"re(^(\d{5})[@\s]{1}(gprs:)?out(\d)=(\d)$)re");
  return ParseSwitchedOutput(record, pattern, text, kKindSout, "out");
}

bool ParseMoutReply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(R"re(^(\d{5})[@\s]{1}(gprs:)?mout(\d)=(\d)$)re");
  return ParseSwitchedOutput(record, pattern, text, kKindMout, "mout");
}

bool ParsePulseReply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(R"re(^(\d{5})[@\s]{1}(gprs:)?pulse(\d?)=(\d+)$)re");
  return ParseNumberedValue(record, pattern, text, kKindPulse, "pulse");
}

bool ParseSaniReply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(R"re(^(\d{5})[@\s]{1}(gprs:)?sani=(\d+),([fv]{1})$)re");
  if (!RecogniseReply(record, pattern, text, kKindSani, THeadForm::Plain, "sani=")) return false;
  auto payload = std::make_unique<TSmsSani>();
  payload->Value = static_cast<int16_t>(Number(pattern, 3));
  payload->Mode = FirstLetter(pattern.Match(4));
  record.Payload = std::move(payload);
  return true;
}

bool ParseScountReply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(R"re(^(\d{5})[@\s]{1}(gprs:)?scount(\d?)=(\d+)$)re");
  return ParseNumberedValue(record, pattern, text, kKindScount, "scount");
}

bool ParseInputReply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(
      R"re(^(\d{5})[@\s]{1}(gprs:)?input\s(\d{1}):(\d{6}):(\d{6}).\d+,([av]{1}),([\d.]+)?,([ns]{1})?,([\d.]+)?,([we]{1})?,([\d.]+)?,([\d.]+)?,([\d]{6})$)re");
  if (!RecogniseReply(record, pattern, text, kKindAlarm, THeadForm::Plain, "input")) return false;
  auto payload = std::make_unique<TSmsAlarm>();
  payload->InputNumber = static_cast<int16_t>(Number(pattern, 3));
  TDateTime date = ReadReportDate(pattern.Match(13));
  payload->EventTime = date + ReadClockTime(pattern.Match(4));
  payload->GpsTime = date + ReadClockTime(pattern.Match(5));
  ReadFix(*payload, pattern, 6);
  record.Payload = std::move(payload);
  return true;
}

bool ParseBatteryLowReply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(R"re(^(\d{5})[@\s]{1}(gprs:)?battery low$)re");
  return RecogniseReply(record, pattern, text, kKindBattery, THeadForm::Plain, "battery low");
}

bool ParsePointReply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(
      R"re(^(\d{5})[@\s]{1}(gprs:)?point\s+(\d{1})\s+(in|out):(\d{6}).\d+,([av]{1}),([\d.]+)?,([ns]{1})?,([\d.]+)?,([we]{1})?,([\d.]+)?,([\d.]+)?,([\d]{6})$)re");
  if (!RecogniseReply(record, pattern, text, kKindIOPoint, THeadForm::Plain, "point")) return false;
  auto payload = std::make_unique<TSmsIOPoint>();
  payload->PointNumber = static_cast<int16_t>(StrToInt(pattern.Match(3)));
  payload->Direction = pattern.Match(4) == "in" ? 0 : 1;
  payload->Time = ReadReportDate(pattern.Match(13)) + ReadClockTime(pattern.Match(5));
  ReadFix(*payload, pattern, 6);
  record.Payload = std::move(payload);
  return true;
}

// The configuration reports "conf1:" to "conf4:" that a device sends in answer to a
// configuration query.

bool ParseConf1Reply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(
      R"re(^(\d{5})[@\s]{1}(gprs:)?conf1:"([^"]*)",\s?"([^"]*)",\s?"([^"]*)","([^"]*)","([^"]*)",wr=(\d+)\(([an]{1})\),snd=(\d+),m=(\d{1}),o=(\d{1}),w=(\d{1})$)re");
  if (!RecogniseReply(record, pattern, text, kKindGconf1, THeadForm::Plain, "conf1:")) return false;
  // The numbers of this report must read: a port that is no number ends the parse.
  auto payload = std::make_unique<TSmsGconf1>();
  payload->Apn = pattern.Match(3);
  payload->User = pattern.Match(4);
  payload->Password = pattern.Match(5);
  payload->ServerIp = pattern.Match(6);
  payload->Port = static_cast<uint16_t>(StrToInt(pattern.Match(7)));
  payload->WritePeriod = StrToInt(pattern.Match(8));
  payload->WriteMode = FirstLetter(pattern.Match(9));
  payload->SendPeriod = StrToInt(pattern.Match(10));
  payload->M = static_cast<int16_t>(StrToInt(pattern.Match(11)));
  payload->O = static_cast<int16_t>(StrToInt(pattern.Match(12)));
  payload->W = static_cast<int16_t>(StrToInt(pattern.Match(13)));
  record.Payload = std::move(payload);
  return true;
}

bool ParseConf2Reply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(
      R"re(^(\d{5})[@\s]{1}(gprs:)?conf2:up1=([^,]*),up2=([^,]*),ro=([yn]?),c12=(\d+),c34=(\d+),i1=([abcdef\d]+),([^,]*),i2=([abcdef\d]+),([^,]*),i3=([abcdef\d]+),([^,]*),i4=([abcdef\d]+),([^,]*),akn=([^,]*)$)re");
  if (!RecogniseReply(record, pattern, text, kKindGconf2, THeadForm::Plain, "conf2:")) return false;
  auto payload = std::make_unique<TSmsGconf2>();
  payload->Telup1 = pattern.Match(3);
  payload->Telup2 = pattern.Match(4);
  payload->Ro = FirstLetter(pattern.Match(5));
  payload->Count12 = StrToInt(pattern.Match(6));
  payload->Count34 = StrToInt(pattern.Match(7));
  for (int k = 0; k < 4; ++k) {
    // An input code is one byte in hexadecimal: only its first two digits count.
    payload->Inputs[k].Code = ReadHex(pattern.Match(8 + 2 * k), 2);
    payload->Inputs[k].Text = pattern.Match(9 + 2 * k);
  }
  payload->Akn = pattern.Match(16);
  record.Payload = std::move(payload);
  return true;
}

bool ParseConf3Reply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(
      R"re((\d{5})[@\s]{1}(gprs:)?conf3:ad1=([ad]{1}),alv1=(\d+),us1=(\d+),ad2=([ad]{1}),alv2=(\d+),us2=(\d+),aper=(\d+),amod=([fv]{1})$)re");
  if (!RecogniseReply(record, pattern, text, kKindSain, THeadForm::Plain, "conf3:ad1=")) return false;
  auto payload = std::make_unique<TSmsSain>();
  payload->Ad1 = FirstLetter(pattern.Match(3));
  payload->Alv1 = Number(pattern, 4);
  payload->Us1 = Number(pattern, 5);
  payload->Ad2 = FirstLetter(pattern.Match(6));
  payload->Alv2 = Number(pattern, 7);
  payload->Us2 = Number(pattern, 8);
  payload->Aper = Number(pattern, 9);
  payload->Amod = FirstLetter(pattern.Match(10));
  record.Payload = std::move(payload);
  return true;
}

namespace {

// The piece of `text` from the first `from` marker up to the first `to` marker; empty when
// either is missing or they stand the other way round. An empty `to` runs to the end.
std::string_view MarkedPiece(std::string_view text, std::string_view from, std::string_view to) {
  size_t start = text.find(from);
  if (start == std::string_view::npos) return {};
  if (to.empty()) return text.substr(start);
  size_t end = text.find(to);
  if (end == std::string_view::npos || end < start) return {};
  return text.substr(start, end - start);
}

void ReadControlPoint(TSmsControlPoint& point, const TRegExpr& match) {
  point.Latitude = Number(match, 1);
  if (match.Match(2) == "s") point.Latitude = -point.Latitude;
  point.Longitude = Number(match, 3);
  if (match.Match(4) == "w") point.Longitude = -point.Longitude;
  point.Radius = Number(match, 5);
  point.Flags = ReadHex(match.Match(6), std::string::npos);
}

}  // namespace

bool ParseConf4Reply(TSmsInfo& record, const std::string& text) {
  static thread_local TRegExpr pattern(R"re(^(\d{5})[@\s]{1}(gprs:)?conf4:)re");
  static thread_local std::array<TRegExpr, 3> pointPatterns{
      TRegExpr(R"re(cp1=(\d+),([ns]{1}),(\d+),([ew]{1}),r1=([\d-]+),f1=([\dabcdef]+))re"),
      TRegExpr(R"re(cp2=(\d+),([ns]{1}),(\d+),([ew]{1}),r2=([\d-]+),f2=([\dabcdef]+))re"),
      TRegExpr(R"re(cp3=(\d+),([ns]{1}),(\d+),([ew]{1}),r3=([\d-]+),f3=([\dabcdef]+))re"),
  };
  if (!RecogniseReply(record, pattern, text, kKindGconf4, THeadForm::Plain, "conf4:")) return false;
  auto payload = std::make_unique<TSmsGconf4>();
  const std::array<std::string_view, 3> pieces = {
      MarkedPiece(text, "cp1", "cp2"),
      MarkedPiece(text, "cp2", "cp3"),
      MarkedPiece(text, "cp3", ""),
  };
  for (size_t k = 0; k < pieces.size(); ++k) {
    if (pointPatterns[k].Exec(pieces[k])) ReadControlPoint(payload->Points[k], pointPatterns[k]);
  }
  record.Payload = std::move(payload);
  return true;
}
