// The configuration reports "conf1:" to "conf4:" that a device sends in answer to a
// configuration query; their grammars are declared with the other replies in EventParsers.h.

#include "gsm/EventParsers.h"

#include "common/RegExpr.h"
#include "common/Text.h"
#include "gsm/ReplyFields.h"

#include <array>
#include <memory>

namespace {

int32_t Number(const TRegExpr& match, int group) { return StrToIntDef(match.Match(group), 0); }

}  // namespace

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
