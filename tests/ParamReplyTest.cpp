#include "gsm/ParamReply.h"

#include "common/ConvertError.h"
#include "common/DateTime.h"
#include "common/Text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Number(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}

std::string Stamp(TDateTime value) { return FormatDateTime("dd.mm.yyyy hh:nn:ss", value); }

// Every field of the payload in one line, so that a table row states all of it at once.
std::string Describe(const TSmsInfo& record) {
  if (!record.Payload) return "";
  if (auto* p = record.PayloadAs<TSmsParamValue>()) return "Value=" + std::to_string(p->Value);
  if (auto* p = record.PayloadAs<TSmsUssd>()) return "Answer=" + p->Answer;
  if (auto* p = record.PayloadAs<TSmsApn>()) return "Apn=" + p->Apn + " User=" + p->User + " Password=" + p->Password;
  if (auto* p = record.PayloadAs<TSmsTeleup>()) return "Index=" + std::to_string(p->Index) + " Phone=" + p->Phone;
  if (auto* p = record.PayloadAs<TSmsSin>())
    return "Input=" + std::to_string(p->Input) + " Level=" + std::to_string(p->Level) +
           " SendGprs=" + std::to_string(p->SendGprs) + " SendSms=" + std::to_string(p->SendSms) +
           " Mode=" + std::string(1, p->Mode) + " SmsPhone=" + p->SmsPhone;
  if (auto* p = record.PayloadAs<TSmsControlFlags>()) {
    std::string flags;
    for (bool flag : p->Flags) flags += flag ? '1' : '0';
    return "Index=" + std::to_string(p->Index) + " Flags=" + flags;
  }
  if (auto* p = record.PayloadAs<TSmsParamPoint>())
    return "Index=" + std::to_string(p->Index) + " Latitude=" + std::to_string(p->Latitude) +
           " Longitude=" + std::to_string(p->Longitude);
  if (auto* p = record.PayloadAs<TSmsParamPair>())
    return "Index=" + std::to_string(p->Index) + " Value=" + std::to_string(p->Value);
  if (auto* p = record.PayloadAs<TSmsAlarm>())
    return "Input=" + std::to_string(p->InputNumber) + " Name=" + p->InputName + " Event=" + Stamp(p->EventTime) +
           " Gps=" + Stamp(p->GpsTime) + " Valid=" + std::to_string(p->Valid) +
           " Latitude=" + std::to_string(p->Latitude) + " Longitude=" + std::to_string(p->Longitude) +
           " Speed=" + Number(p->Speed) + " Course=" + Number(p->Course);
  if (auto* p = record.PayloadAs<TSmsIOPoint>())
    return "Point=" + std::to_string(p->PointNumber) + " Name=" + p->PointName +
           " Direction=" + std::to_string(p->Direction) + " Time=" + Stamp(p->Time) +
           " Valid=" + std::to_string(p->Valid) + " Latitude=" + std::to_string(p->Latitude) +
           " Longitude=" + std::to_string(p->Longitude) + " Speed=" + Number(p->Speed) +
           " Course=" + Number(p->Course);
  return "unexpected payload type";
}

struct Case {
  const char* rest;
  int kind;
  const char* payload;
};

void ExpectCases(const Case* begin, const Case* end) {
  for (const Case* c = begin; c != end; ++c) {
    TSmsInfo record;
    EXPECT_TRUE(MatchParamReply(record, c->rest)) << c->rest;
    EXPECT_EQ(record.Kind, c->kind) << c->rest;
    EXPECT_EQ(Describe(record), c->payload) << c->rest;
  }
}

}  // namespace

