#include "platform/IniFile.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class IniFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(Temp.IsCreated());
    Path = Folder + "/test.ini";
  }

  void Put(const std::string& text) { WriteWholeFile(Path, text); }
  std::string Get() const { return ReadWholeFile(Path); }
  ino_t Inode() const { return FileInode(Path); }
  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  TTempFolder Temp{"orvex-ini"};
  const std::string Folder = Temp.Path();
  std::string Path;
};

// Every write must keep what a user wrote by hand: comments wherever they stand and the keys
// the program does not know.
TEST_F(IniFileTest, WriteKeepsCommentsAndUnknownKeys) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> kept;
  };
  const Case cases[] = {
      {"comment above everything", "; my modem\n\n[COMMON]\nPinCode=1\n", {"; my modem"}},
      {"comment above a key", "[COMMON]\n; the old PIN was 0000\nPinCode=1\n", {"; the old PIN was 0000"}},
      {"comment above a section", "[COMMON]\nPinCode=1\n# visual things\n[VISUAL]\nShowNotify=0\n",
       {"# visual things", "[VISUAL]", "ShowNotify=0"}},
      {"comments after the last key", "[COMMON]\nPinCode=1\n; end 1\n\n; end 2\n", {"; end 1", "; end 2"}},
      {"a file of comments only", "; first\n\n; second\n", {"; first", "; second"}},
      {"unknown keys and sections", "[COMMON]\nPinCode=1\nMyOwnKey=abc\n[USER]\nX=\xC0\xC1\n",
       {"MyOwnKey=abc", "[USER]", "X=\xC0\xC1"}},
      {"other OS's line ends", "; dos\r\n[COMMON]\r\nPinCode=1\r\nOther=2\r\n", {"; dos", "Other=2"}},
      {"indented comments", "  ; first\n[COMMON]\n\t# second\nPinCode=1\n", {"; first", "# second"}},
      {"lines that are neither entries nor comments", "[COMMON]\nremember the PIN\nPinCode=1\n[broken\nX=1\n",
       {";remember the PIN", ";[broken", "X=1"}},
  };
  for (const Case& c : cases) {
    Put(c.text);
    {
      TIniFile ini(Path);
      ini.WriteString("COMMON", "PinCode", "4321");
      ini.WriteString("COMMON", "PhonePort", "direct");
      ASSERT_TRUE(ini.UpdateFile()) << c.name;
    }
    const std::string written = Get();
    for (const std::string& line : c.kept)
      EXPECT_NE(written.find(line + "\n"), std::string::npos) << c.name << ": lost " << line << "\n" << written;
    TIniFile again(Path);
    EXPECT_EQ(again.ReadString("COMMON", "PinCode", "?"), "4321") << c.name;
    EXPECT_EQ(again.ReadString("COMMON", "PhonePort", "?"), "direct") << c.name;
    // Later writes may settle the blank lines once but must not keep adding to the file.
    std::string previous;
    for (int round = 0; round < 3; ++round) {
      TIniFile ini(Path);
      ini.WriteString("COMMON", "PinCode", "4321");
      ASSERT_TRUE(ini.UpdateFile());
      if (round == 2) {
        EXPECT_EQ(Get(), previous) << c.name;
      }
      previous = Get();
    }
    for (const std::string& line : c.kept)
      EXPECT_NE(previous.find(line + "\n"), std::string::npos) << c.name << ": lost " << line << "\n" << previous;
  }
}

TEST_F(IniFileTest, NamesCompareWithoutLetterCase) {
  Put("[common]\npincode=1234\n");
  TIniFile ini(Path);
  struct Case { const char* section; const char* key; };
  const Case cases[] = {{"COMMON", "PinCode"}, {"Common", "PINCODE"}, {"common", "pincode"}};
  for (const Case& c : cases) {
    EXPECT_TRUE(ini.ValueExists(c.section, c.key)) << c.section << "/" << c.key;
    EXPECT_EQ(ini.ReadString(c.section, c.key, ""), "1234") << c.section << "/" << c.key;
  }
  // Writing under another spelling changes the existing line instead of adding a second key.
  ini.WriteString("COMMON", "PinCode", "0000");
  ASSERT_TRUE(ini.UpdateFile());
  EXPECT_EQ(Get(), "[common]\npincode=0000\n");
}

TEST_F(IniFileTest, ValuesAreTheBytesAsTheyStand) {
  struct Case { const char* name; std::string line; std::string value; };
  const Case cases[] = {
      {"a list is one string", "SmsForm=200,400,", "200,400,"},
      {"code page 1251 bytes", "Name=\xCC\xEE\xE4\xE5\xEC \xB9" "5", "\xCC\xEE\xE4\xE5\xEC \xB9" "5"},
      {"blanks around the value", "Name =  a b  ", "a b"},
      {"quotes stay", "Name=\"quoted\"", "\"quoted\""},
      {"an empty value exists", "Name=", ""},
      {"equals signs after the first", "Name=a=b", "a=b"},
  };
  for (const Case& c : cases) {
    Put("[S]\n" + c.line + "\n");
    TIniFile ini(Path);
    const std::string key = c.line.substr(0, c.line.find_first_of(" ="));
    EXPECT_TRUE(ini.ValueExists("S", key)) << c.name;
    EXPECT_EQ(ini.ReadString("S", key, "absent"), c.value) << c.name;
  }
}

