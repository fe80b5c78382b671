#pragma once
// The +CME ERROR and +CMS ERROR reports of the modem: the one table of their texts and the
// recognition that turns a report into the numbered text that the user and the dispatcher see
// ("CME Error 10: ..." or "CMS Error 304: ...").

#include <cstdint>
#include <string>
#include <string_view>

// The table has one slot per CME code 0 to 773 (slot = code) and per CMS code 300 to 540
// (slot = 474 + code); a code without a text of its own holds "NU". Texts are code page 1251.
constexpr int kLastCmeErrorCode = 773;
constexpr int kFirstCmsErrorCode = 300;
constexpr int kLastCmsErrorCode = 540;
constexpr int kModemErrorTextCount = kLastCmeErrorCode + 1 + (kLastCmsErrorCode - kFirstCmsErrorCode + 1);

// LastErrorKind after a +CME or +CMS error.
constexpr uint8_t kModemErrorReported = 3;

// Builds the table now rather than on first use; the modem threads may call the lookups
// below at any time, the table being built once and read-only afterwards.
void InitModemErrorTexts();

// The text of a table slot, "NU" for a slot outside the table.
const std::string& ModemErrorText(int slot);
// The text of a CME or CMS code; "NU" for a code that the table does not hold.
const std::string& CmeErrorText(uint32_t code);
const std::string& CmsErrorText(uint32_t code);

// The last modem error as one modem thread sees it; the thread that talks to the modem owns
// it, and others read it only after that thread has finished its dialogue.
struct TModemError {
  uint8_t LastErrorKind = 0;
  uint16_t LastErrorCode = 0;
  std::string LastErrorText;

  // `text` is a reply in its normalised form (lower case, trimmed). True when it begins with
  // a +CME or +CMS error report; the fields then describe it. Otherwise false and nothing
  // changes.
  bool ParseModemError(std::string_view text);
};