TEST(ParamReply, EveryRowGivesItsKindAndPayload) {
  const Case cases[] = {
      {"periodwr=60;", 128, "Value=60"},
      {"periodcount12=300;", 129, "Value=300"},
      {"periodcount34=600;", 130, "Value=600"},
      {"periodanalog=15;", 131, "Value=15"},
      {"periodsend=120;", 132, "Value=120"},
      {"ip=192.168.10.1;", 133, "Answer=192.168.10.1"},
      {"port=8080;", 134, "Value=8080"},
      {"alias=truck-7 a_b;", 135, "Answer=truck-7 a_b"},
      {R"(apnfull="internet.mts.ru","mts","";)", 136, "Apn=internet.mts.ru User=mts Password="},
      {"telsms1=+79001234567;", 137, "Index=1 Phone=+79001234567"},
      {"inalias3=door left;", 138, "Index=3 Phone=door left"},
      // The fourth flag (not kept) differs from the third, so a shifted group shows.
      {"inpflags2=1,0,1,0,c,1,1,1,1;", 139, "Input=2 Level=1 SendGprs=0 SendSms=1 Mode=c SmsPhone="},
      {"controlflags4=1,0,1,1,0,0,1,0,1,1;", 140, "Index=4 Flags=10110010"},
      {"controlpoint2=5545123,s,3737567,w;", 141, "Index=2 Latitude=-5545123 Longitude=-3737567"},
      {"radius1=500;", 142, "Index=1 Value=500"},
      {"cpalias1=depot-2_b;", 143, "Index=1 Phone=depot-2_b"},
      {"cptelnum3=+79001112233;", 144, "Index=3 Phone=+79001112233"},
      {"modewr=n;", 145, "Answer=n"},
      {"mode1=1;", 146, "Value=1"},
      {"modewide=0;", 147, "Value=0"},
      {"telup2=+79005556677;", 148, "Index=2 Phone=+79005556677"},
      {"ringout=y;", 149, "Answer=y"},
      {"pulse3=250;", 150, "Index=3 Value=250"},
      {"sout1=1;", 151, "Index=1 Value=1"},
      {"mout2=0;", 152, "Index=2 Value=0"},
      {"onlybutton=n;", 153, "Answer=n"},
      {"telakn=+79009998877;", 154, "Answer=+79009998877"},
      {"resip=10.0.0.254;", 155, "Answer=10.0.0.254"},
      {"resport=9000;", 156, "Value=9000"},
      {"micamp=7;", 157, "Value=7"},
      {"dynamp=12;", 158, "Value=12"},
      {"modead2=d;", 159, "Index=2 Phone=d"},
      {"alevel1=30;", 160, "Index=1 Value=30"},
      {"periodusr4=10;", 161, "Index=4 Value=10"},
      {"modeanalog=v;", 162, "Answer=v"},
      {"porog3=2048;", 163, "Index=3 Value=2048"},
      {"input 2:101500:101459.000,a,5545.1234,n,03737.5678,e,12.5,270.0,050324", 11,
       "Input=2 Name= Event=05.03.2024 10:15:00 Gps=05.03.2024 10:14:59 Valid=1 Latitude=554512340 "
       "Longitude=373756780 Speed=12.5 Course=270"},
      {"battery low;", 24, ""},
      {"home in:101459.000,v,,,,,,,050324", 25,
       "Point=0 Name=home Direction=0 Time=05.03.2024 10:14:59 Valid=0 Latitude=0 Longitude=0 Speed=0 "
       "Course=0"},
  };
  static_assert(std::size(cases) == kParamKindCount);
  ExpectCases(std::begin(cases), std::end(cases));
}

TEST(ParamReply, NumbersKeepTheLow16BitsOfTheirField) {
  const Case cases[] = {
      {"port=40000;", 134, "Value=-25536"},
      {"resport=65536;", 156, "Value=0"},
      {"pulse1=70000;", 150, "Index=1 Value=4464"},
      // Beyond 32 bits the conversion fails and gives 0.
      {"periodwr=99999999999;", 128, "Value=0"},
      {"controlpoint1=99999999999,n,12,e;", 141, "Index=1 Latitude=0 Longitude=12"},
  };
  ExpectCases(std::begin(cases), std::end(cases));
}

TEST(ParamReply, OptionalAndAlternativeValues) {
  const Case cases[] = {
      {"telsms2=(null);", 137, "Index=2 Phone=(null)"},
      {"cptelnum1=(null);", 144, "Index=1 Phone=(null)"},
      {"telakn=(null);", 154, "Answer=(null)"},
      {"controlpoint1=,,,;", 141, "Index=1 Latitude=0 Longitude=0"},
      {"controlpoint3=5545,n,,w;", 141, "Index=3 Latitude=5545 Longitude=0"},
      {R"(apnfull="","","";)", 136, "Apn= User= Password="},
  };
  ExpectCases(std::begin(cases), std::end(cases));
}

TEST(ParamReply, RestThatNoBodyCoversIsUnknownWithoutPayload) {
  const Case cases[] = {
      {"periodwr=60;periodsend=120;", 1, ""},  // each body must cover the whole rest
      {"mout1=1", 1, ""},                      // bodies end with ";"
      {"periodwr=;", 1, ""},
      {" periodwr=60;", 1, ""},                // bodies are anchored at the start
      {"PERIODWR=60;", 1, ""},                 // the rest is matched lower-cased
      {"telsms12=+7900;", 1, ""},
      {"telsms1=null;", 1, ""},
      {"battery low", 1, ""},
      {"inpflags1=1,0,1,0,d,1,1,1,1;", 1, ""},
      {"", 1, ""},
  };
  ExpectCases(std::begin(cases), std::end(cases));

  // Cyrillic letters are no word characters, so a Russian alias is no alias answer.
  TSmsInfo record;
  MatchParamReply(record, Cp1251("alias=машина;"));
  EXPECT_EQ(record.Kind, 1);
}

