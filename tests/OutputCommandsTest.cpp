// Voice and additional settings, the last-change request, USSD, outputs, pulses and the reset
// in each series' dialect.

#include "composer/CommandBuilders.h"
#include "support/CommandRows.h"

#include <gtest/gtest.h>

TEST(VoiceSettings, SeriesFourQuotesThePhonesSeriesFiveAssignsEverySetting) {
  const std::vector<const char*> all = {"+selVoiceGain", "edVoiceGain=3",       "+selVoiceVol", "edVoiceVol=10",
                                        "+selTelUp1",    "edTelUp1=+79161234567", "+selTelUp2",  "edTelUp2=+74951234567",
                                        "+selRingOut",   "+cbRingOut"};
  ExpectRows(6, {
      {"series 3 has none", {1, 2, 3}, all, {}},
      {"series 4", {4}, all, {"4:TELUP1 12345678 \"+79161234567\"", "4:TELUP2 12345678 \"+74951234567\""}},
      {"series 5", {5}, all,
       {"5:12345678 MICAMP=3;", "5:12345678 DYNAMP=10;", "5:12345678 TELUP1=+79161234567;",
        "5:12345678 TELUP2=+74951234567;", "5:12345678 RINGOUT=Y;"}},
      {"ring indication not ticked", {5}, {"+selRingOut"}, {"5:12345678 RINGOUT=N;"}},
      {"a group of series 4 and 5", {4, 5}, {"-edPassword", "+selTelUp2", "edTelUp2=112"},
       {"4:TELUP2 %PASS% \"112\"", "5:%PASS% TELUP2=112;"}},
  });
}

TEST(AdditionalSettings, OnlySeriesFiveHasCommands) {
  ExpectRows(7, {
      {"series 5", {5}, {"+selAkkumTel", "edAkkumTel=+79161234567", "+selOnlyIbutton", "+cbOnlyIbutton"},
       {"5:12345678 TELAKN=+79161234567;", "5:12345678 ONLYBUTTON=Y;"}},
      {"iButton not allowed", {5}, {"+selOnlyIbutton"}, {"5:12345678 ONLYBUTTON=N;"}},
      // Series 4 has no form of the low-battery phone command: nothing is sent to it.
      {"series 4 gets nothing", {4}, {"+selAkkumTel", "edAkkumTel=+79161234567"}, {}},
      {"a group of series 4 and 5: only the series-5 list", {4, 5},
       {"-edPassword", "+selAkkumTel", "edAkkumTel=+79161234567"}, {"5:%PASS% TELAKN=+79161234567;"}},
  });
}

TEST(SettingsChange, SeriesFourAndFiveEachHaveTheirRequest) {
  ExpectRows(8, {
      {"series 4", {4}, {}, {"4:CGET 12345678"}},
      {"series 5", {5}, {}, {"5:12345678 GCHANGE;"}},
      {"a group of series 3 to 5", {3, 4, 5}, {"-edPassword"}, {"4:CGET %PASS%", "5:%PASS% GCHANGE;"}},
      {"series 1 to 3 get nothing", {1, 2, 3}, {}, {}},
  });
}

TEST(Ussd, EveryTargetedSeriesGetsTheKeywordForm) {
  ExpectRows(9, {
      {"a group of series 1 and 5", {1, 5}, {"-edPassword", "edUSSD=*100#"},
       {"1:USSD %PASS% \"*100#\"", "5:USSD %PASS% \"*100#\""}},
      {"series 3", {3}, {"edUSSD=*102*1#", "edPassword=1234"}, {"3:USSD 1234     \"*102*1#\""}},
      {"every series", {1, 2, 3, 4, 5}, {"edUSSD=#"},
       {"1:USSD 12345678 \"#\"", "2:USSD 12345678 \"#\"", "3:USSD 12345678 \"#\"", "4:USSD 12345678 \"#\"",
        "5:USSD 12345678 \"#\""}},
  });
}

TEST(SetOutput, OutputNumberAndRememberingByDialect) {
  ExpectRows(10, {
      {"series 1 gets nothing", {1}, {"+selSetOut1", "+cbSetOut1"}, {}},
      {"series 2 and 3: one output, no number", {2, 3}, {"+selSetOut1", "+cbSetOut1", "+selSetOut2", "+cbSetOut2"},
       {"2:SOUT 12345678 1", "3:SOUT 12345678 1"}},
      {"series 3: switched off", {3}, {"+selSetOut1"}, {"3:SOUT 12345678 0"}},
      {"series 4: remembering selector without its box gives SOU1", {4}, {"+selSetOut1", "+selSetOut1Mem", "+cbSetOut1"},
       {"4:SOU1 12345678 1"}},
      {"series 4: box without its selector gives SOU1", {4}, {"+selSetOut1", "+cbSetOut1Mem"}, {"4:SOU1 12345678 0"}},
      {"series 4: both give MOUT, outputs in order", {4},
       {"+selSetOut2", "+selSetOut2Mem", "+cbSetOut2Mem", "+selSetOut1", "+selSetOut1Mem", "+cbSetOut1Mem",
        "+cbSetOut1"},
       {"4:MOUT1 12345678 1", "4:MOUT2 12345678 0"}},
      {"series 5: output 2 on and remembered", {5}, {"+selSetOut2", "+cbSetOut2", "+selSetOut2Mem", "+cbSetOut2Mem"},
       {"5:12345678 MOUT2=1;"}},
      {"series 5: output 1 not remembered", {5}, {"+selSetOut1", "+selSetOut1Mem"}, {"5:12345678 SOUT1=0;"}},
      {"a group of series 2, 4 and 5", {2, 4, 5}, {"-edPassword", "+selSetOut1", "+cbSetOut1", "+selSetOut2"},
       {"2:SOUT %PASS% 1", "4:SOU1 %PASS% 1", "4:SOU2 %PASS% 0", "5:%PASS% SOUT1=1;", "5:%PASS% SOUT2=0;"}},
  });
}

TEST(PulseOutput, OutputNumberByDialect) {
  const std::vector<const char*> both = {"+selOut1Pulse", "edOut1Pulse=5", "+selOut2Pulse", "edOut2Pulse=7"};
  ExpectRows(11, {
      {"series 1 gets nothing", {1}, both, {}},
      {"a group of series 3 and 4", {3, 4}, both,
       {"3:PULSE 12345678 5", "4:PULS1 12345678 5", "4:PULS2 12345678 7"}},
      {"series 2: output 2 has no command", {2}, {"+selOut2Pulse", "edOut2Pulse=7"}, {}},
      {"series 5", {5}, both, {"5:12345678 PULSE1=5;", "5:12345678 PULSE2=7;"}},
  });
}

TEST(ResetDevice, SeriesThreeToFiveInTheKeywordForm) {
  ExpectRows(12, {
      {"series 2 gets nothing", {1, 2}, {}, {}},
      {"a group of every series", {1, 2, 3, 4, 5}, {"-edPassword"},
       {"3:RESET %PASS%", "4:RESET %PASS%", "5:RESET %PASS%"}},
      {"series 5", {5}, {"edPassword=ab"}, {"5:RESET ab      "}},
  });
}
