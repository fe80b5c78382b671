#include "gsm/UnreadBlock.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace {

// Appends values in the block's byte order, whatever the machine's.
class TRecordWriter {
public:
  void U8(uint8_t value) { Bytes.push_back(static_cast<char>(value)); }
  void U16(uint16_t value) { Unsigned(value, 2); }
  void I16(int16_t value) { U16(static_cast<uint16_t>(value)); }
  // The low two bytes of a 32-bit field.
  void Low16(int32_t value) { U16(static_cast<uint16_t>(static_cast<uint32_t>(value) & 0xFFFFu)); }
  void I32(int32_t value) { Unsigned(static_cast<uint32_t>(value), 4); }
  void Char(char value) { U8(static_cast<uint8_t>(value)); }
  void Float(float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    Unsigned(bits, 4);
  }
  void Double(double value) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    Unsigned(bits, 8);
  }
  void String(const std::string& text) {
    // The reader takes a string up to its zero byte: an inner one ends it here too, so the
    // fields after it stay where the reader looks for them.
    Bytes.append(text.c_str());
    Bytes.push_back('\0');
  }

  std::string Bytes;

private:
  void Unsigned(uint64_t value, int width) {
    for (int i = 0; i < width; ++i) Bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFFu));
  }
};

// The payload of the kind's record type, or a default one when the record carries none of
// that type.
template <class T>
const T& PayloadOf(const TSmsInfo& info) {
  static const T empty{};
  const T* payload = info.PayloadAs<T>();
  return payload ? *payload : empty;
}

void PositionFix(TRecordWriter& out, TDateTime time, float speed, float course, int32_t latitude,
                 int32_t longitude, uint8_t valid) {
  out.Double(time);
  out.Float(speed);
  out.Float(course);
  out.I32(latitude);
  out.I32(longitude);
  out.U8(valid);
}

void Body(TRecordWriter& out, const TSmsInfo& info) {
  switch (info.Kind) {
    case kKindGet: {
      const auto& p = PayloadOf<TSmsGet>(info);
      PositionFix(out, p.FixTime, p.Speed, p.Course, p.Latitude, p.Longitude, p.Valid);
      break;
    }
    case kKindSet: {
      const auto& p = PayloadOf<TSmsSet>(info);
      out.I32(p.WritePeriod);
      out.I32(p.SendPeriod);
      break;
    }
    case kKindChg: {
      const auto& p = PayloadOf<TSmsChg>(info);
      out.Low16(p.Port);
      out.String(p.ServerIp);
      break;
    }
    case kKindUssd:
      out.String(PayloadOf<TSmsUssd>(info).Answer);
      break;
    case kKindSout:
    case kKindMout: {
      const auto& p = PayloadOf<TSmsOutput>(info);
      out.I16(p.Output);
      out.I16(p.State);
      break;
    }
    case kKindPulse:
    case kKindScount: {
      const auto& p = PayloadOf<TSmsNumberedValue>(info);
      out.Low16(p.Number);
      out.I32(p.Value);
      break;
    }
    case kKindSani: {
      const auto& p = PayloadOf<TSmsSani>(info);
      out.I16(p.Value);
      out.Char(p.Mode);
      break;
    }
    case kKindAlarm: {
      const auto& p = PayloadOf<TSmsAlarm>(info);
      PositionFix(out, p.GpsTime, p.Speed, p.Course, p.Latitude, p.Longitude, p.Valid);
      out.Double(p.EventTime);
      out.I16(p.InputNumber);
      break;
    }
    case kKindCGet: {
      const auto& p = PayloadOf<TSmsCGet>(info);
      out.Double(p.ChangeTime);
      out.String(p.Phone);
      break;
    }
    case kKindSin: {
      const auto& p = PayloadOf<TSmsSin>(info);
      out.I16(p.Input);
      out.I16(p.Level);
      out.U8(static_cast<uint8_t>(static_cast<uint16_t>(p.Level) & 0xFFu));  // the level's low byte
      out.I16(p.SendGprs);
      out.I16(p.SendSms);
      out.String(p.SmsPhone);
      break;
    }
    case kKindSain: {
      const auto& p = PayloadOf<TSmsSain>(info);
      out.I32(p.Aper);
      out.Char(p.Amod);
      out.Char(p.Ad1);
      out.I32(p.Alv1);
      out.I32(p.Us1);
      out.Char(p.Ad2);
      out.I32(p.Alv2);
      out.I32(p.Us2);
      break;
    }
    case kKindPcl:
      out.I16(PayloadOf<TSmsPointCleared>(info).Point);
      break;
    case kKindSmode: {
      const auto& p = PayloadOf<TSmsSmode>(info);
      out.I16(p.M);
      out.I16(p.O);
      out.I16(p.W);
      break;
    }
    case kKindTelup: {
      const auto& p = PayloadOf<TSmsTeleup>(info);
      out.I16(p.Index);
      out.String(p.Phone);
      break;
    }
    case kKindApn: {
      const auto& p = PayloadOf<TSmsApn>(info);
      out.String(p.Apn);
      out.String(p.User);
      out.String(p.Password);
      break;
    }
    case kKindGconf1: {
      const auto& p = PayloadOf<TSmsGconf1>(info);
      out.String(p.Apn);
      out.String(p.User);
      out.String(p.Password);
      out.String(p.ServerIp);
      out.U16(p.Port);
      out.I32(p.WritePeriod);
      out.Char(p.WriteMode);
      out.I32(p.SendPeriod);
      out.I16(p.M);
      out.I16(p.O);
      out.I16(p.W);
      break;
    }
    case kKindGconf2: {
      const auto& p = PayloadOf<TSmsGconf2>(info);
      out.String(p.Telup1);
      out.String(p.Telup2);
      out.Char(p.Ro);
      out.I32(p.Count12);
      out.I32(p.Count34);
      for (const TSmsGconf2Input& input : p.Inputs) {
        out.I32(input.Code);
        out.String(input.Text);
      }
      break;
    }
    case kKindGconf4:
      for (const TSmsControlPoint& point : PayloadOf<TSmsGconf4>(info).Points) {
        out.I32(point.Latitude);
        out.I32(point.Longitude);
        out.I32(point.Radius);
        out.I32(point.Flags);
      }
      break;
    case kKindIOPoint: {
      const auto& p = PayloadOf<TSmsIOPoint>(info);
      PositionFix(out, p.Time, p.Speed, p.Course, p.Latitude, p.Longitude, p.Valid);
      out.I16(p.PointNumber);
      out.U8(p.Direction);
      break;
    }
    default:
      // 10, 20, 24 and the kinds from 26 up: the header is the whole record.
      break;
  }
}

}  // namespace

