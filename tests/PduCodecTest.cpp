#include "common/Text.h"
#include "gsm/PduCodec.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <utility>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

using TStrings = std::vector<std::string>;

constexpr const char* kHelloPdu =
    "07919700000000F0040B919700214365F700002110304152032105C8329BFD06";
constexpr const char* kSender = "0B919700214365F7";  // 79001234567, international
constexpr const char* kStamp = "21103041520321";     // 12/01/03 14:25:30, zone not decoded

// An SMS-DELIVER PDU without a service-centre address, assembled from its fields as hex. The
// user-data length counts octets for UCS2 and, for 7-bit data, every septet the octets hold
// unless `septets` says otherwise.
std::string Deliver(const std::string& firstOctet, const std::string& coding,
                    const std::string& userData, const std::string& sender = kSender,
                    const std::string& stamp = kStamp, int septets = -1) {
  const unsigned octets = static_cast<unsigned>(userData.size() / 2);
  const unsigned count = septets >= 0 ? static_cast<unsigned>(septets) : coding == "08" ? octets : octets * 8 / 7;
  char length[3];
  std::snprintf(length, sizeof length, "%02X", count);
  return "00" + firstOctet + sender + "00" + coding + stamp + length + userData;
}

// 7-bit user data of a header (hex, its length octet first) and a text, as a sender packs
// them: the text starts on the first septet boundary behind the header. Gives the data and
// its user-data length in septets.
std::pair<std::string, int> HeaderAndText(const std::string& header, const std::string& text) {
  const size_t headerOctets = header.size() / 2;
  const size_t headerSeptets = (headerOctets * 8 + 6) / 7;
  std::string packed = Encode7Bit(std::string(headerSeptets, '\0') + text);
  packed.replace(0, header.size(), header);
  return {packed, static_cast<int>(headerSeptets + text.size())};
}

// One part of a concatenated message: the 8-bit-reference element and the part's body.
std::string Part(const std::string& refTotalSeq, const std::string& body,
                 const std::string& coding = "00", const std::string& sender = kSender) {
  return Deliver("44", coding, "050003" + refTotalSeq + body, sender);
}

TStrings Decode(TPduDecoder& decoder, const std::string& pdu) {
  TStrings out;
  decoder.DecodeDeliverPdu(pdu, out);
  return out;
}

TStrings Decode(const std::string& pdu) {
  TPduDecoder decoder;
  return Decode(decoder, pdu);
}

}  // namespace

