#include "gsm/ReplyParser.h"

#include "common/ConvertError.h"
#include "common/DateTime.h"
#include "common/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr const char* kPhone = "+79161234567";
constexpr const char* kStamp = "24/03/05,14:07:09+20";

TDateTime At(int year, int month, int day, int hour, int minute, int second) {
  return EncodeDate(year, month, day) + EncodeTime(hour, minute, second, 0);
}

struct TParsed {
  TSmsInfo Record;
  std::vector<std::string> Parts;
};

TParsed Parse(const std::string& text, const std::string& stamp = kStamp) {
  TParsed parsed;
  parsed.Parts = {kPhone, stamp, text};
  ParseDeviceReply(parsed.Record, parsed.Parts);
  return parsed;
}

// Parses a text whose reading must raise a conversion error; gives the record as it was left.
TSmsInfo ParseRaising(const std::string& text) {
  TSmsInfo record;
  std::vector<std::string> parts = {kPhone, kStamp, text};
  EXPECT_THROW(ParseDeviceReply(record, parts), EConvertError);
  return record;
}

// A text with the kind and the head values it is to be read with.
struct THeadCase {
  const char* text;
  uint8_t kind;
  int32_t device;
  const char* name;
  uint8_t channel;
};

void ExpectKindAndHead(const THeadCase& c) {
  SCOPED_TRACE(c.text);
  TParsed parsed = Parse(c.text);
  EXPECT_EQ(parsed.Record.Kind, c.kind);
  EXPECT_EQ(parsed.Record.DeviceNumber, c.device);
  EXPECT_EQ(parsed.Record.DeviceName, c.name);
  EXPECT_EQ(parsed.Record.Channel, c.channel);
}

}  // namespace

TEST(ReplyParser, TimeStampGivesTheRecordTimeWhateverTheZone) {
  struct Case {
    const char* stamp;
    TDateTime time;
  };
  const Case cases[] = {
      {"24/03/05,14:07:09+12", At(2024, 3, 5, 14, 7, 9)},
      {"24/03/05,14:07:09+20", At(2024, 3, 5, 14, 7, 9)},
      {"99/12/31,23:59:59+0", At(2099, 12, 31, 23, 59, 59)},
      {"00/01/01,00:00:00+10", At(2000, 1, 1, 0, 0, 0)},
      {"\"24/02/29,01:02:03+12\"", At(2024, 2, 29, 1, 2, 3)},  // the search is not anchored
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stamp);
    TParsed parsed = Parse("hello", c.stamp);
    EXPECT_DOUBLE_EQ(parsed.Record.Time, c.time);
    EXPECT_EQ(parsed.Record.Phone, kPhone);
    EXPECT_EQ(parsed.Record.Kind, kKindUnknown);
  }
}

// A stamp that does not read (as a service-centre stamp with a digit outside 0 to 9 prints)
// gives no time, but the message is read all the same, with the time it was received.
TEST(ReplyParser, UnreadableTimeStampKeepsTheTextWithTheTimeOfReceipt) {
  const char* stamps[] = {"24/03/05,14:07:09-12", "24/03/05 14:07:09+12", "24/3/05,14:07:09+12",
                          "24/03/05,14:07:09+", "", "1A/01/01,01:01:01+20"};
  for (const char* stamp : stamps) {
    SCOPED_TRACE(stamp);
    const TDateTime before = Now();
    TParsed parsed = Parse("  12345 RESET  ", stamp);
    EXPECT_EQ(KindName(parsed.Record.Kind), KindName(Parse("  12345 RESET  ").Record.Kind));
    EXPECT_NE(parsed.Record.Kind, kKindBad);
    EXPECT_EQ(parsed.Record.Phone, kPhone);
    EXPECT_EQ(parsed.Record.Text, "  12345 RESET  ");
    EXPECT_EQ(parsed.Record.DeviceNumber, 12345);
    EXPECT_GE(parsed.Record.Time, before);
    EXPECT_LE(parsed.Record.Time, Now());

    TParsed unknown = Parse("no grammar takes this", stamp);
    EXPECT_EQ(unknown.Record.Kind, kKindUnknown);
    EXPECT_EQ(unknown.Record.Text, "no grammar takes this");
  }
}