std::string PackedSmsRecord(const TSmsInfo& info) {
  TRecordWriter out;
  out.U16(0);  // the size, written when the record is complete
  out.U8(info.Kind);
  if (info.Kind == kKindBad) {
    out.String(info.Text);
  } else {
    out.String(info.Phone);
    out.Double(info.Time);
    if (info.Kind == kKindUnknown) {
      out.String(info.Text);
    } else {
      out.Low16(info.DeviceNumber);
      out.U8(info.Channel);
      Body(out, info);
    }
  }
  // A record too long for its size field would misplace every record after it; the block
  // leaves such a record out (see PackedSmsBlock), here its size field stays 0.
  if (out.Bytes.size() <= std::numeric_limits<uint16_t>::max()) {
    const auto size = static_cast<uint16_t>(out.Bytes.size());
    out.Bytes[0] = static_cast<char>(size & 0xFFu);
    out.Bytes[1] = static_cast<char>(size >> 8);
  }
  return out.Bytes;
}

std::string PackedSmsBlock(const TSmsInfoList& list, const std::function<bool()>& stopRequested,
                           size_t* packedCount) {
  std::string block;
  size_t packed = 0;
  size_t covered = 0;
  for (const auto& info : list) {
    if (packed == kUnreadBlockRecords) break;
    if (stopRequested && stopRequested()) break;
    if (!info) {
      ++covered;
      continue;
    }
    std::string record = PackedSmsRecord(*info);
    // Records from the log stay far below both bounds; a longer one, from wherever, ends the
    // block rather than overflowing it, so that the block keeps the oldest messages in order.
    if (record.size() > std::numeric_limits<uint16_t>::max()) break;
    if (block.size() + record.size() > kUnreadBlockCapacity) break;
    block += record;
    ++packed;
    ++covered;
  }
  if (packedCount) *packedCount = covered;
  return block;
}
