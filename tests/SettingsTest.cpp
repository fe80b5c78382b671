#include "shell/Settings.h"

#include "common/Text.h"
#include "shell/FileWindowSettings.h"
#include "platform/IniFile.h"
#include "support/TempFolder.h"
#include "support/Unprivileged.h"
#include "support/Warnings.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string kGroup = Cp1251("Группа 1");
const std::string kLayout = Cp1251("10,20,Все машины");

class SettingsTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(Temp.IsCreated()); }

  void Put(const std::string& text) { WriteWholeFile(Path, text); }
  std::string Get() const { return ReadWholeFile(Path); }
  // Every write replaces the file, so a new inode means the file was written.
  ino_t Inode() const { return FileInode(Path); }

  TTempFolder Temp{"orvex-settings"};
  const std::string Root = Temp.Path();
  const std::string ExeDir = Root + "/";
  const std::string Path = ExeDir + "OrvexMonitor.ini";
};

TEST_F(SettingsTest, FirstStartWritesTheDefaults) {
  TSettingsMirror mirror;
  mirror.PhonePort = "COM7";  // whatever the mirror held before is replaced
  mirror.ShowNotify = false;
  LoadSettings(ExeDir, mirror);

  EXPECT_EQ(Get(),
            "[COMMON]\nPinCode=\nPhonePort=direct\nPhoneDesc=Orvex GSM Terminal\nAutoConnect=0\nCheckPin=1\n"
            "WriteDebugLog=0\n\n\n[VISUAL]\nShowNotify=1\n");
  EXPECT_EQ(mirror.PinCode, "");
  EXPECT_EQ(mirror.PhonePort, "direct");
  EXPECT_EQ(mirror.PhoneDesc, kDefaultPhoneDesc);
  EXPECT_TRUE(mirror.ShowNotify);
  EXPECT_FALSE(mirror.AutoConnect);
  EXPECT_TRUE(mirror.CheckPin);
  EXPECT_FALSE(mirror.WriteDebugLog);
  EXPECT_EQ(mirror.SmsFormLayout, "200,400,");
  EXPECT_EQ(mirror.SmsTemplateFormLayout, "200,400");
  EXPECT_EQ(mirror.ShowSmsFormLayout, "");

  // The next start finds every key and writes nothing.
  const ino_t before = Inode();
  LoadSettings(ExeDir, mirror);
  EXPECT_EQ(Inode(), before);
}

TEST_F(SettingsTest, PresentValuesAreReadAndNotRewritten) {
  struct Case {
    const char* name;
    const char* common;  // the keys of [COMMON] after PinCode=7, PhonePort, PhoneDesc
    const char* notify;
    bool showNotify, autoConnect, checkPin, debugLog;
  };
  const Case cases[] = {
      {"plain flags", "AutoConnect=1\nCheckPin=0\nWriteDebugLog=1\n", "0", false, true, false, true},
      {"a word reads as the default", "AutoConnect=yes\nCheckPin=yes\nWriteDebugLog=on\n", "yes", true, false, true,
       false},
      {"any non-zero number is on", "AutoConnect=-1\nCheckPin=2\nWriteDebugLog=0x10\n", "7", true, true, true, true},
      {"empty values read as the default", "AutoConnect=\nCheckPin=\nWriteDebugLog=\n", "", true, false, true, false},
  };
  for (const Case& c : cases) {
    const std::string text = std::string("[COMMON]\r\nPinCode=7\r\nPhonePort=COM3\r\nPhoneDesc=Other Terminal A\r\n") +
                             c.common + "[VISUAL]\r\nShowNotify=" + c.notify +
                             "\r\nSmsForm=120,-5," + kGroup + "\r\nSmsTemplateForm=1,2\r\nShowSmsForm=1,2,3,4,5,6,7,8,9\r\n";
    Put(text);
    const ino_t before = Inode();
    TSettingsMirror mirror;
    LoadSettings(ExeDir, mirror);
    EXPECT_EQ(mirror.PinCode, "7") << c.name;
    EXPECT_EQ(mirror.PhonePort, "COM3") << c.name;
    EXPECT_EQ(mirror.PhoneDesc, "Other Terminal A") << c.name;
    EXPECT_EQ(mirror.ShowNotify, c.showNotify) << c.name;
    EXPECT_EQ(mirror.AutoConnect, c.autoConnect) << c.name;
    EXPECT_EQ(mirror.CheckPin, c.checkPin) << c.name;
    EXPECT_EQ(mirror.WriteDebugLog, c.debugLog) << c.name;
    EXPECT_EQ(mirror.SmsFormLayout, "120,-5," + kGroup) << c.name;
    EXPECT_EQ(mirror.SmsTemplateFormLayout, "1,2") << c.name;
    EXPECT_EQ(mirror.ShowSmsFormLayout, "1,2,3,4,5,6,7,8,9") << c.name;
    EXPECT_EQ(Inode(), before) << c.name;
    EXPECT_EQ(Get(), text) << c.name;
  }
}

