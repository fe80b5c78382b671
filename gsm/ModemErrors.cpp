#include "gsm/ModemErrors.h"

#include "common/Text.h"

#include <array>

namespace {

struct TCodeText {
  uint32_t Code;
  const char* Text;  // UTF-8
};

// The CME codes that have a text of their own: the general equipment errors, the GPRS
// errors and the module's own codes. Every other code from 0 to 773 reads "NU".
constexpr TCodeText kCmeTexts[] = {
    {0, "phone failure"},
    {1, "no connection to phone"},
    {2, "phone-adaptor link reserved"},
    {3, "operation not allowed"},
    {4, "operation not supported"},
    {5, "PH-SIM PIN required"},
    {6, "PH-FSIM PIN required"},
    {7, "PH-FSIM PUK required"},
    {10, "Вставте SIM карту"},
    {11, "SIM PIN required"},
    {12, "SIM PUK required"},
    {13, "SIM failure"},
    {14, "SIM busy"},
    {15, "SIM wrong"},
    {16, "Введен неверный PIN код."},
    {17, "SIM PIN2 required"},
    {18, "SIM PUK2 required"},
    {20, "memory full"},
    {21, "invalid index"},
    {22, "not found"},
    {23, "memory failure"},
    {24, "text string too long"},
    {25, "invalid characters in text string"},
    {26, "dial string too long"},
    {27, "invalid characters in dial string"},
    {30, "no network service"},
    {31, "network timeout"},
    {32, "network not allowed - emergency calls only"},
    {40, "network personalization PIN required"},
    {41, "network personalization PUK required"},
    {42, "network subset personalization PIN required"},
    {43, "network subset personalization PUK required"},
    {44, "service provider personalization PIN required"},
    {45, "service provider personalization PUK required"},
    {46, "corporate personalization PIN required"},
    {47, "corporate personalization PUK required"},
    {100, "unknown"},
    {103, "illegal MS"},
    {106, "illegal ME"},
    {107, "GPRS services not allowed"},
    {111, "PLMN not allowed"},
    {112, "location area not allowed"},
    {113, "roaming not allowed in this location area"},
    {132, "service option not supported"},
    {133, "requested service option not subscribed"},
    {134, "service option temporarily out of order"},
    {148, "unspecified GPRS error"},
    {149, "PDP authentication failure"},
    {150, "invalid mobile class"},
    {577, "GPRS - activation rejected by GGSN"},
    {578, "PRS - unspecified activation rejection"},
    {579, "GPRS - bad code or protocol rejection"},
    {580, "GPRS - can't modify address"},
    {581, "GPRS - CHAP close"},
    {582, "GPRS - profile (cid) currently unavailable"},
    {583, "GPRS - a profile (cid) is currently active"},
    {584, "GPRS - combined services not allowed"},
    {585, "GPRS - conditional IE error"},
    {586, "GPRS - context activation rejected"},
    {587, "GPRS - duplicate TI received"},
    {588, "GPRS - feature not supported"},
    {589, "GPRS - service not available"},
    {590, "GPRS - unknown IE from network"},
    {591, "GPRS - implicitly detached"},
    {592, "GPRS - insufficient resources"},
    {593, "GPRS - invalid activation state (0-1)"},
    {594, "GPRS - invalid address length"},
    {595, "GPRS - invalid character in address string"},
    {596, "GPRS - invalid cid value"},
    {597, "GPRS - invalid dial string length"},
    {598, "GPRS - mode value not in range"},
    {599, "GPRS - invalid MAND information"},
    {600, "GPRS - SMS service preference out of range"},
    {601, "GPRS - invalid TI value"},
    {602, "GPRS - IPCP negotiation timeout"},
    {603, "GPRS - LCP negotiation timeout"},
    {604, "GPRS - LLC error"},
    {605, "GPRS - LLC or SNDCP failure"},
    {606, "GPRS - lower layer failure"},
    {607, "GPRS - missing or unknown APN"},
    {608, "GPRS - mobile not ready"},
    {609, "GPRS - MS identity not in network"},
    {610, "GPRS - MSC temporarily not reachable"},
    {611, "GPRS - message incompatible with state"},
    {612, "GPRS - message type incompatible with state"},
    {613, "GPRS - unknown message from network"},
    {614, "GPRS - NCP close"},
    {615, "GPRS - network failure"},
    {616, "PRS - no echo reply"},
    {617, "GPRS - no free NSAPIs"},
    {618, "GPRS - processing of multiple cids not supported"},
    {619, "GPRS - no PDP context activated"},
    {620, "GPRS - normal termination"},
    {621, "GPRS - NSAPI already used"},
    {622, "GPRS - address element out of range"},
    {623, "GPRS - PAP close"},
    {624, "GPRS - PDP context w/o TFT already activated"},
    {625, "GPRS - PDP type not supported"},
    {626, "GPRS - peer refuses our ACCM"},
    {627, "GPRS - peer refuses our IP address"},
    {628, "GPRS - peer refuses our MRU"},
    {629, "GPRS - peer requested CHAP"},
    {630, "GPRS - profile (cid) not defined"},
    {631, "GPRS - unspecified protocol error"},
    {632, "GPRS - QOS not accepted"},
    {633, "GPRS - QOS validation fail"},
    {634, "GPRS - reactivation required"},
    {635, "GPRS - regular deactivation"},
    {636, "GPRS - semantic error in TFT operation"},
    {637, "GPRS - semantic errors in packet filter"},
    {638, "GPRS - semantically incorrect message"},
    {639, "GPRS - service type not yet available"},
    {640, "GPRS - syntactical error in TFT operation"},
    {641, "GPRS - syntactical errors in packet filter"},
    {642, "PRS - too many RXJs"},
    {643, "GPRS - unknown PDP address or type"},
    {644, "GPRS - unknown PDP context"},
    {645, "GPRS - user authorization failed"},
    {646, "GPRS - QOS invalid parameter"},
    {673, "audio manager not ready"},
    {674, "audio format cannot be configured"},
    {705, "SIM toolkit menu has not been configured"},
    {706, "SIM toolkit already in use"},
    {707, "SIM toolkit not enabled"},
    {737, "+CSCS type not supported"},
    {738, "CSCS type not found"},
    {741, "must include <format> with <oper>"},
    {742, "incorrect <oper> format"},
    {743, "<oper> length too long"},
    {744, "SIM full"},
    {745, "unable to change PLMN list"},
    {746, "network operator not recognized"},
    {749, "invalid command length"},
    {750, "invalid input string"},
    {753, "missing required cmd parameter"},
    {754, "invalid SIM command"},
    {755, "invalid File Id"},
    {756, "missing required P 1/2/3 parameter"},
    {757, "invalid P 1/2/3 parameter"},
    {758, "missing required command data"},
    {759, "invalid characters in command data"},
    {765, "invalid input value"},
    {766, "unsupported value or mode"},
    {767, "operation failed"},
    {768, "multiplexer already active"},
    {769, "unable to get control of required module"},
    {770, "SIM invalid - network reject"},
    {771, "call setup in progress"},
    {772, "SIM powered down"},
    {773, "SIM File not present"},
};

// The CMS codes from 300 to 540 that have a text of their own.
constexpr TCodeText kCmsTexts[] = {
    {300, "ME failure"},
    {301, "SMS ME reserved"},
    {302, "operation not allowed"},
    {303, "operation not supported"},
    {304, "invalid PDU mode"},
    {305, "invalid text mode"},
    {310, "SIM not inserted"},
    {311, "SIM pin necessary"},
    {312, "PH SIM pin necessary"},
    {313, "SIM failure"},
    {314, "SIM busy"},
    {315, "SIM wrong"},
    {316, "SIM PUK required"},
    {317, "SIM PIN2 required"},
    {318, "SIM PUK2 required"},
    {320, "memory failure"},
    {321, "invalid memory index"},
    {322, "memory full"},
    {330, "SMSC address unknown"},
    {331, "no network"},
    {332, "network timeout"},
    {500, "unknown"},
    {512, "SIM not ready"},
    {513, "unread records on SIM"},
    {514, "CB error unknown"},
    {515, "PS busy"},
    {517, "SM BL not ready"},
    {528, "Invalid (non-hex) chars in PDU"},
    {529, "Incorrect PDU length"},
    {530, "Invalid MTI"},
    {531, "Invalid (non-hex) chars in address"},
    {532, "Invalid address (no digits read)"},
    {533, "Incorrect PDU length (UDL)"},
    {534, "Incorrect SCA length"},
    {536, "Invalid First Octet (should be 2 or 34)"},
    {537, "Invalid Command Type"},
    {538, "SRR bit not set"},
    {539, "SRR bit set"},
    {540, "Invalid User Data Header IE"},
};

constexpr int kCmsSlotOffset = kLastCmeErrorCode + 1 - kFirstCmsErrorCode;  // 474

// Function statics, so that the table can be built from another unit's static initialisation.
const std::string& NoText() {
  static const std::string text = "NU";
  return text;
}

using TErrorTable = std::array<std::string, kModemErrorTextCount>;

const TErrorTable& Table() {
  static const TErrorTable table = [] {
    TErrorTable built;
    built.fill(NoText());
    for (const TCodeText& entry : kCmeTexts) built[entry.Code] = Cp1251(entry.Text);
    for (const TCodeText& entry : kCmsTexts) built[entry.Code + kCmsSlotOffset] = Cp1251(entry.Text);
    return built;
  }();
  return table;
}

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The number of a report in the form "+cme error: %u": the words up to the colon exactly,
// then blanks (none needed), then at least one digit. A number beyond 32 bits saturates.
struct TReportNumber {
  bool Read = false;
  uint32_t Value = 0;
  std::string Digits;  // as the modem wrote them, leading zeros dropped
};

TReportNumber ReadReportNumber(std::string_view text, std::string_view words) {
  TReportNumber number;
  if (text.substr(0, words.size()) != words) return number;
  size_t i = words.size();
  while (i < text.size() && IsBlank(text[i])) ++i;
  uint64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    number.Read = true;
    if (number.Digits.empty() && text[i] == '0') continue;
    number.Digits.push_back(text[i]);
    if (value <= UINT32_MAX) value = value * 10 + uint64_t(text[i] - '0');
  }
  if (number.Digits.empty()) number.Digits.push_back('0');
  number.Value = value > UINT32_MAX ? UINT32_MAX : uint32_t(value);
  return number;
}