TEST(ReplyParser, ImpossibleTimeStampRaisesWithThePhoneOnly) {
  const char* stamps[] = {"24/13/05,14:07:09+12", "24/00/05,14:07:09+12", "24/03/32,14:07:09+12",
                          "23/02/29,14:07:09+12", "24/03/05,24:00:00+12", "24/03/05,14:60:09+12",
                          "24/03/05,14:07:60+12"};
  for (const char* stamp : stamps) {
    SCOPED_TRACE(stamp);
    TSmsInfo record;
    std::vector<std::string> parts = {kPhone, stamp, "12345 reset"};
    EXPECT_THROW(ParseDeviceReply(record, parts), EConvertError);
    EXPECT_EQ(record.Kind, kKindBad);
    EXPECT_EQ(record.Phone, kPhone);
    EXPECT_EQ(record.Time, 0);
    EXPECT_TRUE(record.Text.empty());
    EXPECT_EQ(parts[2], "12345 reset");
  }
}

TEST(ReplyParser, TextIsKeptAsReceivedAndNormalisedForTheGrammars) {
  struct Case {
    std::string received;
    std::string normalised;
  };
  const Case cases[] = {
      {"  12345 RESET  ", "12345 reset"},
      {"\r\n12345@Battery Low\r\n", "12345@battery low"},
      {"\t12345 USSD: " + Cp1251("БАЛАНС 100 Руб. Ёлка") + " \x01",
       "12345 ussd: " + Cp1251("баланс 100 руб. ёлка")},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.received);
    TParsed parsed = Parse(c.received);
    EXPECT_EQ(parsed.Record.Text, c.received);
    EXPECT_EQ(parsed.Parts[2], c.normalised);
  }
  // The grammars see the normalised text: the answer is lower case and trimmed.
  TParsed ussd = Parse("\t12345 USSD: " + Cp1251("БАЛАНС 100 Руб. ") + " ");
  const TSmsUssd* answer = ussd.Record.PayloadAs<TSmsUssd>();
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer->Answer, Cp1251("баланс 100 руб."));
}

// The first grammar that recognises a text wins, and the parameter head stands fifth: it
// takes every text that starts with five digits and "#" or a blank, whatever follows.
TEST(ReplyParser, GrammarsAreTriedInTheirOrder) {
  const THeadCase cases[] = {
      // The four grammars before the parameter head accept "#" and a blank.
      {"12345 103015.000,a,5545.1234,n,03737.5678,e,0.0,0.0,050324", kKindGet, 12345, "", 2},
      {"12345(car)#103015.000,a,5545.1234,n,03737.5678,e,0.0,0.0,050324", kKindGet, 12345, "car", 2},
      {"12345 telchange=+7916;datechange=05.03;timechange=14.07;", kKindCGet, 12345, "", 2},
      {"12345#ussd: ok", kKindUssd, 12345, "", 2},
      {"12345(car)#reset", kKindReset, 12345, "car", 2},
      // After the head, only "@" forms and texts without a leading device number get through.
      {"12345 mout1=1", kKindUnknown, 12345, "", 2},
      {"12345@mout1=1", kKindMout, 12345, "", 2},
      {"12345 out1=1", kKindUnknown, 12345, "", 2},
      {"12345@out1=1", kKindSout, 12345, "", 2},
      {"12345 60,120", kKindUnknown, 12345, "", 2},
      {"12345@60,120", kKindSet, 12345, "", 2},
      {"12345 gprs:pulse=20", kKindUnknown, 12345, "", 1},
      {"12345@gprs:pulse=20", kKindPulse, 12345, "", 1},
      {"12345 point 2 cleared", kKindUnknown, 12345, "", 2},
      {"xx12345@point 2 cleared", kKindPcl, 12345, "", 2},
      {"12345 battery low", kKindUnknown, 12345, "", 2},
      {"12345@battery low", kKindBattery, 12345, "", 2},
      {"12345@input 2:101500:101459.000,a,,,,,,,050324", kKindAlarm, 12345, "", 2},
      {"12345@point 2 in:101459.000,a,,,,,,,050324", kKindIOPoint, 12345, "", 2},
      {"12345@\"192.168.1.10\",\"8080\"", kKindChg, 12345, "", 2},
      {"12345@\"internet\",\"\",\"\"", kKindApn, 12345, "", 2},
      {"12345@telup1=\"+7916\"", kKindTelup, 12345, "", 2},
      {"12345@sani=5,f", kKindSani, 12345, "", 2},
      {"12345@scount=5", kKindScount, 12345, "", 2},
      {"12345@m=1,o=1,w=1", kKindSmode, 12345, "", 2},
      {"12345@set input1,1,1,1,a,", kKindSin, 12345, "", 2},
      {"12345@conf3:ad1=a,alv1=1,us1=2,ad2=a,alv2=3,us2=4,aper=5,amod=f", kKindSain, 12345, "", 2},
      {"12345@conf1:\"a\",\"b\",\"c\",\"d\",\"1\",wr=1(a),snd=1,m=1,o=1,w=1", kKindGconf1, 12345, "", 2},
      {"12345@conf2:up1=,up2=,ro=,c12=1,c34=2,i1=a,x,i2=b,y,i3=c,z,i4=d,w,akn=", kKindGconf2, 12345, "", 2},
      {"12345@conf4:cp1=1,n,2,e,r1=3,f1=4", kKindGconf4, 12345, "", 2},
      // The parameter head also takes a name, an empty one included, and sets the channel.
      {"12345(car) reset now", kKindUnknown, 12345, "car", 2},
      {"12345() periodwr=x;", kKindUnknown, 12345, "", 2},
      {"10806#gprs:anything", kKindUnknown, 10806, "", 1},
      {"10805 gprs:anything", kKindUnknown, 10805, "", 0},
      // Nothing recognises these: the head values stay as they were.
      {"hello", kKindUnknown, 0, "", 0},
      {"12345@hello", kKindUnknown, 0, "", 0},
      {"1234 reset", kKindUnknown, 0, "", 0},
      {"", kKindUnknown, 0, "", 0},
  };
  for (const THeadCase& c : cases) ExpectKindAndHead(c);
}