TEST_F(SettingsTest, OnlyMissingKeysAreAddedAndHandWrittenTextStays) {
  const std::string text =
      "; settings of the monitor in the garage\n\n[common]\n; the SIM of the dispatcher room\npincode=1234\n"
      "MyNote=call Ivan\n[TELNUMBERS]\n10500=+79001234567\n";
  Put(text);
  TSettingsMirror mirror;
  LoadSettings(ExeDir, mirror);
  EXPECT_EQ(mirror.PinCode, "1234");

  const std::string written = Get();
  for (const char* line : {"; settings of the monitor in the garage\n", "; the SIM of the dispatcher room\n",
                           "pincode=1234\n", "MyNote=call Ivan\n", "[TELNUMBERS]\n", "10500=+79001234567\n"})
    EXPECT_NE(written.find(line), std::string::npos) << "lost: " << line << written;
  EXPECT_EQ(written.find("PinCode="), std::string::npos) << "a second PIN key was added\n" << written;
  TIniFile ini(Path);
  EXPECT_EQ(ini.ReadSection("COMMON"), (std::vector<std::string>{"pincode", "MyNote", "PhonePort", "PhoneDesc",
                                                                  "AutoConnect", "CheckPin", "WriteDebugLog"}));
  EXPECT_EQ(ini.ReadSection("VISUAL"), (std::vector<std::string>{"ShowNotify"}));
}