TEST(ParamReply, NoMatchDropsAnEarlierPayload) {
  TSmsInfo record;
  MatchParamReply(record, "periodwr=60;");
  ASSERT_NE(record.Payload, nullptr);
  MatchParamReply(record, "periodwr=60");
  EXPECT_EQ(record.Kind, 1);
  EXPECT_EQ(record.Payload, nullptr);
}

TEST(ParamReply, EventFormsReadNamesDatesAndPositions) {
  const Case cases[] = {
      {"door:235959:235958.5,a,5545.1234,s,03737.5678,w,,,311224", 11,
       "Input=0 Name=door Event=31.12.2024 23:59:59 Gps=31.12.2024 23:59:58 Valid=1 Latitude=-554512340 "
       "Longitude=-373756780 Speed=0 Course=0"},
      {"input 4:000000:000000.0,v,,,,,,,010100", 11,
       "Input=4 Name= Event=01.01.2000 00:00:00 Gps=01.01.2000 00:00:00 Valid=0 Latitude=0 Longitude=0 "
       "Speed=0 Course=0"},
      {"point 3 out:120000.000,a,0.5,n,1.25,e,40,90.5,290224", 25,
       "Point=3 Name= Direction=1 Time=29.02.2024 12:00:00 Valid=1 Latitude=50000 Longitude=125000 Speed=40 "
       "Course=90.5"},
      // The greedy name takes all blanks but the one that "\s+" needs.
      {"gate-2  in:010203.0,a,5545.1234,s,03737.5678,w,5,,150623", 25,
       "Point=0 Name=gate-2  Direction=0 Time=15.06.2023 01:02:03 Valid=1 Latitude=-554512340 "
       "Longitude=-373756780 Speed=5 Course=0"},
  };
  ExpectCases(std::begin(cases), std::end(cases));
}

TEST(ParamReply, ImpossibleEventDateRaisesWithoutPayload) {
  struct DateCase {
    const char* rest;
    int kind;
  };
  const DateCase cases[] = {
      {"input 1:101500:101459.000,a,,,,,,,051324", 11},  // month 13
      {"input 1:251500:101459.000,a,,,,,,,050324", 11},  // event hour 25
      {"input 1:101500:106059.000,a,,,,,,,050324", 11},  // fix minute 60
      {"input 1:101500:101459.000,a,,,,,,,290223", 11},  // 29 February of a common year
      {"point 1 in:101459.000,a,,,,,,,320324", 25},      // day 32
      {"home out:240000.000,a,,,,,,,050324", 25},         // hour 24
      {"home out:101459.000,a,,,,,,,000324", 25},         // day 0
  };
  for (const DateCase& c : cases) {
    TSmsInfo record;
    EXPECT_THROW(MatchParamReply(record, c.rest), EConvertError) << c.rest;
    EXPECT_EQ(record.Kind, c.kind) << c.rest;
    EXPECT_EQ(record.Payload, nullptr) << c.rest;
  }
}

TEST(ParamReply, CaptionsAreCodePage1251) {
  // One byte per letter, and the Cyrillic capital "П" is 0xCF in code page 1251.
  EXPECT_EQ(ParamCaption(0).size(), 20u);  // "Период записи данных"
  EXPECT_EQ(static_cast<unsigned char>(ParamCaption(0)[0]), 0xCF);
  EXPECT_EQ(Utf8FromCp1251(ParamCaption(21)), "Ундикация звонка на выходе прибора");
  EXPECT_EQ(ParamCaption(38), "iopoint");
  EXPECT_EQ(ParamCaption(-1), "");
  EXPECT_EQ(ParamCaption(kParamKindCount), "");
}

TEST(ParamReply, ThreadsMatchIndependently) {
  // Each thread keeps its own matchers; interleaved use must not mix up the groups.
  const char* rests[] = {"telsms1=+79001234567;", "controlflags4=1,0,1,1,0,0,1,0,1,1;", "periodwr=60;"};
  const char* payloads[] = {"Index=1 Phone=+79001234567", "Index=4 Flags=10110010", "Value=60"};
  std::vector<int> failures(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int n = 0; n < 2000; ++n) {
        int k = (n + t) % 3;
        TSmsInfo record;
        MatchParamReply(record, rests[k]);
        if (Describe(record) != payloads[k]) ++failures[t];
      }
    });
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << t;
}
