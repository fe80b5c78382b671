#include "gsm/EventParsers.h"

#include "common/ConvertError.h"
#include "common/DateTime.h"
#include "common/Text.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using TGrammar = bool (*)(TSmsInfo&, const std::string&);

TDateTime At(int year, int month, int day, int hour, int minute, int second) {
  return EncodeDate(year, month, day) + EncodeTime(hour, minute, second, 0);
}

// Runs one grammar on a fresh record; the texts are already normalised (lower case, trimmed).
struct TParsed {
  TSmsInfo Record;
  bool Recognised = false;
};

TParsed Parse(TGrammar grammar, const std::string& text) {
  TParsed parsed;
  parsed.Recognised = grammar(parsed.Record, text);
  return parsed;
}

// Runs one grammar on a fresh record and takes the payload it left there; nullptr when there is
// none or it is not a T.
template <typename T>
std::unique_ptr<T> PayloadOf(TGrammar grammar, const std::string& text) {
  TParsed parsed = Parse(grammar, text);
  if (!parsed.Record.PayloadAs<T>()) return nullptr;
  return std::unique_ptr<T>(static_cast<T*>(parsed.Record.Payload.release()));
}

}  // namespace

TEST(EventParsers, EachGrammarRecognisesItsReplyAndReadsTheHead) {
  struct Case {
    TGrammar grammar;
    const char* text;
    uint8_t kind;
    int32_t device;
    const char* name;
    uint8_t channel;
    bool payload;
  };
  const Case cases[] = {
      {ParsePositionReply, "12345 103015.000,a,5545.1234,n,03737.5678,e,0.0,0.0,050324", 2, 12345, "", 2, true},
      {ParsePositionReply, "12345(truck 7)@101500.000,v,,,,,,,050324", 2, 12345, "truck 7", 2, true},
      {ParsePositionReply, "12345#gprs:101500.000,v,,,,,,,050324", 2, 12345, "", 1, true},
      {ParsePositionReply, "10805 gprs:101500.000,v,,,,,,,050324", 2, 10805, "", 0, true},
      {ParseTelChangeReply, "12345(car)#telchange=+79161234567;datechange=05.03;timechange=14.07;", 12, 12345,
       "car", 2, true},
      {ParseUssdReply, "12345 gprs:ussd: balance 100", 5, 12345, "", 1, true},
      {ParseResetReply, "12345(car)#reset", 20, 12345, "car", 2, false},
      {ParseResetReply, "10806 gprs:reset", 20, 10806, "", 1, false},
      {ParseNumberPairReply, "12345@60,120", 3, 12345, "", 2, true},
      {ParseSetInputReply, "12345@set input1,1,0,1,a,\"+79161234567\"", 13, 12345, "", 2, true},
      {ParseConf3Reply, "12345@conf3:ad1=a,alv1=10,us1=20,ad2=d,alv2=30,us2=40,aper=50,amod=v", 14, 12345, "", 2,
       true},
      {ParsePointClearedReply, "xx12345@point 2 cleared", 15, 12345, "", 2, true},
      {ParseModesReply, "12345@gprs:m=1,o=0,w=1", 16, 12345, "", 1, true},
      {ParseServerAddressReply, "12345@\"192.168.1.10\",\"8080\"", 4, 12345, "", 2, true},
      {ParseTelUpReply, "12345@telup2=\"+79161234567\"", 17, 12345, "", 2, true},
      {ParseQuotedTripleReply, "12345@\"internet\",\"user\",\"\"", 18, 12345, "", 2, true},
      {ParseOutputReply, "12345@out1=1", 6, 12345, "", 2, true},
      {ParseMoutReply, "12345@mout2=0", 19, 12345, "", 2, true},
      {ParsePulseReply, "12345@pulse=20", 7, 12345, "", 2, true},
      {ParseSaniReply, "12345@sani=300,v", 8, 12345, "", 2, true},
      {ParseScountReply, "12345@scount3=7", 9, 12345, "", 2, true},
      {ParseConf1Reply,
       "12345@conf1:\"internet\",\"user\",\"pass\",\"10.0.0.1\",\"5000\",wr=60(a),snd=300,m=1,o=0,w=1", 21, 12345, "",
       2, true},
      {ParseConf2Reply, "12345@conf2:up1=,up2=,ro=,c12=1,c34=2,i1=a,x,i2=b,y,i3=c,z,i4=d,w,akn=", 22, 12345, "", 2,
       true},
      {ParseConf4Reply, "12345@conf4:", 23, 12345, "", 2, true},
      {ParseInputReply, "12345@input 2:101500:101459.000,a,5545.1234,n,03737.5678,e,12.5,270.0,050324", 11, 12345,
       "", 2, true},
      {ParseBatteryLowReply, "12345@gprs:battery low", 24, 12345, "", 1, false},
      {ParsePointReply, "12345@point 3 out:101459.000,v,,,,,,,050324", 25, 12345, "", 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TParsed parsed = Parse(c.grammar, c.text);
    ASSERT_TRUE(parsed.Recognised);
    EXPECT_EQ(parsed.Record.Kind, c.kind);
    EXPECT_EQ(parsed.Record.DeviceNumber, c.device);
    EXPECT_EQ(parsed.Record.DeviceName, c.name);
    EXPECT_EQ(parsed.Record.Channel, c.channel);
    EXPECT_EQ(parsed.Record.Payload != nullptr, c.payload);
  }
}

TEST(EventParsers, NearMissesLeaveTheRecordUntouched) {
  struct Case {
    TGrammar grammar;
    std::string text;
  };
  const Case cases[] = {
      // Device number of four digits, or six where the head is anchored.
      {ParsePositionReply, "1234 103015.000,a,5545.1234,n,03737.5678,e,0.0,0.0,050324"},
      {ParseResetReply, "123456@reset"},
      // Something after the report date, or the date cut short.
      {ParsePositionReply, "12345 103015.000,a,5545.1234,n,03737.5678,e,0.0,0.0,050324x"},
      {ParsePositionReply, "12345 103015.000,a,5545.1234,n,03737.5678,e,0.0,0.0,05032"},
      // A name must hold at least one word character, and Cyrillic letters are none.
      {ParsePositionReply, "12345()@101500.000,v,,,,,,,050324"},
      {ParsePositionReply, "12345(" + Cp1251("груз") + ")@101500.000,v,,,,,,,050324"},
      {ParseResetReply, "12345 reset now"},
      {ParseResetReply, "12345-reset"},
      // Grammars without a name group take "@" or a blank only.
      {ParseNumberPairReply, "12345#60,120"},
      {ParseNumberPairReply, "12345(car)@60,120"},
      {ParseOutputReply, "12345@mout1=1"},
      {ParseMoutReply, "12345@out1=1"},
      {ParseOutputReply, "12345@out12=1"},
      {ParsePulseReply, "12345@pulse12=20"},
      {ParseSaniReply, "12345@sani=300,x"},
      {ParseBatteryLowReply, "12345@battery low;"},
      {ParseBatteryLowReply, "12345 battery  low"},
      {ParseSetInputReply, "12345@set input1,1,0,1,d,"},
      {ParseSetInputReply, "12345@set input1,1,0,1,a"},  // the mode is always followed by a comma
      {ParseModesReply, "12345@m=1,o=0,w=1;"},
      {ParseTelUpReply, "12345@telup1=+79161234567"},
      {ParseQuotedTripleReply, "12345@\"internet\",\"user\""},
      {ParseServerAddressReply, "12345@\"192.168.1.1000\",\"8080\""},
      {ParseConf1Reply, "12345@conf1:\"a\",\"b\",\"c\",\"d\",\"5000\",wr=60(x),snd=300,m=1,o=0,w=1"},
      {ParseConf2Reply, "12345@conf2:up1=,up2=,ro=x,c12=1,c34=2,i1=a,x,i2=b,y,i3=c,z,i4=d,w,akn="},
      {ParseConf2Reply, "12345@conf2:up1=,up2=,ro=,c12=1,c34=2,i1=g,x,i2=b,y,i3=c,z,i4=d,w,akn="},
      {ParseConf4Reply, "12345@conf4 cp1=1,n,2,e,r1=3,f1=4"},
      {ParseInputReply, "12345@input 12:101500:101459.000,a,,,,,,,050324"},
      {ParsePointReply, "12345@point 2 at:101459.000,a,,,,,,,050324"},
      {ParseTelChangeReply, "12345 telchange=+79161234567;datechange=05.03;timechange=14.07"},
      {ParseUssdReply, "12345 balance"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TParsed parsed = Parse(c.grammar, c.text);
    EXPECT_FALSE(parsed.Recognised);
    EXPECT_EQ(parsed.Record.Kind, kKindBad);
    EXPECT_EQ(parsed.Record.DeviceNumber, 0);
    EXPECT_TRUE(parsed.Record.DeviceName.empty());
    EXPECT_EQ(parsed.Record.Channel, 0);
    EXPECT_EQ(parsed.Record.Payload, nullptr);
  }
}

TEST(EventParsers, UnanchoredGrammarsFindTheDeviceNumberInsideTheText) {
  struct Case {
    TGrammar grammar;
    const char* text;
    int32_t device;
  };
  const Case cases[] = {
      {ParsePointClearedReply, "xx12345@point 2 cleared", 12345},
      {ParsePointClearedReply, "123456@point 2 cleared", 23456},
      {ParseModesReply, "re: 54321 m=2,o=1,w=0", 54321},
      {ParseSetInputReply, "ok 12345 set input4,0,1,1,b,", 12345},
      {ParseTelUpReply, "> 12345@telup1=\"+7916\"", 12345},
      {ParseConf3Reply, "-12345@conf3:ad1=a,alv1=1,us1=2,ad2=a,alv2=3,us2=4,aper=5,amod=f", 12345},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TParsed parsed = Parse(c.grammar, c.text);
    ASSERT_TRUE(parsed.Recognised);
    EXPECT_EQ(parsed.Record.DeviceNumber, c.device);
  }
}

TEST(EventParsers, PositionFixReadsTimeCoordinatesAndMotion) {
  struct Case {
    const char* text;
    TDateTime fixTime;
    int32_t latitude;
    int32_t longitude;
    float speed;
    float course;
    uint8_t valid;
  };
  const Case cases[] = {
      {"12345 103015.000,a,5545.1234,n,03737.5678,e,0.0,0.0,050324", At(2024, 3, 5, 10, 30, 15), 554512340,
       373756780, 0, 0, 1},
      {"12345 gprs:103015.000,a,5545.1234,s,03737.5678,w,,,050324", At(2024, 3, 5, 10, 30, 15), -554512340,
       -373756780, 0, 0, 1},
      {"12345(truck 7)@101500.000,v,,,,,,,050324", At(2024, 3, 5, 10, 15, 0), 0, 0, 0, 0, 0},
      {"12345@235959.9,a,0000.00001,n,17959.99999,e,120.5,359.9,311299", At(2099, 12, 31, 23, 59, 59), 1,
       1795999999, 120.5f, 359.9f, 1},
      // Dots alone or a second dot: what reads as a number counts, the rest is dropped.
      {"12345@000000.0,a,...,n,5545.12.34,e,.,1.5.,010100", At(2000, 1, 1, 0, 0, 0), 0, 554512000, 0, 1.5f, 1},
      // Digits beyond any coordinate do not fit the field and read as no position.
      {"12345@000000.0,a,99999999999999,n,99999.99999,w,,,010100", At(2000, 1, 1, 0, 0, 0), 0, 0, 0, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TParsed parsed = Parse(ParsePositionReply, c.text);
    ASSERT_TRUE(parsed.Recognised);
    const TSmsGet* get = parsed.Record.PayloadAs<TSmsGet>();
    ASSERT_NE(get, nullptr);
    EXPECT_DOUBLE_EQ(get->FixTime, c.fixTime);
    EXPECT_EQ(get->Latitude, c.latitude);
    EXPECT_EQ(get->Longitude, c.longitude);
    EXPECT_FLOAT_EQ(get->Speed, c.speed);
    EXPECT_FLOAT_EQ(get->Course, c.course);
    EXPECT_EQ(get->Valid, c.valid);
  }
}

TEST(EventParsers, InputEventCarriesEventAndFixTimesOnTheReportDate) {
  const auto alarm = PayloadOf<TSmsAlarm>(ParseInputReply,
                                          "12345@input 2:101500:101459.000,a,5545.1234,n,03737.5678,w,12.5,270.0,050324");
  ASSERT_NE(alarm, nullptr);
  EXPECT_EQ(alarm->InputNumber, 2);
  EXPECT_TRUE(alarm->InputName.empty());
  EXPECT_DOUBLE_EQ(alarm->EventTime, At(2024, 3, 5, 10, 15, 0));
  EXPECT_DOUBLE_EQ(alarm->GpsTime, At(2024, 3, 5, 10, 14, 59));
  EXPECT_EQ(alarm->Valid, 1);
  EXPECT_EQ(alarm->Latitude, 554512340);
  EXPECT_EQ(alarm->Longitude, -373756780);
  EXPECT_FLOAT_EQ(alarm->Speed, 12.5f);
  EXPECT_FLOAT_EQ(alarm->Course, 270.0f);
}

TEST(EventParsers, ControlPointEventReadsPointDirectionAndFix) {
  struct Case {
    const char* text;
    int16_t point;
    uint8_t direction;
    TDateTime time;
    int32_t latitude;
    int32_t longitude;
    uint8_t valid;
  };
  const Case cases[] = {
      {"12345@point 3 out:101459.000,a,5545.1234,s,03737.5678,w,10.5,90.0,050324", 3, 1,
       At(2024, 3, 5, 10, 14, 59), -554512340, -373756780, 1},
      {"12345 point  1\tin:000001.5,v,,,,,,,291224", 1, 0, At(2024, 12, 29, 0, 0, 1), 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto point = PayloadOf<TSmsIOPoint>(ParsePointReply, c.text);
    ASSERT_NE(point, nullptr);
    EXPECT_EQ(point->PointNumber, c.point);
    EXPECT_TRUE(point->PointName.empty());
    EXPECT_EQ(point->Direction, c.direction);
    EXPECT_DOUBLE_EQ(point->Time, c.time);
    EXPECT_EQ(point->Latitude, c.latitude);
    EXPECT_EQ(point->Longitude, c.longitude);
    EXPECT_EQ(point->Valid, c.valid);
  }
}

TEST(EventParsers, TelChangeKeepsTheDigitsAndDatesTheChangeInTheCurrentYear) {
  struct Case {
    const char* text;
    const char* phone;
    int month, day, hour, minute;
  };
  const Case cases[] = {
      {"12345 telchange=+79161234567;datechange=05.03;timechange=14.07;", "79161234567", 3, 5, 14, 7},
      {"12345@telchange=89161234567;datechange=1/12;timechange=0:0;", "89161234567", 12, 1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto change = PayloadOf<TSmsCGet>(ParseTelChangeReply, c.text);
    ASSERT_NE(change, nullptr);
    EXPECT_EQ(change->Phone, c.phone);
    EXPECT_DOUBLE_EQ(change->ChangeTime, At(YearOf(Date()), c.month, c.day, c.hour, c.minute, 0));
  }
}

TEST(EventParsers, UssdAnswerIsTheRestAfterOneSkippedCharacter) {
  struct Case {
    const char* text;
    const char* answer;
  };
  const Case cases[] = {
      {"12345 ussd: balance 100", "balance 100"},
      {"12345@ussd balance", "balance"},
      {"12345(car)#ussd:", ""},
      {"12345 ussd", ""},
      {"12345 ussd:x", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto ussd = PayloadOf<TSmsUssd>(ParseUssdReply, c.text);
    ASSERT_NE(ussd, nullptr);
    EXPECT_EQ(ussd->Answer, c.answer);
  }
}

TEST(EventParsers, AcknowledgementsCarryTheirNumbers) {
  {
    const auto set = PayloadOf<TSmsSet>(ParseNumberPairReply, "12345 gprs:60,120");
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->WritePeriod, 60);
    EXPECT_EQ(set->SendPeriod, 120);
  }
  {
    // A number beyond 32 bits reads as 0 in the ordinary fields.
    const auto set = PayloadOf<TSmsSet>(ParseNumberPairReply, "12345@99999999999,7");
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->WritePeriod, 0);
    EXPECT_EQ(set->SendPeriod, 7);
  }
  {
    const auto chg = PayloadOf<TSmsChg>(ParseServerAddressReply, "12345@\"192.168.1.10\",\"8080\"");
    ASSERT_NE(chg, nullptr);
    EXPECT_EQ(chg->ServerIp, "192.168.1.10");
    EXPECT_EQ(chg->Port, 8080);
  }
  {
    const auto sani = PayloadOf<TSmsSani>(ParseSaniReply, "12345@sani=70000,f");
    ASSERT_NE(sani, nullptr);
    EXPECT_EQ(sani->Value, 4464);  // low 16 bits of 70000
    EXPECT_EQ(sani->Mode, 'f');
  }
  {
    const auto cleared = PayloadOf<TSmsPointCleared>(ParsePointClearedReply, "12345 point 7 cleared");
    ASSERT_NE(cleared, nullptr);
    EXPECT_EQ(cleared->Point, 7);
  }
  {
    const auto modes = PayloadOf<TSmsSmode>(ParseModesReply, "12345 m=2,o=1,w=0");
    ASSERT_NE(modes, nullptr);
    EXPECT_EQ(modes->M, 2);
    EXPECT_EQ(modes->O, 1);
    EXPECT_EQ(modes->W, 0);
  }
}

TEST(EventParsers, OutputAnswersTellOutputAndState) {
  struct Case {
    TGrammar grammar;
    const char* text;
    uint8_t kind;
    int16_t output;
    int16_t state;
  };
  const Case cases[] = {
      {ParseOutputReply, "12345@out1=1", 6, 1, 1},
      {ParseOutputReply, "12345 gprs:out4=0", 6, 4, 0},
      {ParseMoutReply, "12345@mout2=1", 19, 2, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TParsed parsed = Parse(c.grammar, c.text);
    EXPECT_EQ(parsed.Record.Kind, c.kind);
    const TSmsOutput* output = parsed.Record.PayloadAs<TSmsOutput>();
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(output->Output, c.output);
    EXPECT_EQ(output->State, c.state);
  }
}

TEST(EventParsers, PulseAndCounterDefaultToNumberOne) {
  struct Case {
    TGrammar grammar;
    const char* text;
    int32_t number;
    int32_t value;
  };
  const Case cases[] = {
      {ParsePulseReply, "12345@pulse=20", 1, 20},
      {ParsePulseReply, "12345@pulse2=20", 2, 20},
      {ParsePulseReply, "12345@pulse0=5", 0, 5},
      {ParseScountReply, "12345@scount=123456", 1, 123456},
      {ParseScountReply, "12345@scount4=0", 4, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto numbered = PayloadOf<TSmsNumberedValue>(c.grammar, c.text);
    ASSERT_NE(numbered, nullptr);
    EXPECT_EQ(numbered->Number, c.number);
    EXPECT_EQ(numbered->Value, c.value);
  }
}

TEST(EventParsers, StringAnswersKeepTheirTexts) {
  struct Case {
    const char* text;
    int16_t input;
    int16_t level;
    int16_t gprs;
    int16_t sms;
    char mode;
    const char* phone;
  };
  const Case cases[] = {
      {"12345@set input1,1,0,1,a,\"+79161234567\"", 1, 1, 0, 1, 'a', "+79161234567"},
      {"12345 set  input2,0,1,0,c,", 2, 0, 1, 0, 'c', ""},
      {"12345@set input3,1,1,1,b,89160000000", 3, 1, 1, 1, 'b', "89160000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto sin = PayloadOf<TSmsSin>(ParseSetInputReply, c.text);
    ASSERT_NE(sin, nullptr);
    EXPECT_EQ(sin->Input, c.input);
    EXPECT_EQ(sin->Level, c.level);
    EXPECT_EQ(sin->SendGprs, c.gprs);
    EXPECT_EQ(sin->SendSms, c.sms);
    EXPECT_EQ(sin->Mode, c.mode);
    EXPECT_EQ(sin->SmsPhone, c.phone);
  }

  const auto up = PayloadOf<TSmsTeleup>(ParseTelUpReply, "12345@telup2=\"+79161234567\"");
  ASSERT_NE(up, nullptr);
  EXPECT_EQ(up->Index, 2);
  EXPECT_EQ(up->Phone, "+79161234567");

  const auto triple = PayloadOf<TSmsApn>(ParseQuotedTripleReply, "12345@\"internet.mts.ru\",\"mts\",\"\"");
  ASSERT_NE(triple, nullptr);
  EXPECT_EQ(triple->Apn, "internet.mts.ru");
  EXPECT_EQ(triple->User, "mts");
  EXPECT_EQ(triple->Password, "");
}

TEST(EventParsers, RaisingFieldsLeaveKindAndHeadButNoPayload) {
  struct Case {
    TGrammar grammar;
    const char* text;
    uint8_t kind;
  };
  const Case cases[] = {
      // Impossible dates and times.
      {ParsePositionReply, "12345 253015.000,a,5545.1234,n,03737.5678,e,0.0,0.0,050324", 2},
      {ParsePositionReply, "12345 103015.000,a,,,,,,,320324", 2},
      {ParsePositionReply, "12345 103015.000,a,,,,,,,290223", 2},
      {ParseTelChangeReply, "12345 telchange=+7916;datechange=05.13;timechange=14.07;", 12},
      {ParseTelChangeReply, "12345 telchange=+7916;datechange=05.03;timechange=14.60;", 12},
      {ParseTelChangeReply, "12345 telchange=+7916;datechange=99999999999.03;timechange=14.07;", 12},
      {ParseInputReply, "12345@input 2:101500:101459.000,a,,,,,,,051324", 11},
      {ParseInputReply, "12345@input 2:106000:101459.000,a,,,,,,,050324", 11},
      {ParsePointReply, "12345@point 3 out:251459.000,a,,,,,,,050324", 25},
      // Numbers of the configuration reports that must read.
      {ParseConf1Reply, "12345@conf1:\"internet\",\"user\",\"pass\",\"10.0.0.1\",\"x\",wr=60(a),snd=300,m=1,o=0,w=1",
       21},
      {ParseConf1Reply, "12345@conf1:\"internet\",\"user\",\"pass\",\"10.0.0.1\",\"\",wr=60(a),snd=300,m=1,o=0,w=1",
       21},
      {ParseConf1Reply,
       "12345@conf1:\"internet\",\"user\",\"pass\",\"10.0.0.1\",\"80\",wr=99999999999(a),snd=300,m=1,o=0,w=1", 21},
      {ParseConf1Reply,
       "12345@conf1:\"internet\",\"user\",\"pass\",\"10.0.0.1\",\"80\",wr=60(a),snd=2147483648,m=1,o=0,w=1", 21},
      {ParseConf2Reply, "12345@conf2:up1=,up2=,ro=,c12=4294967296,c34=2,i1=a,x,i2=b,y,i3=c,z,i4=d,w,akn=", 22},
      {ParseConf2Reply, "12345@conf2:up1=,up2=,ro=,c12=1,c34=99999999999,i1=a,x,i2=b,y,i3=c,z,i4=d,w,akn=", 22},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TSmsInfo record;
    EXPECT_THROW(c.grammar(record, c.text), EConvertError);
    EXPECT_EQ(record.Kind, c.kind);
    EXPECT_EQ(record.DeviceNumber, 12345);
    EXPECT_EQ(record.Channel, 2);
    EXPECT_EQ(record.Payload, nullptr);
  }
}

TEST(EventParsers, Conf1ReadsTheQuotedSettingsAndNumbers) {
  struct Case {
    const char* text;
    uint16_t port;
    int32_t write;
    char mode;
    int32_t send;
  };
  const Case cases[] = {
      {"12345@conf1:\"internet\",\"user\",\"pass\",\"10.0.0.1\",\"5000\",wr=60(a),snd=300,m=1,o=0,w=1", 5000, 60,
       'a', 300},
      // Blanks after the first two commas are allowed; the port keeps its low 16 bits.
      {"12345@conf1:\"internet\", \"user\", \"pass\",\"10.0.0.1\",\"70000\",wr=0(n),snd=2147483647,m=1,o=0,w=1",
       4464, 0, 'n', 2147483647},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto conf = PayloadOf<TSmsGconf1>(ParseConf1Reply, c.text);
    ASSERT_NE(conf, nullptr);
    EXPECT_EQ(conf->Apn, "internet");
    EXPECT_EQ(conf->User, "user");
    EXPECT_EQ(conf->Password, "pass");
    EXPECT_EQ(conf->ServerIp, "10.0.0.1");
    EXPECT_EQ(conf->Port, c.port);
    EXPECT_EQ(conf->WritePeriod, c.write);
    EXPECT_EQ(conf->WriteMode, c.mode);
    EXPECT_EQ(conf->SendPeriod, c.send);
    EXPECT_EQ(conf->M, 1);
    EXPECT_EQ(conf->O, 0);
    EXPECT_EQ(conf->W, 1);
  }
}

TEST(EventParsers, Conf2ReadsPhonesCountersAndInputs) {
  {
    const auto conf = PayloadOf<TSmsGconf2>(ParseConf2Reply,
                                            "12345@conf2:up1=,up2=,ro=,c12=1,c34=2,i1=a,x,i2=b,y,i3=c,z,i4=d,w,akn=");
    ASSERT_NE(conf, nullptr);
    EXPECT_EQ(conf->Ro, 0);
    EXPECT_EQ(conf->Count12, 1);
    EXPECT_EQ(conf->Count34, 2);
    EXPECT_EQ(conf->Inputs[0].Code, 10);
    EXPECT_EQ(conf->Inputs[0].Text, "x");
    EXPECT_EQ(conf->Inputs[3].Code, 13);
    EXPECT_EQ(conf->Inputs[3].Text, "w");
    EXPECT_TRUE(conf->Akn.empty());
  }
  {
    const auto conf = PayloadOf<TSmsGconf2>(ParseConf2Reply,
                                            "12345@conf2:up1=+7916,up2=8903,ro=y,c12=60,c34=120,i1=1f,door,"
                                            "i2=abc,,i3=0,hood open,i4=ff,trunk,akn=+7495");
    ASSERT_NE(conf, nullptr);
    EXPECT_EQ(conf->Telup1, "+7916");
    EXPECT_EQ(conf->Telup2, "8903");
    EXPECT_EQ(conf->Ro, 'y');
    EXPECT_EQ(conf->Count12, 60);
    EXPECT_EQ(conf->Count34, 120);
    EXPECT_EQ(conf->Inputs[0].Code, 0x1f);
    EXPECT_EQ(conf->Inputs[0].Text, "door");
    EXPECT_EQ(conf->Inputs[1].Code, 0xab);  // two hexadecimal digits at most
    EXPECT_EQ(conf->Inputs[1].Text, "");
    EXPECT_EQ(conf->Inputs[2].Code, 0);
    EXPECT_EQ(conf->Inputs[2].Text, "hood open");
    EXPECT_EQ(conf->Inputs[3].Code, 0xff);
    EXPECT_EQ(conf->Akn, "+7495");
  }
}

TEST(EventParsers, Conf3ReadsTheAnalogSettingsInOrder) {
  const auto sain =
      PayloadOf<TSmsSain>(ParseConf3Reply, "12345@conf3:ad1=a,alv1=10,us1=20,ad2=d,alv2=30,us2=40,aper=50,amod=v");
  ASSERT_NE(sain, nullptr);
  EXPECT_EQ(sain->Ad1, 'a');
  EXPECT_EQ(sain->Alv1, 10);
  EXPECT_EQ(sain->Us1, 20);
  EXPECT_EQ(sain->Ad2, 'd');
  EXPECT_EQ(sain->Alv2, 30);
  EXPECT_EQ(sain->Us2, 40);
  EXPECT_EQ(sain->Aper, 50);
  EXPECT_EQ(sain->Amod, 'v');
}

TEST(EventParsers, Conf4ReadsEachPointFromItsOwnPiece) {
  struct Case {
    const char* text;
    TSmsControlPoint points[3];
  };
  const Case cases[] = {
      // No "cp2" marker: the first piece has no end and stays empty.
      {"12345@conf4:cp1=5545,n,3737,e,r1=100,f1=1f,cp3=1,s,2,w,r3=-1,f3=0",
       {{0, 0, 0, 0}, {0, 0, 0, 0}, {-1, -2, -1, 0}}},
      {"12345@conf4:cp1=5545,n,3737,e,r1=100,f1=1f,cp2=10,s,20,w,r2=5,f2=ff,cp3=7,n,8,e,r3=9,f3=a",
       {{5545, 3737, 100, 0x1f}, {-10, -20, 5, 0xff}, {7, 8, 9, 10}}},
      // Markers the other way round give an empty first piece; a radius that is no number is 0.
      {"12345@conf4:cp2=10,n,20,e,r2=1-2,f2=0,cp1=1,n,2,e,r1=3,f1=4,cp3=x",
       {{0, 0, 0, 0}, {10, 20, 0, 0}, {0, 0, 0, 0}}},
      // More flag digits than 32 bits hold keep the low 32 bits.
      {"12345@conf4:cp1=1,n,2,e,r1=3,f1=1ffffffff,cp2,cp3", {{1, 2, 3, -1}, {0, 0, 0, 0}, {0, 0, 0, 0}}},
      {"12345@conf4:nothing", {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto conf = PayloadOf<TSmsGconf4>(ParseConf4Reply, c.text);
    ASSERT_NE(conf, nullptr);
    for (int k = 0; k < 3; ++k) {
      SCOPED_TRACE(k + 1);
      EXPECT_EQ(conf->Points[k].Latitude, c.points[k].Latitude);
      EXPECT_EQ(conf->Points[k].Longitude, c.points[k].Longitude);
      EXPECT_EQ(conf->Points[k].Radius, c.points[k].Radius);
      EXPECT_EQ(conf->Points[k].Flags, c.points[k].Flags);
    }
  }
}