TEST_F(SettingsTest, ChangeSaversWriteOnlyWhenTheFileDiffers) {
  struct Case {
    const char* name;
    std::string file;
    std::function<void(const std::string&, TSettingsMirror&)> save;
    bool writes;
    const char* section;
    const char* key;
    const char* stored;  // value afterwards, or nullptr for absent
  };
  const std::string full = "[COMMON]\nPinCode=1111\nPhonePort=direct\nPhoneDesc=Orvex GSM Terminal\nAutoConnect=0\n"
                           "CheckPin=1\n[VISUAL]\nShowNotify=1\n";
  const Case cases[] = {
      {"same PIN", full, [](auto& d, auto&) { SavePinCode(d, "1111"); }, false, "COMMON", "PinCode", "1111"},
      {"new PIN", full, [](auto& d, auto&) { SavePinCode(d, "2222"); }, true, "COMMON", "PinCode", "2222"},
      // Compared exactly: the blank makes it another PIN (the file trims it when read back).
      {"PIN with a trailing blank", full, [](auto& d, auto&) { SavePinCode(d, "1111 "); }, true, "COMMON",
       "PinCode", "1111"},
      {"empty PIN on a file without one", "", [](auto& d, auto&) { SavePinCode(d, ""); }, false, "COMMON", "PinCode",
       nullptr},
      {"same port and description", full, [](auto& d, auto&) { SavePortSettings(d, "direct", "Orvex GSM Terminal"); },
       false, "COMMON", "PhonePort", "direct"},
      {"new port", full, [](auto& d, auto&) { SavePortSettings(d, "COM4", "Orvex GSM Terminal"); }, true, "COMMON",
       "PhonePort", "COM4"},
      {"port compared exactly", full, [](auto& d, auto&) { SavePortSettings(d, "DIRECT", "Orvex GSM Terminal"); },
       true, "COMMON", "PhonePort", "DIRECT"},
      {"same notify flag", full, [](auto& d, auto&) { SaveShowNotify(d, true); }, false, "VISUAL", "ShowNotify", "1"},
      // The read default of this saver is 0, unlike the load's 1.
      {"notify off on a file without it", "", [](auto& d, auto&) { SaveShowNotify(d, false); }, false, "VISUAL",
       "ShowNotify", nullptr},
      {"notify on on a file without it", "", [](auto& d, auto&) { SaveShowNotify(d, true); }, true, "VISUAL",
       "ShowNotify", "1"},
      {"notify 2 is rewritten as 1", "[VISUAL]\nShowNotify=2\n", [](auto& d, auto&) { SaveShowNotify(d, true); },
       true, "VISUAL", "ShowNotify", "1"},
      {"auto connect off on a file without it", "",
       [](auto& d, auto& m) { EXPECT_FALSE(SaveAutoConnect(d, m, false)); }, false, "COMMON", "AutoConnect", nullptr},
      {"auto connect on", full, [](auto& d, auto& m) { EXPECT_TRUE(SaveAutoConnect(d, m, true)); }, true, "COMMON",
       "AutoConnect", "1"},
      {"PIN check on on a file without it", "", [](auto& d, auto& m) { EXPECT_TRUE(SaveCheckPin(d, m, true)); },
       false, "COMMON", "CheckPin", nullptr},
      {"PIN check off", full, [](auto& d, auto& m) { EXPECT_FALSE(SaveCheckPin(d, m, false)); }, true, "COMMON",
       "CheckPin", "0"},
      {"places file chosen", full, [](auto& d, auto&) { SavePlacesKml(d, "/home/u/Мои места.kml"); }, true,
       "COMMON", "PlacesKml", "/home/u/Мои места.kml"},
      {"same places file", "[COMMON]\nPlacesKml=/p.kml\n", [](auto& d, auto&) { SavePlacesKml(d, "/p.kml"); }, false,
       "COMMON", "PlacesKml", "/p.kml"},
      // A file that has gone is forgotten, so that the next click asks again.
      {"places file emptied", "[COMMON]\nPlacesKml=/p.kml\n", [](auto& d, auto&) { SavePlacesKml(d, ""); }, true,
       "COMMON", "PlacesKml", ""},
  };
  for (const Case& c : cases) {
    fs::remove(Path);
    if (!c.file.empty()) Put(c.file);
    const ino_t before = Inode();
    const std::string contentBefore = Get();
    TSettingsMirror mirror;
    c.save(ExeDir, mirror);
    if (c.writes) {
      EXPECT_NE(Inode(), before) << c.name;
    } else {
      EXPECT_EQ(Inode(), before) << c.name;
      EXPECT_EQ(Get(), contentBefore) << c.name;
    }
    TIniFile ini(Path);
    if (c.stored == nullptr) {
      EXPECT_FALSE(ini.ValueExists(c.section, c.key)) << c.name;
    } else {
      EXPECT_EQ(ini.ReadString(c.section, c.key, "?"), c.stored) << c.name;
    }
  }
}

TEST_F(SettingsTest, PortSaverWritesEachKeyOnItsOwn) {
  Put("[COMMON]\nPhonePort=COM1\n");
  SavePortSettings(ExeDir, "COM1", "Terminal B");
  TIniFile ini(Path);
  EXPECT_EQ(ini.ReadSection("COMMON"), (std::vector<std::string>{"PhonePort", "PhoneDesc"}));
  EXPECT_EQ(ini.ReadString("COMMON", "PhoneDesc", ""), "Terminal B");
}

TEST_F(SettingsTest, SaversLeaveTheMirrorAsTheySay) {
  TSettingsMirror mirror;
  mirror.PinCode = "mirror";
  mirror.ShowNotify = false;
  SavePinCode(ExeDir, "file");
  SavePortSettings(ExeDir, "COM9", "x");
  SaveShowNotify(ExeDir, true);
  EXPECT_EQ(mirror.PinCode, "mirror");
  EXPECT_FALSE(mirror.ShowNotify);
  EXPECT_EQ(mirror.PhonePort, "direct");

  SaveAutoConnect(ExeDir, mirror, true);
  SaveCheckPin(ExeDir, mirror, false);
  EXPECT_TRUE(mirror.AutoConnect);
  EXPECT_FALSE(mirror.CheckPin);
}