TEST(ReplyParser, UnknownTextCarriesNoPayload) {
  for (const char* text : {"hello", "12345 mout1=1"}) {
    SCOPED_TRACE(text);
    TParsed parsed = Parse(text);
    EXPECT_EQ(parsed.Record.Kind, kKindUnknown);
    EXPECT_EQ(parsed.Record.Payload, nullptr);
    EXPECT_EQ(parsed.Record.Text, text);
  }
}

TEST(ReplyParser, PositionReplyIsReadThroughTheDispatcher) {
  TParsed parsed = Parse("12345 GPRS:103015.000,A,5545.1234,S,03737.5678,W,,,050324");
  EXPECT_EQ(parsed.Record.Kind, kKindGet);
  EXPECT_EQ(parsed.Record.Channel, 1);
  const TSmsGet* get = parsed.Record.PayloadAs<TSmsGet>();
  ASSERT_NE(get, nullptr);
  EXPECT_DOUBLE_EQ(get->FixTime, At(2024, 3, 5, 10, 30, 15));
  EXPECT_EQ(get->Latitude, -554512340);
  EXPECT_EQ(get->Longitude, -373756780);
  EXPECT_EQ(get->Valid, 1);
}

TEST(ReplyParser, ConversionErrorOfAGrammarLeavesKindAndHeadWithoutPayload) {
  struct Case {
    const char* text;
    uint8_t kind;
  };
  const Case cases[] = {
      {"12345@conf1:\"internet\",\"user\",\"pass\",\"10.0.0.1\",\"x\",wr=60(a),snd=300,m=1,o=0,w=1", kKindGconf1},
      {"12345@conf2:up1=,up2=,ro=,c12=1,c34=99999999999,i1=a,x,i2=b,y,i3=c,z,i4=d,w,akn=", kKindGconf2},
      {"12345 103015.000,a,,,,,,,311324", kKindGet},
      {"12345@point 2 in:241459.000,a,,,,,,,050324", kKindIOPoint},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const TSmsInfo record = ParseRaising(c.text);
    EXPECT_EQ(record.Kind, c.kind);
    EXPECT_EQ(record.DeviceNumber, 12345);
    EXPECT_EQ(record.Text, c.text);
    EXPECT_DOUBLE_EQ(record.Time, At(2024, 3, 5, 14, 7, 9));
    EXPECT_EQ(record.Payload, nullptr);
  }
}

TEST(ReplyParser, ShortPartListReadsAsEmptyEntries) {
  {
    TSmsInfo record;
    std::vector<std::string> parts = {kPhone};
    ParseDeviceReply(record, parts);
    // No stamp is no reason to drop what came: an empty text that no grammar takes.
    EXPECT_EQ(record.Kind, kKindUnknown);
    EXPECT_EQ(record.Phone, kPhone);
  }
  {
    TSmsInfo record;
    std::vector<std::string> parts = {kPhone, kStamp};
    ParseDeviceReply(record, parts);
    EXPECT_EQ(record.Kind, kKindUnknown);
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[2], "");
  }
  {
    TSmsInfo record;
    std::vector<std::string> parts;
    ParseDeviceReply(record, parts);
    EXPECT_EQ(record.Kind, kKindUnknown);
    EXPECT_TRUE(record.Phone.empty());
  }
}