TEST(PduDecoder, DecodesSingleMessages) {
  struct Case { const char* what; std::string pdu; TStrings expected; };
  const Case cases[] = {
      {"worked example", kHelloPdu, {"79001234567", "12/01/03,14:25:30+20", "Hello"}},
      {"lower-case hex as a +CMT notice carries it",
       "07919700000000f0040b919700214365f700002110304152032105c8329bfd06",
       {"79001234567", "12/01/03,14:25:30+20", "Hello"}},
      {"five-digit sender", Deliver("04", "00", "C8329BFD06", "05812143F5"),
       {"12345", "12/01/03,14:25:30+20", "Hello"}},
      {"national sender", Deliver("04", "00", "C8329BFD06", "05A12143F5"),
       {"12345", "12/01/03,14:25:30+20", "Hello"}},
      // An operator's name (type of address D0): 7-bit text packed as user data, as many
      // characters as the length in semi-octets covers whole.
      {"alphanumeric sender, ten semi-octets", Deliver("04", "00", "C8329BFD06", "0AD041E1905834"),
       {"ABCDE", "12/01/03,14:25:30+20", "Hello"}},
      {"alphanumeric sender with fill bits", Deliver("04", "00", "C8329BFD06", "0BD0D374DB59A603"),
       {"SimNet", "12/01/03,14:25:30+20", "Hello"}},
      {"alphanumeric sender of eleven characters",
       Deliver("04", "00", "C8329BFD06", "14D0" + Encode7Bit("Balance 100")),
       {"Balance 100", "12/01/03,14:25:30+20", "Hello"}},
      {"time stamp octets are printed in hex", Deliver("00", "00", "C8329BFD06", kSender,
                                                       "9921213200591A"),
       {"79001234567", "99/12/12,23:00:95+20", "Hello"}},
      {"UCS2 with Cyrillic", Deliver("04", "08", "041F04400438043204350442002100200401"),
       {"79001234567", "12/01/03,14:25:30+20", Cp1251("Привет! Ё")}},
      {"8-bit coding is unpacked as 7-bit", Deliver("04", "04", "C8329BFD06"),
       {"79001234567", "12/01/03,14:25:30+20", "Hello"}},
      {"empty user data", Deliver("04", "00", ""), {"79001234567", "12/01/03,14:25:30+20", ""}},
      // The user-data length is not used: data cut short decodes as far as it arrived.
      {"user data shorter than announced",
       "000406812143F500002110304152032140C8329B", {"12345", "12/01/03,14:25:30+20", "Hel"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Decode(c.pdu), c.expected) << c.what;
}

TEST(PduDecoder, IgnoresWhatIsNoDelivery) {
  struct Case { const char* what; std::string pdu; };
  const Case cases[] = {
      {"submit report", Deliver("01", "00", "C8329BFD06")},
      {"status report", Deliver("02", "00", "C8329BFD06")},
      {"reserved type", Deliver("03", "00", "C8329BFD06")},
  };
  for (const Case& c : cases) EXPECT_TRUE(Decode(c.pdu).empty()) << c.what;
}

TEST(PduDecoder, RejectsMalformedText) {
  struct Case { const char* what; std::string pdu; };
  const Case cases[] = {
      {"empty", ""},
      {"odd length", std::string(kHelloPdu) + "0"},
      {"blank inside", "07919700000000F0040B919700214365F7 0002110304152032105C8329BFD06"},
      {"letter beyond f", "07919700000000F0040B919700214365F700002110304152032105C8329BFD0G"},
      {"NUL inside", std::string(kHelloPdu).replace(10, 1, 1, '\0')},
      {"sign in a length", "+7919700000000F0040B919700214365F700002110304152032105C8329BFD06"},
      {"centre length past the end", "FF91970000"},
      {"sender length past the end", "0004FF91970021"},
      {"header length past the end", Deliver("44", "00", "FF00030502")},
  };
  for (const Case& c : cases) EXPECT_TRUE(Decode(c.pdu).empty()) << c.what;
}

// Any byte that is no hex digit spoils the PDU, wherever it stands: early in the text and in
// its last, shorter stretch.
TEST(PduDecoder, AcceptsHexDigitsOnly) {
  const std::string pdu = std::string(kHelloPdu) + "00";  // 33 octets
  for (size_t at : {size_t{20}, pdu.size() - 1}) {
    for (int byte = 0; byte < 256; ++byte) {
      std::string spoilt = pdu;
      spoilt[at] = static_cast<char>(byte);
      const bool hex = std::isxdigit(byte) != 0;
      EXPECT_EQ(Decode(spoilt).size(), hex ? 3u : 0u) << "byte " << byte << " at " << at;
    }
  }
}

// Cut anywhere before the user data, the PDU yields nothing; cut inside the user data, it
// yields what arrived. No cut reads past the end.
TEST(PduDecoder, TruncatedPduYieldsNothingOrWhatArrived) {
  const std::string pdu = kHelloPdu;
  const size_t userData = pdu.size() - 10;
  for (size_t length = 0; length <= pdu.size(); length += 2) {
    // A copy of exactly the prefix, so that a read past its end is caught by the sanitizer.
    const std::string cut(pdu.data(), length);
    TStrings out = Decode(cut);
    if (length < userData) {
      EXPECT_TRUE(out.empty()) << length;
    } else {
      ASSERT_EQ(out.size(), 3u) << length;
      EXPECT_EQ(out[2], std::string("Hello").substr(0, out[2].size())) << length;
      EXPECT_EQ(out[2].size(), (length - userData) / 2) << length;
    }
  }
}

TEST(PduDecoder, Unpacks7BitAtSeptetBoundaries) {
  struct Case { const char* what; std::string hex; bool afterHeader; std::string expected; };
  const Case cases[] = {
      {"worked example", "C8329BFD06", false, "Hello"},
      {"seven characters end in a fill character of code 0", "41E19058341E01", false,
       "ABCDEFG\0"s},
      {"eight characters fill seven octets", "41E19058341E91", false, "ABCDEFGH"},
      {"a zero septet is @", "41A010", false, "A@B"},
      {"a zero eighth septet inside the text is @ too", "41E19058341E814925", false,
       "ABCDEFG@IJ"},
      {"septets are no GSM alphabet", "78411E", false, "x\x02y"},
      {"after a six-octet header", "906536FB0D", true, "Hello"},
      {"a single character at the end is an octet", "C8329BFD6", false, "Hello"},
      {"empty", "", false, ""},
      {"a group that is no hex counts as 0", "zz", false, "@"},
  };
  for (const Case& c : cases) EXPECT_EQ(Decode7Bit(c.hex, c.afterHeader), c.expected) << c.what;
}

TEST(PduDecoder, Unpacks160Characters) {
  std::string text;
  for (int i = 0; i < 160; ++i) text.push_back(static_cast<char>('!' + i % 90));
  // Eighty characters fill exactly seventy octets, so two packings side by side are the
  // packing of all 160.
  const std::string hex = Encode7Bit(text.substr(0, 80)) + Encode7Bit(text.substr(80));
  ASSERT_EQ(hex.size(), 280u);
  EXPECT_EQ(Decode7Bit(hex, false), text);
}

TEST(PduDecoder, FoldsUcs2IntoCodePage1251) {
  struct Case { const char* what; std::string hex; std::string expected; };
  const Case cases[] = {
      {"А, я and a blank", "0410044F0020", "\xC0\xFF\x20"},
      {"Ё", "0401", "\xA8"},
      {"ё", "0451", "\xB8"},
      {"lower-case hex", "044f0451", "\xFF\xB8"},
      {"ASCII", "00480069", "Hi"},
      {"euro and numero signs", "20AC2116", "\x88\xB9"},
      {"a letter the code page lacks", "04500041", "?A"},
      {"a code unit 0 ends the text", "0041000000420043", "A"},
      {"short last group", "0041041", "AA"},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeUcs2(c.hex), c.expected) << c.what;

  std::string longest;
  for (int i = 0; i < 511; ++i) longest += "0430";
  EXPECT_EQ(DecodeUcs2(longest), std::string(511, '\xE0'));
  EXPECT_EQ(DecodeUcs2(longest + "0430"), "");  // 2048 hex characters
}

class PduConcatenation : public ::testing::Test {
 protected:
  TStrings Feed(const std::string& pdu) { return Decode(Decoder, pdu); }
  TPduDecoder Decoder;
};

TEST_F(PduConcatenation, JoinsPartsInSequenceWhateverTheirOrder) {
  struct Case { const char* what; std::vector<std::string> parts; std::string text; };
  const Case cases[] = {
      {"in order", {Part("050201", "906536FB0D"), Part("050202", "EE6F399B0C")}, "Helloworld"},
      {"part 2 first", {Part("050202", "EE6F399B0C"), Part("050201", "906536FB0D")},
       "Helloworld"},
      {"three parts scrambled",
       {Part("090302", "9069"), Part("090303", "EE6F399B0C"), Part("090301", "906536FB0D")},
       "HelloHiworld"},
      {"UCS2 Cyrillic parts",
       {Part("070202", "0438043204350442", "08"), Part("070201", "041F0440", "08")},
       Cp1251("Привет")},
      {"a part received twice counts once",
       {Part("050201", "906536FB0D"), Part("050201", "906536FB0D"), Part("050202", "EE6F399B0C")},
       "Helloworld"},
      {"the later copy of a part wins",
       {Part("050201", "9069"), Part("050201", "906536FB0D"), Part("050202", "EE6F399B0C")},
       "Helloworld"},
      {"a message of one part", {Part("050101", "906536FB0D")}, "Hello"},
  };
  for (const Case& c : cases) {
    Decoder.ClearFragments();
    for (size_t i = 0; i + 1 < c.parts.size(); ++i)
      EXPECT_TRUE(Feed(c.parts[i]).empty()) << c.what << ", part " << i;
    EXPECT_EQ(Feed(c.parts.back()), (TStrings{"79001234567", "12/01/03,14:25:30+20", c.text}))
        << c.what;
    EXPECT_TRUE(Decoder.Pending().empty()) << c.what;
    EXPECT_EQ(Decoder.HeldTextBytes(), 0u) << c.what;
  }
}

// A part numbered 0 or beyond its message's count, or of a message of no parts, can never
// belong to a complete message: it is neither held nor counted.
TEST_F(PduConcatenation, PartsOutsideTheirMessageAreIgnored) {
  EXPECT_TRUE(Feed(Part("050001", "9069")).empty());
  EXPECT_TRUE(Decoder.Pending().empty());
  EXPECT_TRUE(Feed(Part("050201", "9069")).empty());
  EXPECT_TRUE(Feed(Part("050203", "EE6F399B0C")).empty());
  EXPECT_TRUE(Feed(Part("050200", "EE6F399B0C")).empty());
  EXPECT_EQ(Feed(Part("050202", "906536FB0D")),
            (TStrings{"79001234567", "12/01/03,14:25:30+20", "HiHello"}));
}

TEST_F(PduConcatenation, SenderAndTimeComeFromTheCompletingPart) {
  EXPECT_TRUE(Feed(Deliver("44", "00", "050003050201906536FB0D", kSender, "21103041520321"))
                  .empty());
  EXPECT_EQ(Feed(Deliver("64", "00", "050003050202EE6F399B0C", kSender, "21103041526221")),
            (TStrings{"79001234567", "12/01/03,14:25:26+20", "Helloworld"}));
}

TEST_F(PduConcatenation, AnAlphanumericSenderIsTheTextOfTheCompletedMessage) {
  const std::string operatorName = "0BD0D374DB59A603";  // SimNet
  EXPECT_TRUE(Feed(Part("050201", "906536FB0D", "00", operatorName)).empty());
  EXPECT_EQ(Feed(Part("050202", "EE6F399B0C", "00", operatorName)),
            (TStrings{"SimNet", "12/01/03,14:25:30+20", "Helloworld"}));
}

TEST_F(PduConcatenation, InterleavedMessagesStayApart) {
  const std::string other = "0B919700214365F8";  // 79001234568
  EXPECT_TRUE(Feed(Part("050201", "906536FB0D")).empty());
  EXPECT_TRUE(Feed(Part("060201", "9069")).empty());                 // another reference
  EXPECT_TRUE(Feed(Part("050201", "9069", "00", other)).empty());    // another sender
  EXPECT_TRUE(Feed(Part("050301", "9069")).empty());                 // another part count
  EXPECT_EQ(Decoder.Pending().size(), 4u);

  EXPECT_EQ(Feed(Part("050202", "EE6F399B0C", "00", other)),
            (TStrings{"79001234568", "12/01/03,14:25:30+20", "Hiworld"}));
  EXPECT_EQ(Feed(Part("060202", "EE6F399B0C")),
            (TStrings{"79001234567", "12/01/03,14:25:30+20", "Hiworld"}));
  EXPECT_EQ(Feed(Part("050202", "EE6F399B0C")),
            (TStrings{"79001234567", "12/01/03,14:25:30+20", "Helloworld"}));
  EXPECT_EQ(Decoder.Pending().size(), 1u);  // the three-part message still waits
}

TEST_F(PduConcatenation, EndlessFirstPartsKeepTheListBounded) {
  for (int reference = 0; reference < 200; ++reference) {
    char refTotalSeq[7];
    std::snprintf(refTotalSeq, sizeof refTotalSeq, "%02X0201", reference);
    EXPECT_TRUE(Feed(Part(refTotalSeq, "906536FB0D")).empty());
    ASSERT_LE(Decoder.Pending().size(), TPduDecoder::kMaxPendingMessages);
  }
  // The newest messages can still complete; the oldest were given up.
  EXPECT_EQ(Feed(Part("C70202", "EE6F399B0C")).size(), 3u);
  EXPECT_TRUE(Feed(Part("000202", "EE6F399B0C")).empty());
}

// One UCS2 part of 500 characters "1" (1000 octets: the most text a part can carry).
std::string LongPart(unsigned reference, unsigned total, unsigned sequence) {
  char refTotalSeq[7];
  std::snprintf(refTotalSeq, sizeof refTotalSeq, "%02X%02X%02X", reference, total, sequence);
  std::string body;
  for (int i = 0; i < 494; ++i) body += "0031";
  return Part(refTotalSeq, body, "08");
}

TEST_F(PduConcatenation, HeldTextStaysWithinItsBoundAndWhatIsPushedOutIsGivenUp) {
  // Seven messages of twenty long parts each pass the byte bound together.
  for (unsigned reference = 1; reference <= 7; ++reference)
    for (unsigned sequence = 1; sequence <= 20; ++sequence) {
      EXPECT_TRUE(Feed(LongPart(reference, 21, sequence)).empty());
      ASSERT_LE(Decoder.HeldTextBytes(), TPduDecoder::kMaxHeldTextBytes);
    }
  EXPECT_LT(Decoder.Pending().size(), 7u);
  // The oldest messages were given up with all the text they had, never dropped.
  std::vector<TIncompleteSms> givenUp = Decoder.TakeGivenUp();
  ASSERT_FALSE(givenUp.empty());
  EXPECT_EQ(givenUp[0].Sender, "79001234567");
  EXPECT_EQ(givenUp[0].Text, std::string(20 * 494, '1'));
  EXPECT_TRUE(Decoder.TakeGivenUp().empty());
  EXPECT_EQ(Feed(LongPart(7, 21, 21)).size(), 3u);  // the newest survived

  // A message that cannot fit even alone is given up as it passes the bound.
  Decoder.ClearFragments();
  for (unsigned sequence = 1; sequence <= 140; ++sequence) {
    EXPECT_TRUE(Feed(LongPart(9, 255, sequence)).empty());
    ASSERT_LE(Decoder.HeldTextBytes(), TPduDecoder::kMaxHeldTextBytes);
  }
  givenUp = Decoder.TakeGivenUp();
  ASSERT_EQ(givenUp.size(), 1u);
  EXPECT_GT(givenUp[0].Text.size(), TPduDecoder::kMaxHeldTextBytes - 494);
}

TEST_F(PduConcatenation, TextStartsAfterTheFillBitsOfAnyHeaderLength) {
  struct Case { const char* what; std::string header; std::string body; };
  const Case cases[] = {
      {"concatenation only: one fill bit", "050003010101", "9069"},
      {"with a 2-octet element: six fill bits", "07000301010170 00", "00320D"},
      {"with port addressing: two fill bits", "0B0003010101040400000000", "20D3"},
  };
  for (const Case& c : cases) {
    std::string header = c.header;
    std::erase(header, ' ');
    EXPECT_EQ(Feed(Deliver("44", "00", header + c.body)),
              (TStrings{"79001234567", "12/01/03,14:25:30+20", "Hi"}))
        << c.what;
  }
}

TEST(PduEncoder, EncodesThePhoneNumber) {
  struct Case { std::string phone; std::string address; std::string phoneAfter; };
  const Case cases[] = {
      {"+79001234567", "919700214365F7", "79001234567"},
      {"79001234567", "919700214365F7", "79001234567"},
      {"89001234567", "819800214365F7", "89001234567"},
      {"12345", "812143F5", "12345"},
      {"123456789012", "81214365870921", "123456789012"},
      {"+7", "91F7", "7"},
      {"", "", ""},
      {"+", "", "+"},
      {"1234567890123", "", "1234567890123"},     // 13 characters
      {"+790012345678", "", "+790012345678"},     // 13 with the "+"
      // Swapped in pairs, these bytes spelled a Ctrl-Z and "AT+CMGD=1", CR LF, on the wire.
      {"A\x1a+TMCDG1=\n\r", "", "A\x1a+TMCDG1=\n\r"},
      {"+7 900 1234567", "", "+7 900 1234567"},
      {"++7900123456", "", "++7900123456"},
      {"7900123456+", "", "7900123456+"},
  };
  for (const Case& c : cases) {
    std::string phone = c.phone;
    EXPECT_EQ(EncodePhoneNumber(phone), c.address) << c.phone;
    EXPECT_EQ(phone, c.phoneAfter) << c.phone;
  }
}

TEST(PduEncoder, Packs7Bit) {
  struct Case { const char* what; std::string text; std::string hex; };
  const Case cases[] = {
      {"worked example", "hello", "E8329BFD06"},
      {"empty", "", ""},
      {"a zero octet inside stays", "abcd\n e", "61F198AC009501"},
      {"eight characters in seven octets", "ABCDEFGH", "41E19058341E91"},
      {"code page 1251 letters lose their high bit", Cp1251("Да"), "4430"},
      {"160 characters are refused", std::string(160, 'a'), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Encode7Bit(c.text), c.hex) << c.what;
}

// Every accepted length packs into n - n / 8 octets and unpacks to the same text; when the
// last octet holds seven fill bits they come back as one character of code 0.
TEST(PduEncoder, PackingRoundTripsEveryLength) {
  for (size_t length = 0; length < 160; ++length) {
    std::string text;
    for (size_t i = 0; i < length; ++i) text.push_back(static_cast<char>(' ' + (i * 7) % 95));
    const std::string hex = Encode7Bit(text);
    ASSERT_EQ(hex.size(), 2 * (length - length / 8)) << length;
    const std::string expected = length % 8 == 7 ? text + '\0' : text;
    EXPECT_EQ(Decode7Bit(hex, false), expected) << length;
  }
}

TEST(PduEncoder, BuildsTheSubmitPdu) {
  struct Case { std::string phone; std::string text; std::string pdu; std::string phoneAfter; };
  const std::string longest(159, 'a');
  const Case cases[] = {
      {"+79001234567", "hello", "0011000B919700214365F700000205E8329BFD06", "79001234567"},
      {"89001234567", "", "0011000B819800214365F7000002" "00", "89001234567"},
      {"12345", "hello", "00110005812143F5000002" "05E8329BFD06", "12345"},
      {"79001234567", longest, "0011000B919700214365F7000002" "9F" + Encode7Bit(longest),
       "79001234567"},
  };
  for (const Case& c : cases) {
    std::string phone = c.phone;
    EXPECT_EQ(BuildPdu(phone, c.text), c.pdu) << c.phone << " " << c.text;
    EXPECT_EQ(phone, c.phoneAfter);
  }
}

TEST(PduEncoder, AnnouncesTheTpduLengthToTheModem) {
  std::string phone = "+79001234567";
  const std::string pdu = BuildPdu(phone, "hello");
  ASSERT_EQ(pdu.size(), 40u);
  EXPECT_EQ("AT+CMGS=" + std::to_string(SubmitTpduLength(pdu)), "AT+CMGS=19");
}

TEST(PduEncoder, RefusesWhatCannotBeSent) {
  std::string seventyOne;
  for (int i = 0; i < 71; ++i) seventyOne += Cp1251("ж");
  struct Case { const char* what; std::string phone; std::string text; };
  const Case cases[] = {
      {"empty number", "", "hello"},
      {"number too long", "+7900123456789", "hello"},
      {"nothing but a plus", "+", "hello"},
      {"a Ctrl-Z and a command in the number", "A\x1a+TMCDG1=\n\r", "hello"},
      {"a line end after the digits", "+7900123456\r", "hello"},
      {"text of 160 characters", "+79001234567", std::string(160, 'a')},
      {"71 characters beyond ASCII", "+79001234567", seventyOne},
      {"159 characters with one beyond ASCII", "+79001234567", std::string(158, 'a') + Cp1251("ж")},
  };
  for (const Case& c : cases) {
    std::string phone = c.phone;
    EXPECT_EQ(BuildPdu(phone, c.text), "") << c.what;
    EXPECT_FALSE(IsSmsDestination(c.phone) && SmsTextFits(c.text)) << c.what;
  }
}

// Whatever byte a number or a text holds, the PDU is hex digits only, and only numbers of
// digits (after one leading "+") are taken: no byte of either can reach the modem's command
// line as it is.
TEST(PduEncoder, EveryByteValueGivesHexOrNothing) {
  auto hexOnly = [](const std::string& pdu) {
    return pdu.find_first_not_of("0123456789ABCDEF") == std::string::npos;
  };
  for (int value = 0; value < 256; ++value) {
    const char byte = static_cast<char>(value);
    const bool digit = value >= '0' && value <= '9';
    struct Number { std::string number; bool taken; };
    const Number numbers[] = {
        {"+7900123456" + std::string(1, byte), digit},
        {std::string(1, byte) + "79001234567", digit || byte == '+'},  // a "+" may lead
        {"+79001" + std::string(1, byte) + "23456", digit},
        {"+" + std::string(1, byte), digit},
    };
    for (const Number& n : numbers) {
      SCOPED_TRACE(testing::Message() << "byte " << value << " in " << testing::PrintToString(n.number));
      EXPECT_EQ(IsSmsDestination(n.number), n.taken);
      std::string phone = n.number;
      const std::string pdu = BuildPdu(phone, "hello");
      EXPECT_EQ(pdu.empty(), !n.taken);
      EXPECT_TRUE(hexOnly(pdu));
    }
    // In a text, ASCII or not, the byte only ever goes as hex.
    for (const std::string& text : {std::string(1, byte), "AT+CMGD=1\r" + std::string(1, byte) + "\x1a"}) {
      std::string phone = "+79001234567";
      const std::string pdu = BuildPdu(phone, text);
      EXPECT_FALSE(pdu.empty()) << value;
      EXPECT_TRUE(hexOnly(pdu)) << value;
    }
  }
}

TEST(PduEncoder, TextFitsOneMessageByItsCoding) {
  struct Case { const char* what; std::string text; bool fits; };
  const std::string zhe = Cp1251("ж");
  std::string seventy;
  for (int i = 0; i < 70; ++i) seventy += zhe;
  const Case cases[] = {
      {"empty", "", true},
      {"159 ASCII characters", std::string(159, 'a'), true},
      {"160 ASCII characters", std::string(160, 'a'), false},
      {"control characters are ASCII too", std::string(159, '\x1a'), true},
      {"70 characters beyond ASCII", seventy, true},
      {"71 characters beyond ASCII", seventy + zhe, false},
      {"71 characters, one of them beyond ASCII", std::string(70, 'a') + zhe, false},
      {"a megabyte", std::string(1 << 20, 'a'), false},
  };
  for (const Case& c : cases) EXPECT_EQ(SmsTextFits(c.text), c.fits) << c.what;
}

// A 7-bit part whose septets leave seven fill bits in its last octet ends after the septets
// that its user-data length counts: the fill is no character, so nothing cuts the joined text.
TEST_F(PduConcatenation, FillBitsAtTheEndOfAPartAreNoCharacter) {
  const std::string first(40, 'a'), second = "the rest";
  auto [firstData, firstSeptets] = HeaderAndText("050003420201", first);
  auto [secondData, secondSeptets] = HeaderAndText("050003420202", second);
  ASSERT_EQ(firstData.size() / 2, 42u);  // 47 septets in 42 octets: seven fill bits
  const std::string one = Deliver("44", "00", firstData, kSender, kStamp, firstSeptets);
  const std::string two = Deliver("44", "00", secondData, kSender, kStamp, secondSeptets);
  struct Case { const char* what; std::vector<std::string> parts; };
  const Case cases[] = {{"in order", {one, two}}, {"last part first", {two, one}}};
  for (const Case& c : cases) {
    Decoder.ClearFragments();
    EXPECT_TRUE(Feed(c.parts[0]).empty()) << c.what;
    EXPECT_EQ(Feed(c.parts[1]), (TStrings{"79001234567", "12/01/03,14:25:30+20", first + second})) << c.what;
  }
  // A single message of seven characters fills seven octets with seven fill bits too.
  EXPECT_EQ(Feed(Deliver("04", "00", Encode7Bit("1234567"), kSender, kStamp, 7))[2], "1234567");
  // A real "@" at the end stays (its septet is counted).
  EXPECT_EQ(Feed(Deliver("04", "00", Encode7Bit(std::string("123456") + '\0'), kSender, kStamp, 7))[2], "123456@");
}

TEST_F(PduConcatenation, ConcatenationIsFoundAmongOtherHeaderElements) {
  struct Case { const char* what; std::vector<std::pair<std::string, std::string>> parts; std::string text; };
  const Case cases[] = {
      {"16-bit reference", {{"06080412340201", "Hello"}, {"06080412340202", "world"}}, "Helloworld"},
      {"16-bit reference, last part first", {{"06080412340202", "world"}, {"06080412340201", "Hello"}},
       "Helloworld"},
      {"concatenation after port addressing",
       {{"0B05040B8423F0000342 0201", "Hello"}, {"0B05040B8423F00003420202", "world"}}, "Helloworld"},
  };
  for (const Case& c : cases) {
    Decoder.ClearFragments();
    TStrings out;
    for (const auto& [header, text] : c.parts) {
      std::string compact = header;
      std::erase(compact, ' ');
      auto [data, septets] = HeaderAndText(compact, text);
      out = Feed(Deliver("44", "00", data, kSender, kStamp, septets));
    }
    EXPECT_EQ(out, (TStrings{"79001234567", "12/01/03,14:25:30+20", c.text})) << c.what;
  }
  // 8-bit and 16-bit parts of the same number do not mix with another sender's.
  EXPECT_TRUE(Decoder.Pending().empty());
}

TEST(PduDecoder, HeaderWithoutConcatenationIsAMessageOfItsOwn) {
  struct Case { const char* what; std::string header; };
  const Case cases[] = {
      {"application port addressing", "0605040B8423F0"},
      {"national language locking shift", "03250101"},
      {"national language single shift", "03240101"},
      {"empty header", "00"},
      {"element running past the header", "03000305"},
  };
  for (const Case& c : cases) {
    auto [data, septets] = HeaderAndText(c.header, "Hello");
    EXPECT_EQ(Decode(Deliver("44", "00", data, kSender, kStamp, septets)),
              (TStrings{"79001234567", "12/01/03,14:25:30+20", "Hello"}))
        << c.what;
  }
}

// Service-centre time stamps: 12/01/03 14:25:30 and a day and an hour later, zone 0.
constexpr const char* kDayLater = "21103151520300";

TEST_F(PduConcatenation, IncompleteMessagesAreGivenUpWithWhatTheyHad) {
  auto part = [](const std::string& refTotalSeq, const std::string& text, const std::string& stamp) {
    auto [data, septets] = HeaderAndText("050003" + refTotalSeq, text);
    return Deliver("44", "00", data, kSender, stamp, septets);
  };
  std::vector<std::string> tags;
  TStrings out;
  Decoder.DecodeDeliverPdu(part("110301", "first ", "21103041520300"), out, "sm,1", &tags);
  Decoder.DecodeDeliverPdu(part("110303", "third", "21103041520300"), out, "sm,3", &tags);
  EXPECT_TRUE(Decoder.TakeGivenUp().empty());
  // A part of another message a day and an hour later: the first message is past its time.
  Decoder.DecodeDeliverPdu(part("120201", "x", kDayLater), out, "sm,4", &tags);
  std::vector<TIncompleteSms> givenUp = Decoder.TakeGivenUp();
  ASSERT_EQ(givenUp.size(), 1u);
  EXPECT_EQ(givenUp[0].Sender, "79001234567");
  EXPECT_EQ(givenUp[0].Time, "12/01/03,14:25:30+20");
  EXPECT_EQ(givenUp[0].Text, "first third");
  EXPECT_EQ(givenUp[0].Tags, (std::vector<std::string>{"sm,1", "sm,3"}));
  ASSERT_EQ(Decoder.Pending().size(), 1u);

  // The clock moves the time on too.
  Decoder.GiveUpStale(Decoder.Pending()[0].FirstStamp + TPduDecoder::kMaxPartAgeSeconds);
  EXPECT_TRUE(Decoder.TakeGivenUp().empty());
  Decoder.GiveUpStale(Decoder.Pending()[0].FirstStamp + TPduDecoder::kMaxPartAgeSeconds + 1);
  EXPECT_EQ(Decoder.TakeGivenUp().size(), 1u);
  EXPECT_TRUE(Decoder.Pending().empty());

  // A ninth waiting message pushes the oldest out: it is given up, not dropped.
  for (unsigned reference = 1; reference <= 9; ++reference) {
    char refTotalSeq[7];
    std::snprintf(refTotalSeq, sizeof refTotalSeq, "%02X0201", reference);
    Decoder.DecodeDeliverPdu(part(refTotalSeq, "part" + std::to_string(reference), kDayLater), out,
                             "sm," + std::to_string(reference), &tags);
  }
  givenUp = Decoder.TakeGivenUp();
  ASSERT_EQ(givenUp.size(), 1u);
  EXPECT_EQ(givenUp[0].Text, "part1");
  EXPECT_EQ(givenUp[0].Tags, (std::vector<std::string>{"sm,1"}));
}

TEST_F(PduConcatenation, EveryStoredCopyOfAPartIsNamedWhenTheMessageCompletes) {
  std::vector<std::string> tags;
  TStrings out;
  Decoder.DecodeDeliverPdu(Part("050201", "906536FB0D"), out, "sm,1", &tags);
  Decoder.DecodeDeliverPdu(Part("050201", "906536FB0D"), out, "sm,2", &tags);  // resent by the network
  Decoder.DecodeDeliverPdu(Part("050201", "906536FB0D"), out, "sm,2", &tags);  // the same copy read again
  EXPECT_TRUE(out.empty());
  Decoder.DecodeDeliverPdu(Part("050202", "EE6F399B0C"), out, "sm,3", &tags);
  EXPECT_EQ(out, (TStrings{"79001234567", "12/01/03,14:25:30+20", "Helloworld"}));
  std::sort(tags.begin(), tags.end());
  EXPECT_EQ(tags, (std::vector<std::string>{"sm,1", "sm,2", "sm,3"}));
}

TEST(PduEncoder, TextBeyondAsciiGoesAsUcs2) {
  struct Case { const char* what; std::string phone; std::string text; std::string pdu; };
  const Case cases[] = {
      {"Russian free text", "+79001234567", Cp1251("Привет"),
       "0011000B919700214365F70008020C041F04400438043204350442"},
      {"mixed text, Ё and the numero sign", "79001234567", Cp1251("Ё №1"),
       "0011000B919700214365F700080208040100202116" "0031"},
      {"ASCII stays 7-bit", "+79001234567", "hello", "0011000B919700214365F700000205E8329BFD06"},
  };
  for (const Case& c : cases) {
    std::string phone = c.phone;
    EXPECT_EQ(BuildPdu(phone, c.text), c.pdu) << c.what;
  }
  std::string phone = "79001234567";
  std::string seventy;
  for (int i = 0; i < 70; ++i) seventy += Cp1251("ж");
  EXPECT_EQ(BuildPdu(phone, seventy).size(), 30u + 280u);
  EXPECT_EQ(BuildPdu(phone, seventy + Cp1251("ж")), "");  // 71 characters: too long for one message
}
