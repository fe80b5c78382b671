// The settings window's rules without its widgets: the items of the port and terminal lists,
// which item a setting selects, and what confirming the window changes.

#include "shell/ConfigChoice.h"

#include "common/Text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Texts(const std::vector<TComItem>& items) {
  std::vector<std::string> texts;
  for (const TComItem& item : items) texts.push_back(item.Text + " " + item.Entry.Status);
  return texts;
}

const TComPortList kMachine = {
    {"Unknown", "/dev/ttyUSB10", "ok"},
    {"Wavecom Fastrack", "/dev/ttyUSB1", "ok"},
    {"Unknown", "/dev/ttyS0", "ok"},
    {"usb modem", "/dev/ttyACM0", "Unknown"},
};

}  // namespace

TEST(ConfigChoice, PortItemsAreSortedAndTheConfiguredPortIsAlwaysListed) {
  struct Case {
    const char* phonePort;
    std::vector<std::string> items;
  };
  const Case cases[] = {
      // Listed exactly: nothing added. A blank sorts before a digit, letters regardless of case.
      {"/dev/ttyUSB1",
       {"/dev/ttyACM0 (usb modem) Unknown", "/dev/ttyS0 (Unknown) ok", "/dev/ttyUSB1 (Wavecom Fastrack) ok",
        "/dev/ttyUSB10 (Unknown) ok"}},
      // Not listed exactly, though a prefix of listed ports: an entry of its own.
      {"/dev/ttyUSB",
       {"/dev/ttyACM0 (usb modem) Unknown", "/dev/ttyS0 (Unknown) ok", "/dev/ttyUSB (Unknown) unknown",
        "/dev/ttyUSB1 (Wavecom Fastrack) ok", "/dev/ttyUSB10 (Unknown) ok"}},
      // A bare name is not its device path.
      {"ttyUSB0",
       {"/dev/ttyACM0 (usb modem) Unknown", "/dev/ttyS0 (Unknown) ok", "/dev/ttyUSB1 (Wavecom Fastrack) ok",
        "/dev/ttyUSB10 (Unknown) ok", "ttyUSB0 (Unknown) unknown"}},
      // The terminal setting is listed as a port too.
      {"direct",
       {"/dev/ttyACM0 (usb modem) Unknown", "/dev/ttyS0 (Unknown) ok", "/dev/ttyUSB1 (Wavecom Fastrack) ok",
        "/dev/ttyUSB10 (Unknown) ok", "direct (Unknown) unknown"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.phonePort);
    EXPECT_EQ(Texts(ComPortItems(kMachine, c.phonePort)), c.items);
  }
  EXPECT_EQ(Texts(ComPortItems({}, "")), std::vector<std::string>{" (Unknown) unknown"});
}

TEST(ConfigChoice, SortIgnoresLetterCaseButNotBlanksOrPunctuation) {
  struct Case {
    std::vector<std::string> texts;
    std::vector<std::string> sorted;
  };
  const Case cases[] = {
      // Texts equal but for case keep their order.
      {{"COM10 (x)", "com1 (x)", "COM1 (x)"}, {"com1 (x)", "COM1 (x)", "COM10 (x)"}},
      {{"b-c", "bb", "b c", "B"}, {"B", "b c", "b-c", "bb"}},
      {{Cp1251("Терминал"), Cp1251("автомат"), "Zeta"}, {"Zeta", Cp1251("автомат"), Cp1251("Терминал")}},
      {{}, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> texts = c.texts;
    SortItemTexts(texts);
    EXPECT_EQ(texts, c.sorted);
  }
  EXPECT_EQ(TerminalItems(std::nullopt), std::vector<std::string>());
  EXPECT_EQ(TerminalItems(std::vector<std::string>{"b", "A"}), (std::vector<std::string>{"A", "b"}));
}

TEST(ConfigChoice, TheFirstSortedPortThatBeginsWithTheSettingIsSelected) {
  struct Case {
    const char* phonePort;
    int selected;
  };
  const std::vector<TComItem> items = ComPortItems(kMachine, "/dev/ttyUSB1");
  const Case cases[] = {
      {"/dev/ttyUSB1", 2},   // not ttyUSB10, which sorts after it
      {"/dev/ttyUSB10", 3},
      {"/dev/tty", 0},
      {"/dev/ttyusb1", -1},  // bytes compared exactly
      {"direct", -1},
      {"", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.phonePort);
    EXPECT_EQ(ComPortSelection(items, c.phonePort), c.selected);
  }
}

TEST(ConfigChoice, SmallRulesOfTheLists) {
  const std::vector<std::string> terminals = {"Orvex GSM Terminal", "Orvex GSM Terminal 2"};
  EXPECT_EQ(TerminalSelection(terminals, "Orvex GSM Terminal 2"), 1);
  EXPECT_EQ(TerminalSelection(terminals, "Orvex GSM"), -1);
  EXPECT_EQ(TerminalSelection(terminals, "orvex gsm terminal"), -1);

  EXPECT_EQ(LongestItem({}), -1);
  EXPECT_EQ(LongestItem({"ab", "abcd", "abce", "a"}), 1);

  struct Case {
    const char* text;
    bool onTerminal;  // as a port setting
    bool absent;      // as a status
    const char* port; // as an item text
  };
  const Case cases[] = {
      {"direct", true, true, ""},
      {"Direct", true, true, ""},
      {"DIRECT", true, true, ""},
      {"direct ", false, true, "direct"},
      {"ok", false, false, ""},
      {"OK", false, false, ""},
      {"Unknown", false, true, ""},
      {"/dev/ttyUSB3 (Wavecom Fastrack)", false, true, "/dev/ttyUSB3"},
      {"", false, true, ""},
      {" (Unknown)", false, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(OpensOnTerminal(c.text), c.onTerminal);
    EXPECT_EQ(IsAbsentPort(c.text), c.absent);
    EXPECT_EQ(PortOfItemText(c.text), c.port);
  }
}

TEST(ConfigChoice, ConfirmingComparesTheControlsWithTheSettings) {
  const TConfigFields onPort{"/dev/ttyUSB1", "Orvex GSM Terminal", "1234", false, true};
  const TConfigFields onTerminal{"direct", "Orvex GSM Terminal", "1234", false, true};
  const TConfigFields onDirectCapital{"Direct", "Orvex GSM Terminal", "1234", false, true};
  const TConfigControls portKept{false, "Orvex GSM Terminal", "/dev/ttyUSB1 (Wavecom)", "1234", false, false};
  struct Case {
    const char* what;
    TConfigFields fields;
    TConfigControls controls;
    const char* port;  // the fields afterwards
    const char* desc;
    bool portChanged, pinChanged, autoChanged, checkChanged, savesPin;
  };
  auto with = [](TConfigControls controls, auto change) {
    change(controls);
    return controls;
  };
  const Case cases[] = {
      {"nothing changed", onPort, portKept, "/dev/ttyUSB1", "Orvex GSM Terminal", false, false, false, false, false},
      {"other port", onPort, with(portKept, [](auto& c) { c.ComPortText = "/dev/ttyUSB3 (x)"; }), "/dev/ttyUSB3",
       "Orvex GSM Terminal", true, false, false, false, false},
      {"no selection", onPort, with(portKept, [](auto& c) { c.ComPortText = ""; }), "", "Orvex GSM Terminal", true,
       false, false, false, false},
      {"text without a blank", onPort, with(portKept, [](auto& c) { c.ComPortText = "/dev/ttyUSB1"; }), "",
       "Orvex GSM Terminal", true, false, false, false, false},
      {"port to terminal", onPort,
       with(portKept, [](auto& c) { c.UsbTerminal = true; }), "direct", "Orvex GSM Terminal", true, false, false,
       false, false},
      {"terminal kept", onTerminal, with(portKept, [](auto& c) { c.UsbTerminal = true; }), "direct",
       "Orvex GSM Terminal", false, false, false, false, false},
      {"other terminal", onTerminal,
       with(portKept, [](auto& c) { c.UsbTerminal = true;
         c.UsbTerminalText = "Orvex GSM Terminal 2"; }), "direct",
       "Orvex GSM Terminal 2", true, false, false, false, false},
      {"capital Direct becomes direct", onDirectCapital, with(portKept, [](auto& c) { c.UsbTerminal = true; }),
       "direct", "Orvex GSM Terminal", true, false, false, false, false},
      {"terminal to port", onTerminal, portKept, "/dev/ttyUSB1", "Orvex GSM Terminal", true, false, false, false,
       false},
      {"new PIN", onPort, with(portKept, [](auto& c) { c.PinCodeText = "0000"; }), "/dev/ttyUSB1",
       "Orvex GSM Terminal", false, true, false, false, true},
      {"new PIN, check off", onPort,
       with(portKept, [](auto& c) { c.PinCodeText = "0000";
         c.NotCheckPin = true; }), "/dev/ttyUSB1",
       "Orvex GSM Terminal", false, true, false, true, false},
      {"automatic connection", onPort, with(portKept, [](auto& c) { c.AutoConnect = true; }), "/dev/ttyUSB1",
       "Orvex GSM Terminal", false, false, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TConfigFields fields = c.fields;
    const TConfigChanges changes = ApplyConfigControls(fields, c.controls);
    EXPECT_EQ(fields.PhonePort, c.port);
    EXPECT_EQ(fields.PhoneDesc, c.desc);
    EXPECT_EQ(fields.PinCode, c.fields.PinCode);  // the PIN is the control's, not taken here
    EXPECT_EQ(changes.PortChanged, c.portChanged);
    EXPECT_EQ(changes.PinChanged, c.pinChanged);
    EXPECT_EQ(changes.AutoConnectChanged, c.autoChanged);
    EXPECT_EQ(changes.CheckPinChanged, c.checkChanged);
    EXPECT_EQ(changes.SavesPin(c.controls), c.savesPin);
    EXPECT_EQ(changes.Any(), c.portChanged || c.pinChanged || c.autoChanged || c.checkChanged);
    EXPECT_EQ(changes.AffectsLink(), c.portChanged || c.pinChanged);
  }
}

TEST(ConfigChoice, ReconnectTimerAfterAChange) {
  struct Case {
    bool autoConnect, modemOpen, running, after;
  };
  const Case cases[] = {
      {true, true, true, true},   {true, true, false, false},  // open: as it was
      {true, false, false, true}, {true, false, true, true},   // closed: running
      {false, true, true, false}, {false, false, true, false}, // off: stopped
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReconnectAfterChange(c.autoConnect, c.modemOpen, c.running), c.after)
        << c.autoConnect << c.modemOpen << c.running;
}