TEST_F(IniFileTest, IntegersFallBackWhenNotANumber) {
  Put("[S]\nA=12\nB=yes\nC=\nD=0x10\nE=-3\n");
  TIniFile ini(Path);
  struct Case { const char* key; int32_t expected; };
  const Case cases[] = {{"A", 12}, {"B", 7}, {"C", 7}, {"D", 16}, {"E", -3}, {"Absent", 7}};
  for (const Case& c : cases) EXPECT_EQ(ini.ReadInteger("S", c.key, 7), c.expected) << c.key;
}

TEST_F(IniFileTest, ReadSectionGivesKeysInFileOrder) {
  Put("[TELNUMBERS]\n10500=+7900\n901=+7901\nabc=1\n[OTHER]\nx=1\n");
  TIniFile ini(Path);
  EXPECT_EQ(ini.ReadSection("telnumbers"), (std::vector<std::string>{"10500", "901", "abc"}));
  EXPECT_TRUE(ini.ReadSection("NONE").empty());
}

// A value with a line break must not be able to add a key or a section to the file.
TEST_F(IniFileTest, WrittenValueStaysOnOneLine) {
  {
    TIniFile ini(Path);
    ini.WriteString("VISUAL", "SmsForm", "10,20,car\r\n[COMMON]\nPinCode=9999");
    ASSERT_TRUE(ini.UpdateFile());
  }
  TIniFile ini(Path);
  EXPECT_FALSE(ini.ValueExists("COMMON", "PinCode"));
  EXPECT_EQ(ini.ReadString("VISUAL", "SmsForm", ""), "10,20,car  [COMMON] PinCode=9999");
}

// A "[" line without its "]" is no section: the keys after it stay where they were.
TEST_F(IniFileTest, BrokenSectionLineLeavesTheKeysWhereTheyWere) {
  Put("[A]\nx=1\n[B\ny=2\n");
  TIniFile ini(Path);
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"A"}));
  EXPECT_EQ(ini.ReadString("A", "y", ""), "2");
  ini.WriteString("A", "z", "3");
  ASSERT_TRUE(ini.UpdateFile());
  TIniFile again(Path);
  EXPECT_EQ(again.ReadSections(), (std::vector<std::string>{"A"}));
  EXPECT_EQ(again.ReadSection("A"), (std::vector<std::string>{"x", "y", "z"}));
}

TEST_F(IniFileTest, NulByteDoesNotCutOffTheRestOfTheFile) {
  Put(std::string("[A]\nx=1\0junk\n[B]\ny=2\n", 20));
  TIniFile ini(Path);
  ini.WriteString("A", "z", "3");
  ASSERT_TRUE(ini.UpdateFile());
  TIniFile again(Path);
  EXPECT_EQ(again.ReadString("B", "y", ""), "2");
  EXPECT_EQ(again.ReadString("A", "z", ""), "3");
}

TEST_F(IniFileTest, NothingWrittenLeavesTheFileAlone) {
  Put("[A]\r\nx = 1\r\n");
  const ino_t before = Inode();
  TIniFile ini(Path);
  EXPECT_FALSE(ini.Modified());
  EXPECT_TRUE(ini.UpdateFile());
  EXPECT_EQ(Inode(), before);
  EXPECT_EQ(Get(), "[A]\r\nx = 1\r\n");
}

TEST_F(IniFileTest, MissingFileIsEmptyAndCreatedOnWrite) {
  TIniFile ini(Path);
  EXPECT_TRUE(ini.IsReadable());
  EXPECT_FALSE(ini.ValueExists("A", "x"));
  ini.WriteInteger("A", "x", 1);
  ASSERT_TRUE(ini.UpdateFile());
  EXPECT_EQ(Get(), "[A]\nx=1\n");
  EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"test.ini"}));
}

TEST_F(IniFileTest, UnreadableFileIsNeverReplaced) {
  fs::create_directory(Path);  // a name that cannot be read as a file, even by root
  fs::create_directory(Path + "/inside");
  TIniFile ini(Path);
  EXPECT_FALSE(ini.IsReadable());
  EXPECT_EQ(ini.ReadString("A", "x", "fallback"), "fallback");
  ini.WriteString("A", "x", "1");
  EXPECT_FALSE(ini.UpdateFile());
  EXPECT_TRUE(fs::is_directory(Path + "/inside"));
}

