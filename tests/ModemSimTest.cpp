// The simulated modem is the peer the monitor's modem code is tested against, so its answers,
// its PDUs and its reading of the host's PDUs are checked here against texts written out by
// hand, not against the monitor's own codec.

#include "support/TestWaits.h"
#include "support/Unprivileged.h"
#include "tools/modemsim/ModemSim.h"
#include "tools/modemsim/SimControl.h"
#include "tools/modemsim/SimPdu.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <limits>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

const std::string kOk = "\r\nOK\r\n";

// The time stamp 12/01/03 14:25:30, UTC+3, and no service centre unless a case gives one.
TSimDeliver Message(std::string sender, std::string text) {
  TSimDeliver message;
  message.Sender = std::move(sender);
  message.Text = std::move(text);
  message.Time = {2012, 1, 3, 14, 25, 30, 12};
  message.ServiceCentre = "";
  return message;
}

class ModemSimFixture : public ::testing::Test {
protected:
  ModemSimFixture() { Sim.SetEcho(false); }

  // Writes one command line as the host does and takes everything due at once.
  std::string Exchange(const std::string& command) {
    Sim.Feed(command + "\r\n");
    return Sim.Take();
  }

  TModemSim Sim;
};

// ---- AT answers -------------------------------------------------------------------------------

using TSetup = void (*)(TModemSim&);

void Plain(TModemSim&) {}
void SimPinLocked(TModemSim& sim) { sim.SetSimCard({TSimCardState::Pin}); }
void SimPin2Locked(TModemSim& sim) { sim.SetSimCard({TSimCardState::Pin2}); }
void SimPukLocked(TModemSim& sim) { sim.SetSimCard({TSimCardState::Puk}); }
void SimPuk2Locked(TModemSim& sim) { sim.SetSimCard({TSimCardState::Puk2}); }
void NarrowCnmi(TModemSim& sim) { sim.SetCnmiTestAnswer("+CNMI: (0,1),(0,1,2)"); }
void CnmiRefused(TModemSim& sim) { sim.SetRule("AT+CNMI=", "+CMS ERROR: 303"); }
void CmgfRefused(TModemSim& sim) { sim.SetRule("AT+CMGF=", "ERROR"); }
void CscsRefused(TModemSim& sim) { sim.SetRule("at+cscs=", "+CME ERROR: 4"); }
void CmgfSilent(TModemSim& sim) { sim.SetRule("AT+CMGF=0", ""); }
void AllSilent(TModemSim& sim) { sim.SetSilent(true); }
void NoOperatorName(TModemSim& sim) { sim.SetRegistration(0, ""); }
void RegistersLater(TModemSim& sim) { sim.SetRegistration(1000, "SimNet"); }
void NoPrompt(TModemSim& sim) { sim.SetRule("AT+CMGS=", "OK"); }
void PromptRefused(TModemSim& sim) { sim.SetRule("AT+CMGS=", "+CMS ERROR: 500"); }

struct TAnswerCase {
  const char* Name;
  TSetup Setup;
  const char* Command;
  const char* Answer;
};

const TAnswerCase kAnswerCases[] = {
    {"probe", Plain, "AT", "\r\nOK\r\n"},
    {"probe_lower_case", Plain, "at", "\r\nOK\r\n"},
    {"echo_off", Plain, "ATE0", "\r\nOK\r\n"},
    {"sim_ready", Plain, "AT+CPIN?", "\r\n+CPIN: READY\r\n\r\nOK\r\n"},
    {"sim_pin", SimPinLocked, "AT+CPIN?", "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n"},
    {"sim_pin2", SimPin2Locked, "AT+CPIN?", "\r\n+CPIN: SIM PIN2\r\n\r\nOK\r\n"},
    {"sim_puk", SimPukLocked, "AT+CPIN?", "\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n"},
    {"sim_puk2", SimPuk2Locked, "AT+CPIN?", "\r\n+CPIN: SIM PUK2\r\n\r\nOK\r\n"},
    {"cnmi_test", Plain, "AT+CNMI=?", "\r\n+CNMI: (0-3),(0-3),(0-3),(0-2),(0,1)\r\n\r\nOK\r\n"},
    {"cnmi_test_configured", NarrowCnmi, "AT+CNMI=?", "\r\n+CNMI: (0,1),(0,1,2)\r\n\r\nOK\r\n"},
    {"cnmi_set", Plain, "AT+CNMI=2,1", "\r\nOK\r\n"},
    {"cnmi_refused", CnmiRefused, "AT+CNMI=2,1", "\r\n+CMS ERROR: 303\r\n"},
    {"cnmi_refusal_spares_test_form", CnmiRefused, "AT+CNMI=?",
     "\r\n+CNMI: (0-3),(0-3),(0-3),(0-2),(0,1)\r\n\r\nOK\r\n"},
    {"pdu_mode", Plain, "AT+CMGF=0", "\r\nOK\r\n"},
    {"text_mode_not_offered", Plain, "AT+CMGF=1", "\r\n+CMS ERROR: 303\r\n"},
    {"pdu_mode_refused", CmgfRefused, "AT+CMGF=0", "\r\nERROR\r\n"},
    {"pdu_mode_silent", CmgfSilent, "AT+CMGF=0", ""},
    {"charset", Plain, "AT+CSCS=\"GSM\"", "\r\nOK\r\n"},
    {"charset_refused", CscsRefused, "AT+CSCS=\"GSM\"", "\r\n+CME ERROR: 4\r\n"},
    {"line_presentation", Plain, "AT+COLP=1", "\r\nOK\r\n"},
    {"operator", Plain, "AT+COPS?", "\r\n+COPS: 0,0,\"SimNet\"\r\n\r\nOK\r\n"},
    {"operator_not_yet", RegistersLater, "AT+COPS?", "\r\n+COPS: 0\r\n\r\nOK\r\n"},
    {"registered_without_name", NoOperatorName, "AT+COPS?", "\r\n+COPS: 0\r\n\r\nOK\r\n"},
    {"registration_without_name", NoOperatorName, "AT+CREG?", "\r\n+CREG: 0,1\r\n\r\nOK\r\n"},
    {"searching", RegistersLater, "AT+CREG?", "\r\n+CREG: 0,2\r\n\r\nOK\r\n"},
    {"locked_sim_not_registered", SimPinLocked, "AT+CREG?", "\r\n+CREG: 0,0\r\n\r\nOK\r\n"},
    {"locked_sim_refuses_pdu_mode", SimPinLocked, "AT+CMGF=0", "\r\n+CMS ERROR: 311\r\n"},
    {"puk_locked_sim_refuses_store", SimPukLocked, "AT+CPMS=\"SM\"", "\r\n+CMS ERROR: 316\r\n"},
    {"select_storage", Plain, "AT+CPMS=\"SM\"", "\r\n+CPMS: 0,30,0,30,0,30\r\n\r\nOK\r\n"},
    {"unknown_storage", Plain, "AT+CPMS=\"XX\"", "\r\n+CMS ERROR: 302\r\n"},
    {"read_empty_slot", Plain, "AT+CMGR=3", "\r\n+CMS ERROR: 321\r\n"},
    {"read_without_index", Plain, "AT+CMGR=", "\r\nERROR\r\n"},
    {"delete_out_of_range", Plain, "AT+CMGD=31", "\r\n+CMS ERROR: 321\r\n"},
    {"delete_empty_slot", Plain, "AT+CMGD=2", "\r\nOK\r\n"},
    {"list_empty_store", Plain, "AT+CMGL=4", "\r\nOK\r\n"},
    {"send_length_zero", Plain, "AT+CMGS=0", "\r\n+CMS ERROR: 304\r\n"},
    {"send_prompt", Plain, "AT+CMGS=19", "\r\n> "},
    {"send_without_prompt", NoPrompt, "AT+CMGS=19", "\r\nOK\r\n"},
    {"send_refused", PromptRefused, "AT+CMGS=19", "\r\n+CMS ERROR: 500\r\n"},
    {"hang_up", Plain, "ATH", "\r\nOK\r\n"},
    {"unknown_command", Plain, "AT+XYZZY", "\r\nERROR\r\n"},
    {"no_command", Plain, "hello", ""},
    {"silent_modem", AllSilent, "AT", ""},
};