TEST(ReplyParser, ParamHeadPassesTheRestAndTakesTheHeadValues) {
  struct Case {
    const char* text;
    bool head;
    int32_t device;
    const char* name;
    uint8_t channel;
  };
  const Case cases[] = {
      {"12345 periodwr=60;", true, 12345, "", 2},
      {"12345(my car 2)#gprs:periodwr=60;", true, 12345, "my car 2", 1},
      {"12345()#x", true, 12345, "", 2},
      {"12345#", true, 12345, "", 2},
      {"12345@periodwr=60;", false, 0, "", 0},
      {"12345(car)@periodwr=60;", false, 0, "", 0},
      {"123456 periodwr=60;", false, 0, "", 0},
      {" 12345 periodwr=60;", false, 0, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TSmsInfo record;
    EXPECT_EQ(ParseParamReply(record, c.text), c.head);
    EXPECT_EQ(record.DeviceNumber, c.device);
    EXPECT_EQ(record.DeviceName, c.name);
    EXPECT_EQ(record.Channel, c.channel);
    if (!c.head) {
      EXPECT_EQ(record.Kind, kKindBad);
    }
  }
}

// The parameter head hands the rest to the parameter bodies, which must cover all of it.
TEST(ReplyParser, ParameterAnswersAreReadBehindTheParamHead) {
  const THeadCase cases[] = {
      {"  12345 PERIODWR=60;  ", 128, 12345, "", 2},
      {"12345 mout1=1;", 152, 12345, "", 2},
      {"12345(my car 2)#gprs:periodsend=120;", 132, 12345, "my car 2", 1},
      {"10805#port=40000;", 134, 10805, "", 0},
      {"12345 periodwr=60;periodsend=120;", kKindUnknown, 12345, "", 2},
      {"12345 battery low;", kKindBattery, 12345, "", 2},
      {"12345 battery low", kKindUnknown, 12345, "", 2},
      {"12345 input 2:101500:101459.000,a,5545.1234,n,03737.5678,e,12.5,270.0,050324", kKindAlarm, 12345, "", 2},
      {"12345 home in:101459.000,v,,,,,,,050324", kKindIOPoint, 12345, "", 2},
      // "@" is no separator of the parameter head: this reaches the acknowledgement grammar.
      {"12345@mout1=1", kKindMout, 12345, "", 2},
  };
  for (const THeadCase& c : cases) ExpectKindAndHead(c);

  TParsed periodwr = Parse("  12345 PERIODWR=60;  ");
  EXPECT_EQ(periodwr.Record.Text, "  12345 PERIODWR=60;  ");
  EXPECT_EQ(periodwr.Parts[2], "12345 periodwr=60;");
  const TSmsParamValue* value = periodwr.Record.PayloadAs<TSmsParamValue>();
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->Value, 60);

  TParsed mout = Parse("12345 mout1=1;");
  const TSmsParamPair* pair = mout.Record.PayloadAs<TSmsParamPair>();
  ASSERT_NE(pair, nullptr);
  EXPECT_EQ(pair->Index, 1);
  EXPECT_EQ(pair->Value, 1);

  TParsed alarm = Parse("12345 input 2:101500:101459.000,a,5545.1234,n,03737.5678,e,12.5,270.0,050324");
  const TSmsAlarm* event = alarm.Record.PayloadAs<TSmsAlarm>();
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->InputNumber, 2);
  EXPECT_DOUBLE_EQ(event->EventTime, At(2024, 3, 5, 10, 15, 0));
  EXPECT_DOUBLE_EQ(event->GpsTime, At(2024, 3, 5, 10, 14, 59));
  EXPECT_EQ(event->Latitude, 554512340);
}

TEST(ReplyParser, ImpossibleDateOfAParameterStyleEventRaisesWithoutPayload) {
  const char* texts[] = {
      "12345 input 2:101500:101459.000,a,,,,,,,051324",
      "12345 home out:251459.000,v,,,,,,,050324",
  };
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    const TSmsInfo record = ParseRaising(text);
    EXPECT_EQ(record.DeviceNumber, 12345);
    EXPECT_EQ(record.Payload, nullptr);
  }
}