TEST_F(SettingsTest, LayoutSaversWriteEveryTimeAndSetTheMirror) {
  struct Case {
    const char* key;
    void (*save)(const std::string&, TSettingsMirror&, const std::string&);
    std::string TSettingsMirror::*field;
  };
  const Case cases[] = {
      {"SmsForm", SaveSmsFormLayout, &TSettingsMirror::SmsFormLayout},
      {"SmsTemplateForm", SaveSmsTemplateFormLayout, &TSettingsMirror::SmsTemplateFormLayout},
      {"ShowSmsForm", SaveShowSmsFormLayout, &TSettingsMirror::ShowSmsFormLayout},
  };
  for (const Case& c : cases) {
    TSettingsMirror mirror;
    c.save(ExeDir, mirror, kLayout);
    EXPECT_EQ(mirror.*c.field, kLayout) << c.key;
    EXPECT_EQ(TIniFile(Path).ReadString("VISUAL", c.key, ""), kLayout) << c.key;
    const ino_t before = Inode();
    c.save(ExeDir, mirror, kLayout);
    EXPECT_NE(Inode(), before) << c.key << ": the layout is written unconditionally";
  }
}

// The windows' settings service keeps each window's layout under that window's key and in its
// mirror field; the windows without a layout keep nothing.
TEST_F(SettingsTest, WindowSettingsKeepEachWindowsOwnLayout) {
  struct Case {
    TWindowKind kind;
    const char* key;  // nullptr: the window keeps no layout
    std::string TSettingsMirror::*field;
  };
  const Case cases[] = {
      {TWindowKind::Sms, "SmsForm", &TSettingsMirror::SmsFormLayout},
      {TWindowKind::SmsTemplate, "SmsTemplateForm", &TSettingsMirror::SmsTemplateFormLayout},
      {TWindowKind::ShowSms, "ShowSmsForm", &TSettingsMirror::ShowSmsFormLayout},
      {TWindowKind::Config, nullptr, nullptr},
      {TWindowKind::About, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    Put("[VISUAL]\nShowNotify=1\n");
    TSettingsMirror mirror;
    const TSettingsMirror before = mirror;
    TFileWindowSettings settings(ExeDir, mirror);
    settings.SaveLayout(c.kind, kLayout);
    if (c.key == nullptr) {
      EXPECT_EQ(Get(), "[VISUAL]\nShowNotify=1\n");
      EXPECT_EQ(settings.Layout(c.kind), "");
      continue;
    }
    EXPECT_EQ(TIniFile(Path).ReadString("VISUAL", c.key, ""), kLayout);
    EXPECT_EQ(mirror.*c.field, kLayout);
    EXPECT_EQ(settings.Layout(c.kind), kLayout);
    // The other windows' layouts stay as they were.
    for (const Case& other : cases)
      if (other.field != nullptr && other.field != c.field) EXPECT_EQ(mirror.*other.field, before.*other.field);
  }
}

TEST_F(SettingsTest, GettersReadTheFileNotTheMirror) {
  TSettingsMirror mirror;
  Put("[COMMON]\nPinCode=1234\nPhonePort=COM2\nPhoneDesc=T\nAutoConnect=1\nCheckPin=0\n");
  LoadSettings(ExeDir, mirror);
  EXPECT_EQ(GetPinCode(ExeDir), "1234");
  EXPECT_EQ(GetPhonePort(ExeDir), "COM2");
  EXPECT_EQ(GetPhoneDesc(ExeDir), "T");
  EXPECT_TRUE(GetAutoConnect(ExeDir));
  EXPECT_FALSE(GetCheckPin(ExeDir));
  EXPECT_EQ(GetPlacesKml(ExeDir), "");
  Put("[COMMON]\nPlacesKml= /home/u/places.kml \n");
  EXPECT_EQ(GetPlacesKml(ExeDir), "/home/u/places.kml");
  Put("[COMMON]\nPinCode=1234\nPhonePort=COM2\nPhoneDesc=T\nAutoConnect=1\nCheckPin=0\n");

  // Keys deleted by hand while the program runs: the mirror still has them, the getters not.
  Put("[COMMON]\n");
  EXPECT_EQ(GetPinCode(ExeDir), "");
  EXPECT_EQ(GetPhonePort(ExeDir), "");
  EXPECT_EQ(GetPhoneDesc(ExeDir), "");
  EXPECT_FALSE(GetAutoConnect(ExeDir));
  EXPECT_TRUE(GetCheckPin(ExeDir));
  EXPECT_EQ(mirror.PinCode, "1234");
}

TEST_F(SettingsTest, MissingFolderRunsOnTheDefaults) {
  const std::string missing = Root + "/gone/";
  TSettingsMirror mirror;
  mirror.PinCode = "old";
  LoadSettings(missing, mirror);
  EXPECT_EQ(mirror.PinCode, "");
  EXPECT_EQ(mirror.PhonePort, "direct");
  EXPECT_TRUE(mirror.CheckPin);
  EXPECT_TRUE(mirror.ShowNotify);
  EXPECT_EQ(GetPhonePort(missing), "");
  EXPECT_TRUE(GetCheckPin(missing));

  SavePinCode(missing, "1");
  EXPECT_TRUE(SaveAutoConnect(missing, mirror, true));
  EXPECT_TRUE(mirror.AutoConnect);
  SaveSmsFormLayout(missing, mirror, "1,2,x");
  EXPECT_EQ(mirror.SmsFormLayout, "200,400,");
  EXPECT_FALSE(fs::exists(Root + "/gone"));
}

// A folder that cannot be written (an installed program): the file's values and the defaults
// of the absent keys still reach the mirror, and the file stays as it was.
TEST_F(SettingsTest, UnwritableFileStillLoads) {
  const std::string text = "[COMMON]\nPinCode=5555\nAutoConnect=1\n; " + std::string(2000, 'x') + "\n[Z]\nz=1\n";
  Put(text);
  TSettingsMirror mirror;
  mirror.PhonePort = "COM5";
  WithFileSizeLimit(256, [&] {
    LoadSettings(ExeDir, mirror);
    SaveSmsTemplateFormLayout(ExeDir, mirror, "5,6");
    EXPECT_FALSE(SaveCheckPin(ExeDir, mirror, false));
  });
  EXPECT_EQ(Get(), text);
  EXPECT_EQ(mirror.PinCode, "5555");
  EXPECT_TRUE(mirror.AutoConnect);
  EXPECT_EQ(mirror.PhonePort, "direct");
  EXPECT_EQ(mirror.PhoneDesc, kDefaultPhoneDesc);
  EXPECT_TRUE(mirror.ShowNotify);
  EXPECT_EQ(mirror.SmsTemplateFormLayout, "200,400");
  EXPECT_FALSE(mirror.CheckPin);
  EXPECT_EQ(std::distance(fs::directory_iterator(Root), fs::directory_iterator()), 1) << "a temporary file was left";
}

// The check runs as an ordinary user: root ignores the folder's permissions.
TEST_F(SettingsTest, ReadOnlyFolderStillLoads) {
  Put("[COMMON]\nPinCode=5555\n");
  ASSERT_TRUE(GiveToUnprivilegedUser(Root));
  fs::permissions(Root, fs::perms::owner_read | fs::perms::owner_exec);
  const std::optional<std::string> seen = RunUnprivileged([&] {
    if (::access(Root.c_str(), W_OK) == 0) return std::string("writable");
    TSettingsMirror mirror;
    LoadSettings(ExeDir, mirror);
    SavePinCode(ExeDir, "6666");
    return mirror.PinCode + "|" + mirror.PhonePort + "|" + ReadWholeFile(Path);
  });
  ASSERT_TRUE(seen.has_value()) << "the unprivileged run failed";
  if (*seen == "writable") GTEST_SKIP() << "running with rights that ignore folder permissions";
  EXPECT_EQ(*seen, "5555|direct|[COMMON]\nPinCode=5555\n");
  EXPECT_EQ(Get(), "[COMMON]\nPinCode=5555\n");
}

// A settings file that is there but cannot be read is neither replaced by defaults nor allowed
// to reset the values of a running program.
TEST_F(SettingsTest, UnreadableFileChangesNothing) {
  fs::create_directory(Path);
  TSettingsMirror mirror;
  mirror.PinCode = "9999";
  mirror.PhonePort = "COM2";
  mirror.CheckPin = false;
  LoadSettings(ExeDir, mirror);
  SavePinCode(ExeDir, "1");
  EXPECT_EQ(mirror.PinCode, "9999");
  EXPECT_EQ(mirror.PhonePort, "COM2");
  EXPECT_FALSE(mirror.CheckPin);
  EXPECT_EQ(GetPinCode(ExeDir), "");
  EXPECT_TRUE(GetCheckPin(ExeDir));
  EXPECT_TRUE(fs::is_directory(Path));
}

// A settings file replaced by a named pipe, a link to a device or a huge file: the start goes
// on at once with the defaults, the warning output names the file and the reason, and whatever
// stands there is left as it is.
TEST_F(SettingsTest, SettingsFileThatCannotBeReadSafelyLeavesTheDefaults) {
  struct Case {
    const char* Name;
    std::function<void()> Make;
    const char* Reason;
  };
  const Case cases[] = {
      {"named pipe", [&] { ASSERT_EQ(::mkfifo(Path.c_str(), 0600), 0); }, "not a regular file"},
      {"link to /dev/zero", [&] { fs::create_symlink("/dev/zero", Path); }, "not a regular file"},
      {"2 MiB file", [&] { Put("[COMMON]\nPinCode=1234\n;" + std::string(2 << 20, ';')); }, "larger than"},
  };
  const TSettingsMirror defaults;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    fs::remove(Path);
    c.Make();
    const fs::file_type type = fs::symlink_status(Path).type();
    TWarningCapture warnings;
    TSettingsMirror mirror;
    {
      std::optional<TPipeReleaser> releaser;
      if (type == fs::file_type::fifo) releaser.emplace(Path);
      LoadSettings(ExeDir, mirror);
      SavePinCode(ExeDir, "5555");
      SaveShowSmsFormLayout(ExeDir, mirror, "1,2");
      EXPECT_EQ(GetPinCode(ExeDir), "");
    }
    EXPECT_EQ(mirror.PinCode, defaults.PinCode);
    EXPECT_EQ(mirror.PhonePort, defaults.PhonePort);
    EXPECT_EQ(mirror.CheckPin, defaults.CheckPin);
    EXPECT_EQ(mirror.ShowSmsFormLayout, defaults.ShowSmsFormLayout);
    EXPECT_EQ(warnings.Count({Path, c.Reason}), 1) << ::testing::PrintToString(warnings.Lines());
    EXPECT_EQ(fs::symlink_status(Path).type(), type);
  }
}

TEST_F(SettingsTest, InterruptedSaveNeverTruncatesTheFile) {
  TSettingsMirror first;
  LoadSettings(ExeDir, first);
  // Make the file larger than the limit so that a rewrite cannot finish.
  {
    TIniFile ini(Path);
    for (int i = 10000; i < 10100; ++i) ini.WriteString("TELNUMBERS", std::to_string(i), "+79001234567");
    ASSERT_TRUE(ini.UpdateFile());
  }
  const std::string text = Get();
  WithFileSizeLimit(1024, [&] {
    SavePinCode(ExeDir, "8888");
    SavePortSettings(ExeDir, "COM1", "x");
    SaveShowNotify(ExeDir, false);
  });
  EXPECT_EQ(Get(), text);
  TSettingsMirror mirror;
  LoadSettings(ExeDir, mirror);
  EXPECT_EQ(mirror.PinCode, "");
  EXPECT_EQ(TIniFile(Path).ReadString("TELNUMBERS", "10099", ""), "+79001234567");
}

}  // namespace