// What a report without a readable number says after its words: the rest of its first line.
std::string ReportWords(std::string_view text) {
  std::string_view rest = text.substr(9);  // after "+cme erro" or "+cms erro"
  if (!rest.empty() && rest[0] == 'r') rest.remove_prefix(1);
  if (!rest.empty() && rest[0] == ':') rest.remove_prefix(1);
  size_t lineEnd = rest.find_first_of("\r\n");
  if (lineEnd != std::string_view::npos) rest = rest.substr(0, lineEnd);
  return Trim(rest);
}

}  // namespace

void InitModemErrorTexts() { Table(); }

const std::string& ModemErrorText(int slot) {
  if (slot < 0 || slot >= kModemErrorTextCount) return NoText();
  return Table()[slot];
}

const std::string& CmeErrorText(uint32_t code) {
  if (code > uint32_t(kLastCmeErrorCode)) return NoText();
  return Table()[code];
}

const std::string& CmsErrorText(uint32_t code) {
  if (code < uint32_t(kFirstCmsErrorCode) || code > uint32_t(kLastCmsErrorCode)) return NoText();
  return Table()[code + kCmsSlotOffset];
}

bool TModemError::ParseModemError(std::string_view text) {
  std::string_view head = text.substr(0, 9);
  bool cme = head == "+cme erro";
  if (!cme && head != "+cms erro") return false;

  std::string label = cme ? "CME Error" : "CMS Error";
  TReportNumber number = ReadReportNumber(text, cme ? "+cme error:" : "+cms error:");
  LastErrorKind = kModemErrorReported;
  if (number.Read) {
    // A code the table does not hold reads "NU" like the table's own empty slots.
    LastErrorCode = number.Value > UINT16_MAX ? UINT16_MAX : uint16_t(number.Value);
    const std::string& meaning = cme ? CmeErrorText(number.Value) : CmsErrorText(number.Value);
    LastErrorText = label + " " + number.Digits + ": " + meaning;
  } else {
    // A modem in verbose mode names the error instead of numbering it; its words are shown.
    LastErrorCode = 0;
    std::string words = ReportWords(text);
    LastErrorText = words.empty() ? label : label + ": " + words;
  }
  return true;
}