// Only a regular file is read, and only up to the bound: a named pipe would hold the reader in
// its open until some writer comes, and a link to a device that never ends would be read
// without end. Such a file is refused at once, with its reason, and never replaced.
TEST_F(IniFileTest, OnlyARegularFileWithinTheBoundIsRead) {
  const std::string entries = "[A]\nx=1\n;";
  auto fileOf = [&](size_t size) {
    return [&, size](const std::string& path) {
      WriteWholeFile(path, entries + std::string(size - entries.size(), ';'));
    };
  };
  struct Case {
    const char* Name;
    std::function<void(const std::string&)> Make;
    bool Readable;
    const char* Reason;
  };
  const Case cases[] = {
      {"named pipe", [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }, false,
       "not a regular file"},
      {"link to /dev/zero", [](const std::string& path) { fs::create_symlink("/dev/zero", path); }, false,
       "not a regular file"},
      {"file at the bound", fileOf(kMaxIniFileBytes), true, ""},
      {"file over the bound", fileOf(kMaxIniFileBytes + 1), false, "larger than 1048576 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    fs::remove(Path);
    c.Make(Path);
    const fs::file_status before = fs::symlink_status(Path);
    const std::string text = fs::is_regular_file(before) ? Get() : std::string();
    std::unique_ptr<TIniFile> ini;
    {
      std::optional<TPipeReleaser> releaser;
      if (fs::is_fifo(before)) releaser.emplace(Path);
      ini = std::make_unique<TIniFile>(Path);
    }
    EXPECT_EQ(ini->IsReadable(), c.Readable);
    EXPECT_EQ(ini->ReadString("A", "x", "none"), c.Readable ? "1" : "none");
    EXPECT_NE(ini->ReadError().find(c.Reason), std::string::npos) << ini->ReadError();
    if (c.Readable) continue;
    ini->WriteString("A", "x", "2");
    EXPECT_FALSE(ini->UpdateFile());
    EXPECT_EQ(fs::symlink_status(Path).type(), before.type());
    if (fs::is_regular_file(before)) {
      EXPECT_EQ(Get(), text);
    }
  }
}

TEST_F(IniFileTest, MissingFolderFailsQuietly) {
  TIniFile ini(Folder + "/no/such/folder/test.ini");
  EXPECT_TRUE(ini.IsReadable());
  ini.WriteString("A", "x", "1");
  EXPECT_FALSE(ini.UpdateFile());
  EXPECT_FALSE(fs::exists(Folder + "/no"));
}

// A write cut short half-way (here by a file size limit, as a full disk would) must leave the
// old file as it was and no temporary file behind.
TEST_F(IniFileTest, InterruptedWriteLeavesTheOldFile) {
  std::string original = "; keep me\n[COMMON]\nPinCode=1111\n";
  for (int i = 0; i < 200; ++i) original += "Key" + std::to_string(i) + "=some value\n";
  Put(original);

  TIniFile ini(Path);
  ini.WriteString("COMMON", "PinCode", "2222");

  bool written = true;
  WithFileSizeLimit(512, [&] { written = ini.UpdateFile(); });

  EXPECT_FALSE(written);
  EXPECT_EQ(Get(), original);
  EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"test.ini"}));
  // Once the disk has room again the same object writes its change.
  EXPECT_TRUE(ini.Modified());
  EXPECT_TRUE(ini.UpdateFile());
  EXPECT_EQ(TIniFile(Path).ReadString("COMMON", "PinCode", ""), "2222");
}

TEST_F(IniFileTest, TemporaryFileLeftByACrashIsIgnored) {
  Put("[COMMON]\nPinCode=1111\n");
  std::ofstream(Folder + "/.test.ini.000001", std::ios::binary) << "[COMMON]\nPin";
  TIniFile ini(Path);
  EXPECT_EQ(ini.ReadString("COMMON", "PinCode", ""), "1111");
  ini.WriteString("COMMON", "PinCode", "2222");
  ASSERT_TRUE(ini.UpdateFile());
  EXPECT_EQ(Get(), "[COMMON]\nPinCode=2222\n");
}

TEST_F(IniFileTest, ReplacementKeepsModeSignatureAndLink) {
  const std::string real = Folder + "/real.ini";
  std::ofstream(real, std::ios::binary) << "\xEF\xBB\xBF[A]\nx=1\n";
  ::chmod(real.c_str(), 0640);
  fs::create_symlink(real, Path);

  TIniFile ini(Path);
  EXPECT_EQ(ini.ReadString("A", "x", ""), "1");
  ini.WriteString("A", "x", "2");
  ASSERT_TRUE(ini.UpdateFile());

  EXPECT_TRUE(fs::is_symlink(Path));
  struct stat info {};
  ASSERT_EQ(::stat(real.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(Get(), "\xEF\xBB\xBF[A]\nx=2\n");
}

}  // namespace