void PrintTo(const TAnswerCase& c, std::ostream* os) { *os << c.Name; }

class AtAnswerTest : public ModemSimFixture, public ::testing::WithParamInterface<TAnswerCase> {};

TEST_P(AtAnswerTest, AnswersAsAModemInVerboseMode) {
  GetParam().Setup(Sim);
  EXPECT_EQ(Exchange(GetParam().Command), GetParam().Answer);
  EXPECT_EQ(Sim.Commands().back(), GetParam().Command);
}

INSTANTIATE_TEST_SUITE_P(ModemSim, AtAnswerTest, ::testing::ValuesIn(kAnswerCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(ModemSimEcho, EchoesUntilAte0) {
  TModemSim sim;  // a modem starts with echo on
  sim.Feed("AT\r\n");
  EXPECT_EQ(sim.Take(), "AT\r\r\nOK\r\n");
  sim.Feed("ATE0\r\n");
  EXPECT_EQ(sim.Take(), "ATE0\r\r\nOK\r\n");
  sim.Feed("AT\r\n");
  EXPECT_EQ(sim.Take(), "\r\nOK\r\n");
  sim.Feed("ATE1\r\n");
  EXPECT_EQ(sim.Take(), "\r\nOK\r\n");
  EXPECT_TRUE(sim.Echo());
}

TEST_F(ModemSimFixture, CommandsArrivingInPiecesAreJoinedAtTheCarriageReturn) {
  Sim.Feed("AT+CP");
  EXPECT_EQ(Sim.Take(), "");
  Sim.Feed("IN?\r");
  Sim.Feed("\n");
  EXPECT_EQ(Sim.Take(), "\r\n+CPIN: READY\r\n\r\nOK\r\n");
  EXPECT_EQ(Sim.Commands(), std::vector<std::string>{"AT+CPIN?"});
  EXPECT_EQ(Sim.ReceivedBytes(), "AT+CPIN?\r\n");
}

// ---- SIM PIN ----------------------------------------------------------------------------------

struct TPinCase {
  const char* Name;
  TSimCardState Before;
  const char* Command;
  const char* Answer;
  TSimCardState After;
};

const TPinCase kPinCases[] = {
    {"right_pin", TSimCardState::Pin, "AT+CPIN=\"1234\"", "\r\nOK\r\n", TSimCardState::Ready},
    {"wrong_pin", TSimCardState::Pin, "AT+CPIN=\"0000\"", "\r\n+CME ERROR: 16\r\n", TSimCardState::Pin},
    {"pin_without_quotes", TSimCardState::Pin, "AT+CPIN=1234", "\r\nOK\r\n", TSimCardState::Ready},
    {"right_pin2", TSimCardState::Pin2, "AT+CPIN=\"4321\"", "\r\nOK\r\n", TSimCardState::Ready},
    {"pin_given_for_pin2", TSimCardState::Pin2, "AT+CPIN=\"1234\"", "\r\n+CME ERROR: 16\r\n", TSimCardState::Pin2},
    {"right_puk", TSimCardState::Puk, "AT+CPIN=\"12345678\",\"1111\"", "\r\nOK\r\n", TSimCardState::Ready},
    {"wrong_puk", TSimCardState::Puk, "AT+CPIN=\"11111111\",\"1111\"", "\r\n+CME ERROR: 16\r\n", TSimCardState::Puk},
    {"puk_without_new_pin", TSimCardState::Puk, "AT+CPIN=\"12345678\"", "\r\n+CME ERROR: 3\r\n", TSimCardState::Puk},
    {"right_puk2", TSimCardState::Puk2, "AT+CPIN=\"87654321\",\"2222\"", "\r\nOK\r\n", TSimCardState::Ready},
    {"pin_for_ready_sim", TSimCardState::Ready, "AT+CPIN=\"1234\"", "\r\n+CME ERROR: 3\r\n", TSimCardState::Ready},
};

void PrintTo(const TPinCase& c, std::ostream* os) { *os << c.Name; }

class PinTest : public ModemSimFixture, public ::testing::WithParamInterface<TPinCase> {};

TEST_P(PinTest, UnlocksOnlyWithTheRightCode) {
  Sim.SetSimCard({GetParam().Before});
  EXPECT_EQ(Exchange(GetParam().Command), GetParam().Answer);
  EXPECT_EQ(Sim.SimCard().State, GetParam().After);
}

INSTANTIATE_TEST_SUITE_P(ModemSim, PinTest, ::testing::ValuesIn(kPinCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ModemSimFixture, PukSetsTheNewPinAndOpensTheMessageCommands) {
  Sim.SetSimCard({TSimCardState::Puk});
  EXPECT_EQ(Exchange("AT+CMGF=0"), "\r\n+CMS ERROR: 316\r\n");
  EXPECT_EQ(Exchange("AT+CPIN=\"12345678\",\"9876\""), kOk);
  EXPECT_EQ(Sim.SimCard().Pin, "9876");
  EXPECT_EQ(Exchange("AT+CPIN?"), "\r\n+CPIN: READY\r\n" + kOk);
  EXPECT_EQ(Exchange("AT+CMGF=0"), kOk);
}

TEST_F(ModemSimFixture, RegistrationDelayCountsFromTheUnlockedSim) {
  Sim.SetSimCard({TSimCardState::Pin});
  Sim.SetRegistration(5000, "SimNet");
  Sim.Advance(10000);
  EXPECT_EQ(Exchange("AT+COPS?"), "\r\n+COPS: 0\r\n" + kOk);
  EXPECT_EQ(Exchange("AT+CPIN=\"1234\""), kOk);
  Sim.Advance(4999);
  EXPECT_EQ(Exchange("AT+COPS?"), "\r\n+COPS: 0\r\n" + kOk);
  EXPECT_EQ(Exchange("AT+CREG?"), "\r\n+CREG: 0,2\r\n" + kOk);
  Sim.Advance(1);
  EXPECT_EQ(Exchange("AT+COPS?"), "\r\n+COPS: 0,0,\"SimNet\"\r\n" + kOk);
  EXPECT_EQ(Exchange("AT+CREG?"), "\r\n+CREG: 0,1\r\n" + kOk);
}

TEST_F(ModemSimFixture, NeverRegistersWhenTold) {
  Sim.SetRegistration(TModemSim::kNever, "SimNet");
  Sim.Advance(TModemSim::kNever);
  EXPECT_FALSE(Sim.Registered());
  EXPECT_EQ(Exchange("AT+COPS?"), "\r\n+COPS: 0\r\n" + kOk);
}

// ---- sending: the AT+CMGS dialogue ------------------------------------------------------------

struct TSubmitCase {
  const char* Name;
  int Announced;
  const char* Pdu;
  const char* Answer;  // after the prompt
  const char* Recipient;
  const char* Text;
  int ConcatSequence;  // 0: no concatenation element
};

const TSubmitCase kSubmitCases[] = {
    // "hello" to +79001234567, 7-bit, relative validity.
    {"seven_bit", 19, "0011000B919700214365F700000205E8329BFD06", "\r\n+CMGS: 1\r\n\r\nOK\r\n", "79001234567",
     "hello", 0},
    {"lower_case_hex", 19, "0011000b919700214365f700000205e8329bfd06", "\r\n+CMGS: 1\r\n\r\nOK\r\n", "79001234567",
     "hello", 0},
    // "Да" in UCS2, no validity period, message reference 7.
    {"ucs2", 17, "0001070B919700214365F700080404140430", "\r\n+CMGS: 1\r\n\r\nOK\r\n", "79001234567",
     "\xC4\xE0", 0},
    // Part 1 of 2, reference 5, "ABC" behind the six-octet header and one fill bit.
    {"concatenated_part", 23, "0051000B919700214365F70000A70A05000305020182C221", "\r\n+CMGS: 1\r\n\r\nOK\r\n",
     "79001234567", "ABC", 1},
    // The same behind a 16-bit reference (element 08): seven octets of header, no fill bit.
    {"wide_reference_part", 24, "0051000B919700214365F70000A70B0608041234020141E110", "\r\n+CMGS: 1\r\n\r\nOK\r\n",
     "79001234567", "ABC", 1},
    // A service-centre address in front is not counted in the announced length.
    {"with_service_centre", 19, "07919700000000F011000B919700214365F700000205E8329BFD06",
     "\r\n+CMGS: 1\r\n\r\nOK\r\n", "79001234567", "hello", 0},
    {"length_one_short", 18, "0011000B919700214365F700000205E8329BFD06", "\r\n+CMS ERROR: 529\r\n", "", "", 0},
    {"odd_digit_count", 19, "0011000B919700214365F700000205E8329BFD0", "\r\n+CMS ERROR: 528\r\n", "", "", 0},
    {"not_hex", 19, "0011000B919700214365F700000205E8329BFDXY", "\r\n+CMS ERROR: 528\r\n", "", "", 0},
    {"deliver_not_submit", 19, "0004000B919700214365F700000205E8329BFD06", "\r\n+CMS ERROR: 530\r\n", "", "", 0},
    {"centre_longer_than_pdu", -1, "0F11", "\r\n+CMS ERROR: 304\r\n", "", "", 0},
    {"address_cut_off", -1, "0011000B9197", "\r\n+CMS ERROR: 304\r\n", "", "", 0},
    {"address_too_long", -1, "001100FF91", "\r\n+CMS ERROR: 304\r\n", "", "", 0},
    {"user_length_beyond_data", 19, "0011000B919700214365F700000206E8329BFD06", "\r\n+CMS ERROR: 533\r\n", "", "", 0},
    {"header_beyond_data", 16, "0051000B919700214365F70000A7020A00", "\r\n+CMS ERROR: 533\r\n", "", "", 0},
    {"ucs2_odd_octets", 16, "0001070B919700214365F70008030414FF", "\r\n+CMS ERROR: 533\r\n", "", "", 0},
};

void PrintTo(const TSubmitCase& c, std::ostream* os) { *os << c.Name; }

class SubmitTest : public ModemSimFixture, public ::testing::WithParamInterface<TSubmitCase> {};

TEST_P(SubmitTest, DecodesWhatTheHostSends) {
  const TSubmitCase& c = GetParam();
  // Without a count of its own a case announces its octets after the empty service-centre part.
  int announced = c.Announced >= 0 ? c.Announced : static_cast<int>(std::strlen(c.Pdu) / 2) - 1;
  EXPECT_EQ(Exchange("AT+CMGS=" + std::to_string(announced)), "\r\n> ");
  ASSERT_TRUE(Sim.InSendPrompt());
  Sim.Feed(std::string(c.Pdu) + "\x1A");
  EXPECT_EQ(Sim.Take(), c.Answer);
  EXPECT_FALSE(Sim.InSendPrompt());
  EXPECT_EQ(Sim.Commands().back(), c.Pdu);

  std::vector<TSimSubmit> sent = Sim.SentMessages();
  if (*c.Recipient == 0) {
    EXPECT_TRUE(sent.empty());
    return;
  }
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].Recipient, c.Recipient);
  EXPECT_EQ(sent[0].RecipientType, 0x91);
  EXPECT_EQ(sent[0].Text, c.Text);
  EXPECT_EQ(sent[0].Concatenated, c.ConcatSequence != 0);
  EXPECT_EQ(sent[0].ConcatSequence, c.ConcatSequence);
}

INSTANTIATE_TEST_SUITE_P(ModemSim, SubmitTest, ::testing::ValuesIn(kSubmitCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ModemSimFixture, EachAcceptedSendGetsTheNextReference) {
  const std::string pdu = "0011000B919700214365F700000205E8329BFD06\x1A";
  Exchange("AT+CMGS=19");
  Sim.Feed(pdu);
  EXPECT_EQ(Sim.Take(), "\r\n+CMGS: 1\r\n" + kOk);
  Exchange("AT+CMGS=19");
  Sim.Feed(pdu);
  EXPECT_EQ(Sim.Take(), "\r\n+CMGS: 2\r\n" + kOk);
  EXPECT_EQ(Sim.SentMessages().size(), 2u);
}

TEST_F(ModemSimFixture, ToldToFailItRefusesTheSendAndRecordsNothing) {
  Sim.SetSendAnswer("+CMS ERROR: 500");
  Exchange("AT+CMGS=19");
  Sim.Feed("0011000B919700214365F700000205E8329BFD06\x1A");
  EXPECT_EQ(Sim.Take(), "\r\n+CMS ERROR: 500\r\n");
  Sim.SetSendAnswer(std::string());
  Exchange("AT+CMGS=19");
  Sim.Feed("0011000B919700214365F700000205E8329BFD06\x1A");
  EXPECT_EQ(Sim.Take(), "");
  EXPECT_TRUE(Sim.SentMessages().empty());
}

TEST_F(ModemSimFixture, EscapeLeavesThePromptWithoutSending) {
  Exchange("AT+CMGS=19");
  Sim.Feed("0011000B91\x1B");
  EXPECT_EQ(Sim.Take(), kOk);
  EXPECT_FALSE(Sim.InSendPrompt());
  EXPECT_TRUE(Sim.SentMessages().empty());
  EXPECT_EQ(Exchange("AT"), kOk);
}

TEST_F(ModemSimFixture, NoticeDuringThePromptReachesTheHost) {
  Exchange("AT+CMGS=19");
  Sim.InjectCmti(Message("+79001234567", "Hello"));
  Sim.Feed("0011000B919700214365F700000205E8329BFD06\x1A");
  EXPECT_EQ(Sim.Take(), "\r\n+CMTI: \"SM\",1\r\n\r\n+CMGS: 1\r\n" + kOk);
}

// ---- delivering: +CMT, +CMTI, the store -------------------------------------------------------

TEST_F(ModemSimFixture, CmtCarriesTheDeliverPduInline) {
  TSimDeliver message = Message("+79001234567", "Hello");
  message.ServiceCentre = "+79000000000";
  std::vector<TSimPdu> pdus = Sim.InjectCmt(message);
  ASSERT_EQ(pdus.size(), 1u);
  EXPECT_EQ(Sim.Take(),
            "\r\n+CMT: ,24\r\n07919700000000F0040B919700214365F700002110304152032105C8329BFD06\r\n");
}

TEST_F(ModemSimFixture, UcsTwoForCyrillicTextAndZoneWestOfGreenwich) {
  TSimDeliver message = Message("12345", "\xC4\xE0");  // "Да"
  message.Time = {2026, 1, 2, 12, 30, 45, -8};
  Sim.InjectCmt(message);
  EXPECT_EQ(Sim.Take(), "\r\n+CMT: ,20\r\n00040581" "2143F5" "0008" "62102021035488" "04" "04140430\r\n");
}

TEST_F(ModemSimFixture, ConcatenatedPartsInReverseOrder) {
  TSimDeliver message = Message("+79001234567", "ABCDEF");
  message.Parts = 2;
  message.Reference = 5;
  message.Reverse = true;
  Sim.InjectCmt(message);
  EXPECT_EQ(Sim.Take(),
            "\r\n+CMT: ,28\r\n00440B919700214365F70000211030415203210A050003050202884523\r\n"
            "\r\n+CMT: ,28\r\n00440B919700214365F70000211030415203210A05000305020182C221\r\n");
}

TEST_F(ModemSimFixture, WideReferenceUsesElementEightAndNoFillBit) {
  TSimDeliver message = Message("+79001234567", "ABCDEF");
  message.Parts = 2;
  message.Reference = 0x1234;
  message.WideReference = true;
  std::vector<TSimPdu> pdus = Sim.InjectCmt(message);
  ASSERT_EQ(pdus.size(), 2u);
  EXPECT_EQ(pdus[0].Hex, "00440B919700214365F70000211030415203210B0608041234020141E110");
  EXPECT_EQ(pdus[0].TpduLength, 29);
}

struct TSenderCase {
  const char* Sender;
  const char* Address;  // length, type of address, value; "" when the message is refused
};

const TSenderCase kSenderCases[] = {
    {"+79001234567", "0B919700214365F7"},
    {"12345", "05812143F5"},
    {"Info", "07D049B7F90D"},
    {"+12345678901234567890", "149121436587092143658709"},
    {"+123456789012345678901", ""},
    {"ElevenChars", "14D0"},
    {"TwelveLetter", ""},
};

TEST(ModemSimDeliver, SenderAddressForms) {
  for (const TSenderCase& c : kSenderCases) {
    std::vector<TSimPdu> pdus = SimBuildDeliverPdus(Message(c.Sender, "x"));
    if (*c.Address == 0) {
      EXPECT_TRUE(pdus.empty()) << c.Sender;
      continue;
    }
    ASSERT_EQ(pdus.size(), 1u) << c.Sender;
    EXPECT_EQ(pdus[0].Hex.substr(4, std::strlen(c.Address)), c.Address) << c.Sender;
  }
}

TEST(ModemSimDeliver, ServiceCentreMustBeANumber) {
  TSimDeliver message = Message("+79001234567", "x");
  message.ServiceCentre = "centre";
  EXPECT_TRUE(SimBuildDeliverPdus(message).empty());
  message.ServiceCentre = "89000000000";
  EXPECT_EQ(SimBuildDeliverPdus(message).at(0).Hex.substr(0, 16), "07819800000000F0");
}

struct TPartCountCase {
  size_t Length;
  bool Ucs2;
  int Requested;
  size_t Parts;  // 0: refused
};

const TPartCountCase kPartCountCases[] = {
    {160, false, 0, 1}, {161, false, 0, 2}, {306, false, 0, 2}, {307, false, 0, 3},
    {70, true, 0, 1},   {71, true, 0, 2},   {134, true, 0, 2},  {135, true, 0, 3},   {0, false, 0, 1},   {161, false, 1, 0},
    {10, false, 3, 3},  {2, false, 3, 3},   {10, false, 256, 0},
};

TEST(ModemSimDeliver, PartCountFollowsTheTextLength) {
  for (const TPartCountCase& c : kPartCountCases) {
    TSimDeliver message = Message("+79001234567", std::string(c.Length, 'x'));
    message.Ucs2 = c.Ucs2;
    message.Parts = c.Requested;
    std::vector<TSimPdu> pdus = SimBuildDeliverPdus(message);
    EXPECT_EQ(pdus.size(), c.Parts) << c.Length << (c.Ucs2 ? " ucs2" : "") << " requested " << c.Requested;
    // Every part fits 140 user-data octets behind the 19 octets of its other fields.
    for (const TSimPdu& pdu : pdus) EXPECT_LE(pdu.TpduLength, 19 + 140);
  }
}

TEST_F(ModemSimFixture, StoredMessageIsAnnouncedReadAndDeleted) {
  std::vector<int> indices = Sim.InjectCmti(Message("+79001234567", "Hello"));
  ASSERT_EQ(indices, std::vector<int>{1});
  EXPECT_EQ(Sim.Take(), "\r\n+CMTI: \"SM\",1\r\n");

  const std::string pdu = "00040B919700214365F700002110304152032105C8329BFD06";
  EXPECT_EQ(Exchange("AT+CPMS=\"SM\""), "\r\n+CPMS: 1,30,1,30,1,30\r\n" + kOk);
  EXPECT_EQ(Exchange("AT+CMGR=1"), "\r\n+CMGR: 0,,24\r\n" + pdu + "\r\n" + kOk);
  EXPECT_EQ(Exchange("AT+CMGR=1"), "\r\n+CMGR: 1,,24\r\n" + pdu + "\r\n" + kOk);
  EXPECT_EQ(Exchange("AT+CMGD=1"), kOk);
  EXPECT_EQ(Exchange("AT+CMGR=1"), "\r\n+CMS ERROR: 321\r\n");
  EXPECT_TRUE(Sim.StoredMessages("SM").empty());
}

TEST_F(ModemSimFixture, EachStorageIsReadOnlyOnceSelected) {
  ASSERT_EQ(Sim.InjectCmti(Message("+79001234567", "Hello"), "ME"), std::vector<int>{1});
  EXPECT_EQ(Sim.Take(), "\r\n+CMTI: \"ME\",1\r\n");
  EXPECT_EQ(Exchange("AT+CMGR=1"), "\r\n+CMS ERROR: 321\r\n");
  EXPECT_EQ(Exchange("AT+CPMS=\"ME\""), "\r\n+CPMS: 1,100,0,30,0,30\r\n" + kOk);
  EXPECT_EQ(Exchange("AT+CMGR=1").substr(0, 16), "\r\n+CMGR: 0,,24\r\n");
}

TEST_F(ModemSimFixture, ConcatenatedCmtiStoresEveryPartUnderItsOwnIndex) {
  TSimDeliver message = Message("+79001234567", "ABCDEF");
  message.Parts = 2;
  message.Reference = 5;
  message.Reverse = true;
  EXPECT_EQ(Sim.InjectCmti(message), (std::vector<int>{1, 2}));
  EXPECT_EQ(Sim.Take(), "\r\n+CMTI: \"SM\",1\r\n\r\n+CMTI: \"SM\",2\r\n");
  auto stored = Sim.StoredMessages("SM");
  EXPECT_EQ(stored[1].Pdu, "00440B919700214365F70000211030415203210A050003050202884523");
  EXPECT_EQ(stored[2].Pdu, "00440B919700214365F70000211030415203210A05000305020182C221");
}

TEST_F(ModemSimFixture, MessageThatDoesNotFitTheStoreIsNotStoredAtAll) {
  Sim.SetStoreCapacity("SM", 1);
  TSimDeliver message = Message("+79001234567", "ABCDEF");
  message.Parts = 2;
  EXPECT_TRUE(Sim.InjectCmti(message).empty());
  EXPECT_TRUE(Sim.StoredMessages("SM").empty());
  EXPECT_EQ(Sim.Take(), "");
}

TEST_F(ModemSimFixture, ListAndDeleteByStatus) {
  Sim.StoreSms(Message("+79001234567", "one"));
  Sim.StoreSms(Message("+79001234567", "two"));
  Sim.StoreSms(Message("+79001234567", "three"));
  Exchange("AT+CMGR=2");  // now read

  std::string unread = Exchange("AT+CMGL=0");
  EXPECT_EQ(unread.substr(0, 16), "\r\n+CMGL: 1,0,,22");
  EXPECT_NE(unread.find("\r\n+CMGL: 3,0,,24\r\n"), std::string::npos);
  EXPECT_EQ(unread.find("+CMGL: 2,"), std::string::npos);
  EXPECT_EQ(unread.substr(unread.size() - 8), "\r\n" + kOk);

  std::string all = Exchange("AT+CMGL=4");
  EXPECT_NE(all.find("+CMGL: 1,1,,"), std::string::npos);
  EXPECT_NE(all.find("+CMGL: 2,1,,"), std::string::npos);
  EXPECT_NE(all.find("+CMGL: 3,1,,"), std::string::npos);

  Sim.StoreSms(Message("+79001234567", "four"));
  EXPECT_EQ(Exchange("AT+CMGD=1,1"), kOk);  // every read message
  auto left = Sim.StoredMessages("SM");
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left.begin()->first, 4);
}

// ---- timing: delays, pieces, bursts, RING -----------------------------------------------------

TEST_F(ModemSimFixture, AnswerDelayHoldsTheAnswerBack) {
  Sim.SetAnswerDelay(300);
  Sim.Feed("AT\r\n");
  EXPECT_EQ(Sim.PendingBytes(), 0u);
  EXPECT_EQ(Sim.NextEventIn(), 300u);
  Sim.Advance(299);
  EXPECT_EQ(Sim.Take(), "");
  Sim.Advance(1);
  EXPECT_EQ(Sim.Take(), kOk);
  EXPECT_EQ(Sim.NextEventIn(), std::nullopt);
}

TEST_F(ModemSimFixture, WithEchoOnTheEchoComesAtOnceAndTheDelayedAnswerAfterIt) {
  Sim.SetEcho(true);
  Sim.SetAnswerDelay(100);
  Sim.Feed("AT+CPIN?\r\n");
  EXPECT_EQ(Sim.Take(), "AT+CPIN?\r");
  Sim.Advance(99);
  EXPECT_EQ(Sim.Take(), "");
  Sim.Advance(1);
  EXPECT_EQ(Sim.Take(), "\r\n+CPIN: READY\r\n\r\nOK\r\n");
}

TEST_F(ModemSimFixture, StatusReportsComeAtTheirIntervalUntilStopped) {
  Sim.SetStatusReport(150, "^RSSI:18");
  EXPECT_EQ(Sim.NextEventIn(), 150u);
  Sim.Advance(149);
  EXPECT_EQ(Sim.Take(), "");
  Sim.Advance(1);
  EXPECT_EQ(Sim.Take(), "\r\n^RSSI:18\r\n");
  // Between two reports the answers go out as usual.
  EXPECT_EQ(Exchange("AT"), kOk);
  Sim.Advance(300);
  EXPECT_EQ(Sim.Take(), "\r\n^RSSI:18\r\n\r\n^RSSI:18\r\n");
  // A long jump of the clock does not flood the host.
  Sim.Advance(TModemSim::kNever);
  EXPECT_LE(Sim.Take().size(), 101 * std::string("\r\n^RSSI:18\r\n").size());
  Sim.SetStatusReport(0, "");
  EXPECT_EQ(Sim.NextEventIn(), std::nullopt);
}

TEST_F(ModemSimFixture, SeveralReportLinesGoInTurnAndInsideAnswersWhenAsked) {
  Sim.SetStatusReport(100, "^RSSI:18\nRDY\r\n+CREG: 1");
  Sim.Advance(300);
  EXPECT_EQ(Sim.Take(), "\r\n^RSSI:18\r\n\r\nRDY\r\n\r\n+CREG: 1\r\n");
  // Inside: between every two lines of an answer or a notice, never after its last one.
  Sim.SetReportsInside(true);
  EXPECT_EQ(Exchange("AT"), "\r\n^RSSI:18\r\nOK\r\n");
  EXPECT_EQ(Exchange("AT+CMGS=19"), "\r\nRDY\r\n> ");
  Sim.Feed("0011000B919700214365F700000205E8329BFD06\x1A");
  EXPECT_EQ(Sim.Take(), "\r\n+CREG: 1\r\n+CMGS: 1\r\n^RSSI:18\r\n\r\nRDY\r\nOK\r\n");
  const std::vector<TSimPdu> pdus = Sim.InjectCmt(Message("+79001234567", "Hello"));
  ASSERT_EQ(pdus.size(), 1u);
  EXPECT_EQ(Sim.Take(), "\r\n+CREG: 1\r\n+CMT: ,24\r\n^RSSI:18\r\n" + pdus[0].Hex + "\r\n");
  // Raw bytes stay as they are.
  Sim.InjectRaw("\r\nRING\r\n");
  EXPECT_EQ(Sim.Take(), "\r\nRING\r\n");
  Sim.SetReportsInside(false);
  EXPECT_EQ(Exchange("AT"), kOk);
}

TEST_F(ModemSimFixture, MessagesWaitingForACommandFollowItsAnswer) {
  Sim.DeliverAfter("at+cnmi=", Message("+79001234567", "Hello"), false);
  Sim.DeliverAfter("AT+CNMI=", Message("+79001234567", "Stored"), true);
  EXPECT_EQ(Exchange("AT+CNMI=?"), "\r\n+CNMI: (0-3),(0-3),(0-3),(0-2),(0,1)\r\n\r\nOK\r\n");
  EXPECT_TRUE(Sim.StoredMessages("SM").empty());
  EXPECT_EQ(Exchange("AT+CNMI=2,1"),
            "\r\nOK\r\n"
            "\r\n+CMT: ,24\r\n00040B919700214365F700002110304152032105C8329BFD06\r\n"
            "\r\n+CMTI: \"SM\",1\r\n");
  EXPECT_EQ(Sim.StoredMessages("SM").size(), 1u);
  // Each is delivered once.
  EXPECT_EQ(Exchange("AT+CNMI=2,1"), kOk);
}

TEST_F(ModemSimFixture, SplitAnswerArrivesPieceByPiece) {
  Sim.SetSplit(10, 100);
  Sim.InjectCmt(Message("+79001234567", "Hello"));
  std::string whole;
  std::vector<size_t> pieces;
  for (int turn = 0; turn < 10; ++turn) {
    std::string piece = Sim.Take();
    pieces.push_back(piece.size());
    whole += piece;
    Sim.Advance(100);
  }
  EXPECT_EQ(whole, "\r\n+CMT: ,24\r\n00040B919700214365F700002110304152032105C8329BFD06\r\n");
  EXPECT_EQ(pieces, (std::vector<size_t>{10, 10, 10, 10, 10, 10, 5, 0, 0, 0}));
}

TEST_F(ModemSimFixture, HeldBurstIsReleasedWholeAndTakenInReads) {
  Sim.SetHold(true);
  for (int i = 0; i < 10; ++i) Sim.InjectCmt(Message("+79001234567", std::string(120, 'a' + i)));
  EXPECT_EQ(Sim.PendingBytes(), 0u);
  EXPECT_EQ(Sim.Take(), "");
  Sim.SetHold(false);
  size_t burst = Sim.PendingBytes();
  EXPECT_GT(burst, 1024u);
  EXPECT_EQ(Sim.Take(1024).size(), 1024u);
  EXPECT_EQ(Sim.PendingBytes(), burst - 1024);
  std::string rest = Sim.Take();
  EXPECT_EQ(rest.size(), burst - 1024);
  EXPECT_EQ(rest.substr(rest.size() - 2), "\r\n");
}

TEST_F(ModemSimFixture, PurgeDropsOnlyWhatIsDue) {
  Sim.SetSplit(4, 100);
  Sim.InjectRaw("RINGRING");
  Sim.DropDue();
  EXPECT_EQ(Sim.Take(), "");
  Sim.Advance(100);
  EXPECT_EQ(Sim.Take(), "RING");
}

TEST_F(ModemSimFixture, RingRepeatsUntilHungUp) {
  Sim.InjectRing(3, 5000);
  EXPECT_EQ(Sim.Take(), "\r\nRING\r\n");
  EXPECT_EQ(Sim.NextEventIn(), 5000u);
  Sim.Advance(5000);
  EXPECT_EQ(Sim.Take(), "\r\nRING\r\n");
  EXPECT_EQ(Exchange("ATH"), kOk);
  EXPECT_FALSE(Sim.Ringing());
  Sim.Advance(20000);
  EXPECT_EQ(Sim.Take(), "");
  EXPECT_EQ(Sim.Commands().back(), "ATH");
}

TEST_F(ModemSimFixture, EndlessRingingIsBounded) {
  Sim.InjectRing(std::numeric_limits<int>::max(), 0);
  Sim.Advance(TModemSim::kNever / 2);
  std::string rings = Sim.Take();
  EXPECT_EQ(rings.size(), TModemSim::kMaxRings * std::string("\r\nRING\r\n").size());
  EXPECT_FALSE(Sim.Ringing());
}

TEST_F(ModemSimFixture, OverlongLineIsRefusedNotKeptWhole) {
  Sim.Feed("AT+" + std::string(100000, 'A') + "\r\n");
  EXPECT_EQ(Sim.Take(), "\r\nERROR\r\n");
  EXPECT_LE(Sim.Commands().back().size(), 4096u);
  EXPECT_EQ(Exchange("AT"), kOk);
}

// ---- control language -------------------------------------------------------------------------

struct TControlCase {
  const char* Line;
  const char* Reply;
};

const TControlCase kControlCases[] = {
    {"sim pin", "ok\n"},
    {"sim locked", "error: unknown SIM state\n"},
    {"echo maybe", "error: expected on or off\n"},
    {"register soon", "error: delay in ms expected\n"},
    {"split 10", "error: expected BYTES GAP_MS\n"},
    {"cmt --parts x +7900 hi", "error: --parts needs a number up to 255\n"},
    {"cmt --ref 65536 +7900 hi", "error: --ref needs a number up to 65535\n"},
    {"cmt --colour red +7900 hi", "error: unknown option --colour\n"},
    {"cmt", "error: sender missing\n"},
    {"cmti --storage XX +7900 hi", "error: not stored (storage unknown or full, or text does not fit)\n"},
    {"frobnicate", "error: unknown command frobnicate\n"},
    {"report 150 ^RSSI:18", "ok\n"},
    {"report 0", "ok\n"},
    {"report often ^RSSI:18", "error: interval in ms expected\n"},
    {"report 150", "error: report line missing\n"},
    {"report-inside on", "ok\n"},
    {"report-inside sometimes", "error: expected on or off\n"},
    {"after AT+CNMI= cmt +7900 hi", "ok\n"},
    {"after AT+CNMI= cmti --storage ME +7900 hi", "ok\n"},
    {"after AT+CNMI= ring", "error: expected COMMAND cmt|cmti ...\n"},
    {"after AT+CNMI= cmt", "error: sender missing\n"},
    {"# a comment", ""},
    {"", ""},
};

TEST(ModemSimControl, RepliesOkOrSaysWhatIsWrong) {
  for (const TControlCase& c : kControlCases) {
    TModemSim sim;
    TSimControl control(sim);
    EXPECT_EQ(control.Run(c.Line), c.Reply) << c.Line;
  }
}

TEST(ModemSimControl, ScriptDrivesTheModem) {
  TModemSim sim;
  TSimControl control(sim);
  for (const char* line : {"echo off", "sim pin", "pin 5555", "refuse AT+CSCS= +CME ERROR: 4",
                           "time 2012-01-03 14:25:30 12"})
    ASSERT_EQ(control.Run(line), "ok\n") << line;
  sim.Feed("AT+CPIN=\"5555\"\r\nAT+CSCS=\"GSM\"\r\n");
  EXPECT_EQ(sim.Take(), "\r\nOK\r\n\r\n+CME ERROR: 4\r\n");

  EXPECT_EQ(control.Run("cmt --parts 2 --reverse --ref 5 +79001234567 ABCDEF"),
            "07919700000000F0" "440B919700214365F70000211030415203210A050003050202884523\n"
            "07919700000000F0" "440B919700214365F70000211030415203210A05000305020182C221\n"
            "ok\n");
  sim.Take();
  // Texts come in UTF-8 and go out in code page 1251 (here as UCS2).
  EXPECT_EQ(control.Run("store +79001234567 Да"), "1\nok\n");
  EXPECT_NE(sim.StoredMessages("SM")[1].Pdu.find("04140430"), std::string::npos);

  EXPECT_EQ(control.Run("raw \\r\\nRING\\r\\n"), "ok\n");
  EXPECT_EQ(sim.Take(), "\r\nRING\r\n");

  sim.Feed("AT+CMGS=19\r\n0011000B919700214365F700000205E8329BFD06\x1A");
  EXPECT_EQ(control.Run("sent"), "79001234567 hello\nok\n");
  EXPECT_EQ(control.Run("quit"), "ok\n");
  EXPECT_TRUE(control.QuitRequested());
}

TEST(ModemSimControl, EscapesSurviveTheRoundTrip) {
  std::string bytes("a\\b\r\n\t\x1A\x7F", 8);
  bytes += '\0';
  bytes += 'z';
  EXPECT_EQ(TSimControl::Escape(bytes), "a\\\\b\\r\\n\\t\\x1A\\x7F\\x00z");
  EXPECT_EQ(TSimControl::Unescape(TSimControl::Escape(bytes)), bytes);
  EXPECT_EQ(TSimControl::Unescape("\\x4"), "\\x4");  // a short escape stays as it is
  EXPECT_EQ(TSimControl::Unescape("end\\"), "end\\");
}

// ---- the program on a real pseudo-terminal ----------------------------------------------------

class TSimProcess {
public:
  bool Start(const std::vector<std::string>& args) {
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) return false;
    Pid = fork();
    if (Pid == 0) {
      dup2(toChild[0], STDIN_FILENO);
      dup2(fromChild[1], STDOUT_FILENO);
      close(toChild[1]);
      close(fromChild[0]);
      std::vector<char*> argv;
      std::string program = ORVEX_MODEMSIM_EXE;
      argv.push_back(program.data());
      std::vector<std::string> copies = args;
      for (std::string& arg : copies) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    In = toChild[1];
    Out = fromChild[0];
    return Pid > 0;
  }

  ~TSimProcess() {
    if (Pid > 0) {
      kill(Pid, SIGKILL);
      waitpid(Pid, nullptr, 0);
    }
    if (In >= 0) close(In);
    if (Out >= 0) close(Out);
  }

  // Reads from `fd` until `ending` has arrived or the bound has passed. The simulator answers
  // at once; the bound covers its start on a loaded machine.
  static std::string ReadUntil(int fd, const std::string& ending, std::string& buffer) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(Scaled(10000));
    while (buffer.find(ending) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      char chunk[512];
      ssize_t count = read(fd, chunk, sizeof chunk);
      if (count <= 0) break;
      buffer.append(chunk, static_cast<size_t>(count));
    }
    size_t end = buffer.find(ending);
    if (end == std::string::npos) return std::exchange(buffer, std::string());
    std::string out = buffer.substr(0, end + ending.size());
    buffer.erase(0, end + ending.size());
    return out;
  }

  std::string Control(const std::string& line) {
    std::string text = line + "\n";
    EXPECT_EQ(write(In, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    return ReadUntil(Out, "ok\n", OutBuffer);
  }

  std::string FirstLine() { return ReadUntil(Out, "\n", OutBuffer); }

  int Stop() {
    kill(Pid, SIGTERM);
    int status = 0;
    waitpid(Pid, &status, 0);
    Pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

private:
  pid_t Pid = -1;
  int In = -1;
  int Out = -1;
  std::string OutBuffer;
};

TEST(ModemSimProgram, TalksAtOverAPseudoTerminal) {
  std::string socketPath = "/tmp/orvex-modemsim-test-" + std::to_string(getpid()) + ".sock";
  TSimProcess process;
  ASSERT_TRUE(process.Start({"--control", socketPath, "--exec", "time 2012-01-03 14:25:30 12"}));
  std::string path = process.FirstLine();
  ASSERT_FALSE(path.empty());
  path.pop_back();
  ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;

  int port = open(path.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(port, 0);
  termios mode{};
  ASSERT_EQ(tcgetattr(port, &mode), 0);
  cfmakeraw(&mode);
  cfsetspeed(&mode, B115200);
  ASSERT_EQ(tcsetattr(port, TCSANOW, &mode), 0);

  std::string fromModem;
  auto talk = [&](const std::string& bytes, const std::string& ending) {
    EXPECT_EQ(write(port, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    return TSimProcess::ReadUntil(port, ending, fromModem);
  };
  EXPECT_EQ(talk("AT\r\n", "OK\r\n"), "AT\r\r\nOK\r\n");
  EXPECT_EQ(talk("ATE0\r\n", "OK\r\n"), "ATE0\r\r\nOK\r\n");
  EXPECT_EQ(talk("AT+CPIN?\r\n", "OK\r\n"), "\r\n+CPIN: READY\r\n\r\nOK\r\n");

  EXPECT_EQ(process.Control("cmti +79001234567 Hello"), "1\nok\n");
  EXPECT_EQ(TSimProcess::ReadUntil(port, "\",1\r\n", fromModem), "\r\n+CMTI: \"SM\",1\r\n");
  EXPECT_EQ(talk("AT+CMGR=1\r\n", "OK\r\n"),
            "\r\n+CMGR: 0,,24\r\n07919700000000F0040B919700214365F700002110304152032105C8329BFD06\r\n\r\nOK\r\n");
  EXPECT_EQ(talk("AT+CMGS=19\r\n", "> "), "\r\n> ");
  EXPECT_EQ(talk("0011000B919700214365F700000205E8329BFD06\x1A", "OK\r\n"), "\r\n+CMGS: 1\r\n\r\nOK\r\n");

  // The same control language over the socket.
  int control = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, socketPath.c_str());
  ASSERT_EQ(connect(control, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  std::string request = "sent\n", replies;
  ASSERT_EQ(write(control, request.data(), request.size()), static_cast<ssize_t>(request.size()));
  EXPECT_EQ(TSimProcess::ReadUntil(control, "ok\n", replies), "79001234567 hello\nok\n");
  close(control);
  close(port);

  EXPECT_EQ(process.Stop(), 0);
  EXPECT_NE(access(socketPath.c_str(), F_OK), 0);  // the socket is removed on the way out
}

// A host that goes leaves the line free for the next one, as a serial line's last close does,
// also when it left the line exclusive (as a killed host does): only root could open that pty
// again, so the modem moves to a new one behind the link. Simulator and hosts run as an
// ordinary user, as they do on a desktop.
TEST(ModemSimProgram, LineIsFreeForTheNextHostWhateverTheLastOneLeft) {
  struct Case {
    const char* host;
    bool givesUpExclusiveMode;
  };
  const Case cases[] = {{"gives its exclusive mode up", true}, {"leaves the line exclusive", false}};
  for (const Case& c : cases) {
    const std::optional<std::string> outcome = RunUnprivileged([&c]() -> std::string {
      char folder[] = "/tmp/orvex-simline-XXXXXX";
      if (!mkdtemp(folder)) return "no folder";
      const std::string link = std::string(folder) + "/ttyModem";
      std::string problem;
      {
        TSimProcess process;
        if (!process.Start({"--link", link})) return "the simulator did not start";
        std::string first = process.FirstLine();
        if (first.empty()) return "the simulator named no line";
        first.pop_back();

        // Each host talks to the modem, so the simulator has seen it come before it goes.
        const std::string at = "AT\r";
        auto talks = [&at](int fd) {
          std::string answer;
          return write(fd, at.data(), at.size()) == static_cast<ssize_t>(at.size()) &&
                 TSimProcess::ReadUntil(fd, "OK\r\n", answer).find("OK") != std::string::npos;
        };
        const int host = open(link.c_str(), O_RDWR | O_NOCTTY);
        if (host < 0) return "the first host cannot open the line";
        ioctl(host, TIOCEXCL);
        if (!talks(host)) problem = "the modem does not answer the first host;";
        if (c.givesUpExclusiveMode) ioctl(host, TIOCNXCL);
        close(host);

        // The simulator looks at the line every 50 ms at most.
        int next = -1;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(Scaled(5000));
        while ((next = open(link.c_str(), O_RDWR | O_NOCTTY)) < 0 && std::chrono::steady_clock::now() < deadline)
          usleep(20000);
        if (next < 0) return "the next host cannot open the line: " + std::string(std::strerror(errno));
        char target[256] = {};
        const ssize_t size = readlink(link.c_str(), target, sizeof target - 1);
        const bool moved = size > 0 && first != std::string(target, static_cast<size_t>(size));
        if (moved != !c.givesUpExclusiveMode) problem += moved ? " the modem moved for nothing;" : " the modem did not move;";
        if (!talks(next)) problem += " the modem does not answer the next host;";
        close(next);
        process.Stop();
      }
      unlink(link.c_str());
      rmdir(folder);
      return problem;
    });
    ASSERT_TRUE(outcome.has_value()) << c.host << ": the unprivileged run did not finish";
    EXPECT_EQ(*outcome, "") << "a host that " << c.host;
  }
}

}  // namespace
