#include "common/SmsInfo.h"

#include <gtest/gtest.h>

TEST(SmsInfo, ChannelFollowsTheLow16BitsOfTheDeviceNumber) {
  struct Case { int32_t device; const char* gprs; uint8_t channel; };
  const Case cases[] = {
      {10805, "gprs:", 0}, {10805, "", 0}, {10806, "gprs:", 1}, {10806, "", 2},
      {75342, "gprs:", 0},  // low 16 bits 9806
      {65535, "", 2},      {65536, "gprs:", 0}, {0, "", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(GetReplyChannel(c.device, c.gprs), c.channel) << c.device;
}

TEST(SmsInfo, KindNamesComeFromTheirTables) {
  struct Case { uint8_t kind; const char* name; };
  const Case cases[] = {
      {0, "Bad"}, {1, "Unknown"}, {2, "GET"}, {10, "GANI"}, {25, "IOPOINT"},
      {128, "PERIODWR"}, {136, "APNFULL"}, {152, "MOUT"}, {163, "POROG"}, {166, "IOPOINT"},
      {26, ""}, {127, ""}, {167, ""}, {255, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(KindName(c.kind), c.name) << int(c.kind);
}

TEST(SmsInfo, NewRecordIsBadWithNothingSet) {
  TSmsInfo record;
  EXPECT_EQ(record.Kind, kKindBad);
  EXPECT_EQ(record.DeviceNumber, 0);
  EXPECT_EQ(record.Channel, 0);
  EXPECT_EQ(record.Time, 0);
  EXPECT_TRUE(record.Text.empty());
  EXPECT_EQ(record.Payload, nullptr);
  EXPECT_EQ(record.PayloadAs<TSmsGet>(), nullptr);
}

TEST(SmsInfo, PayloadIsReadAsTheTypeOfItsKind) {
  TSmsInfo record;
  record.Kind = kKindGconf2;
  auto conf = std::make_unique<TSmsGconf2>();
  conf->Inputs[3].Text = "door";
  record.Payload = std::move(conf);
  ASSERT_NE(record.PayloadAs<TSmsGconf2>(), nullptr);
  EXPECT_EQ(record.PayloadAs<TSmsGconf2>()->Inputs[3].Text, "door");
  EXPECT_EQ(record.PayloadAs<TSmsGet>(), nullptr);
}
