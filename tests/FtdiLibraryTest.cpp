#include "gsm/FtdiLibrary.h"

#include "common/Text.h"
#include "fakes/FakeFtd2xx.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

const std::string kFakeFolder = std::string(ORVEX_BINARY_DIR) + "/fakes/";

// The test binary re-executed with ORVEX_FTDI_HELPER set loads the library with no program
// folder, so that only the normal library search can find it, and exits 0 when it found the
// stand-in with the terminals of FAKE_FTDI_DEVICES.
int RunSearchHelper() {
  auto library = LoadFtdiDriver("");
  if (!library || library->Path() != kFtdiLibraryName) return 1;
  uint32_t count = 0;
  std::string first;
  if (library->CountDevices(count) != FT_OK || count != 2) return 2;
  if (library->DescriptionAt(0, first) != FT_OK || first != "Orvex GSM Terminal") return 3;
  return 0;
}

const bool kIsHelper = [] {
  if (std::getenv("ORVEX_FTDI_HELPER") == nullptr) return false;
  std::_Exit(RunSearchHelper());
}();

// A program folder of its own for each test, into which a library can be copied.
class FtdiLibraryTest : public testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvex-ftdi-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    ExeDir = std::string(pattern) + "/";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(ExeDir, ignored);
  }

  // Copies a built library (a folder under <build>/fakes/) into the program folder.
  void Install(const std::string& variant = "") {
    fs::copy_file(kFakeFolder + variant + kFtdiLibraryName, ExeDir + kFtdiLibraryName);
  }

  std::string InstalledPath() const { return ExeDir + kFtdiLibraryName; }

  // Loads the fake with the given terminals and answers its control functions.
  std::unique_ptr<TFtdiLibrary> LoadWith(const std::string& descriptions, TFakeFtdiControl& control) {
    Install();
    auto library = LoadFtdiDriver(ExeDir);
    if (!library) return nullptr;
    auto found = TFakeFtdiControl::Find(InstalledPath());
    if (!found) return nullptr;
    control = *found;
    control.Configure(descriptions.c_str());
    return library;
  }

  std::string ExeDir;
};

bool SystemHasTheLibrary() {
  void* module = dlopen(kFtdiLibraryName, RTLD_NOW | RTLD_LOCAL);
  if (module != nullptr) dlclose(module);
  return module != nullptr;
}

TEST_F(FtdiLibraryTest, LoadsFromTheProgramFolderAndUnloadsWithItsOwner) {
  Install();
  struct Case { const char* form; std::string exeDir; };
  const Case cases[] = {
      {"trailing separator", ExeDir},
      {"no trailing separator", ExeDir.substr(0, ExeDir.size() - 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.form);
    auto library = LoadFtdiDriver(c.exeDir);
    ASSERT_TRUE(library);
    EXPECT_EQ(library->Path(), InstalledPath());
    const void* entryPoints[] = {
        reinterpret_cast<void*>(library->ListDevices), reinterpret_cast<void*>(library->Open),
        reinterpret_cast<void*>(library->Close), reinterpret_cast<void*>(library->ResetDevice),
        reinterpret_cast<void*>(library->Purge), reinterpret_cast<void*>(library->Read),
        reinterpret_cast<void*>(library->Write), reinterpret_cast<void*>(library->SetDivisor),
        reinterpret_cast<void*>(library->SetTimeouts), reinterpret_cast<void*>(library->SetBaudRate),
        reinterpret_cast<void*>(library->GetDeviceInfo), reinterpret_cast<void*>(library->GetStatus),
        reinterpret_cast<void*>(library->GetQueueStatus), reinterpret_cast<void*>(library->SetRts),
        reinterpret_cast<void*>(library->SetDataCharacteristics), reinterpret_cast<void*>(library->SetFlowControl),
        reinterpret_cast<void*>(library->SetLatencyTimer),
    };
    for (std::size_t i = 0; i < std::size(entryPoints); ++i) EXPECT_NE(entryPoints[i], nullptr) << "entry " << i;
    // Each entry point is the library's own function of that name.
    void* module = dlopen(InstalledPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(library->Purge), dlsym(module, "FT_Purge"));
    EXPECT_EQ(reinterpret_cast<void*>(library->SetLatencyTimer), dlsym(module, "FT_SetLatencyTimer"));
    dlclose(module);

    library.reset();
    EXPECT_FALSE(TFakeFtdiControl::Find(InstalledPath())) << "the library stayed loaded";
  }
}

TEST_F(FtdiLibraryTest, NormalLibrarySearchServesWhenTheProgramFolderHasNone) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::strncmp(*e, "LD_LIBRARY_PATH=", 16) != 0) env.emplace_back(*e);
  env.push_back("LD_LIBRARY_PATH=" + kFakeFolder);
  env.push_back("ORVEX_FTDI_HELPER=1");
  env.push_back("FAKE_FTDI_DEVICES=Orvex GSM Terminal|FT232R USB UART");
  std::vector<char*> envp;
  for (auto& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  char name[] = "ftdi-helper";
  char* argv[] = {name, nullptr};
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, envp.data()), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not loaded by name, 2: wrong count, 3: wrong description";
}

TEST_F(FtdiLibraryTest, ListsTheTerminalsByDescription) {
  TFakeFtdiControl control;
  auto library = LoadWith("", control);
  ASSERT_TRUE(library);
  struct Case {
    std::string configured;
    std::vector<std::string> listed;
  };
  const std::string longest(63, 'L');  // the longest description the library hands out
  const std::string cyrillic = Cp1251("GSM терминал");  // 8-bit text passes unchanged
  const Case cases[] = {
      {"", {}},
      {"Orvex GSM Terminal", {"Orvex GSM Terminal"}},
      {"FT232R USB UART|Orvex GSM Terminal|Orvex GSM Terminal B",
       {"FT232R USB UART", "Orvex GSM Terminal", "Orvex GSM Terminal B"}},
      {longest + "|" + cyrillic, {longest, cyrillic}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.configured);
    control.Configure(c.configured.c_str());
    uint32_t count = 99;
    ASSERT_EQ(library->CountDevices(count), FT_OK);
    ASSERT_EQ(count, c.listed.size());
    for (uint32_t i = 0; i < count; ++i) {
      std::string description = "stale";
      EXPECT_EQ(library->DescriptionAt(i, description), FT_OK);
      EXPECT_EQ(description, c.listed[i]) << "index " << i;
    }
    std::string beyond = "stale";
    EXPECT_NE(library->DescriptionAt(count, beyond), FT_OK);
    EXPECT_EQ(beyond, "");
  }

  // An unplugged terminal drops out of the list; the others move up.
  control.Configure("First|Second|Third");
  control.SetPresent(0, 0);
  uint32_t count = 0;
  ASSERT_EQ(library->CountDevices(count), FT_OK);
  EXPECT_EQ(count, 2u);
  std::string first;
  EXPECT_EQ(library->DescriptionAt(0, first), FT_OK);
  EXPECT_EQ(first, "Second");
}

TEST_F(FtdiLibraryTest, OpensATerminalByDescriptionWritesReadsBackAndCloses) {
  TFakeFtdiControl control;
  auto library = LoadWith("FT232R USB UART|Orvex GSM Terminal", control);
  ASSERT_TRUE(library);

  // Find the terminal as the modem open does: the first description that begins with ours.
  const std::string wanted = "Orvex GSM";
  uint32_t count = 0;
  ASSERT_EQ(library->CountDevices(count), FT_OK);
  int index = -1;
  for (uint32_t i = 0; i < count && index < 0; ++i) {
    std::string description;
    if (library->DescriptionAt(i, description) == FT_OK && description.compare(0, wanted.size(), wanted) == 0)
      index = static_cast<int>(i);
  }
  ASSERT_EQ(index, 1);

  FT_HANDLE handle = nullptr;
  ASSERT_EQ(library->Open(index, &handle), FT_OK);
  ASSERT_NE(handle, nullptr);
  FT_HANDLE second = nullptr;
  EXPECT_NE(library->Open(index, &second), FT_OK) << "a terminal has one owner at a time";
  EXPECT_EQ(library->SetBaudRate(handle, 230400), FT_OK);
  EXPECT_EQ(library->SetTimeouts(handle, 200, 200), FT_OK);
  EXPECT_EQ(library->SetDataCharacteristics(handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
  EXPECT_EQ(library->SetLatencyTimer(handle, 10), FT_OK);
  EXPECT_EQ(library->SetFlowControl(handle, FT_FLOW_RTS_CTS, 0, 0), FT_OK);
  EXPECT_EQ(library->SetRts(handle), FT_OK);

  std::string description;
  EXPECT_EQ(library->OpenDeviceDescription(handle, description), FT_OK);
  EXPECT_EQ(description, "Orvex GSM Terminal");

  // The built-in modem echoes what is written; queued bytes come first.
  char command[] = "AT+CMGF=0\r";
  uint32_t written = 0;
  ASSERT_EQ(library->Write(handle, command, 10, &written), FT_OK);
  EXPECT_EQ(written, 10u);
  const std::string reply = "\r\nOK\r\n";
  control.Queue(index, reply.data(), static_cast<uint32_t>(reply.size()));
  uint32_t rx = 0, tx = 0, events = 0;
  ASSERT_EQ(library->GetStatus(handle, &rx, &tx, &events), FT_OK);
  ASSERT_EQ(rx, 16u);
  char buffer[64] = {};
  uint32_t returned = 0;
  ASSERT_EQ(library->Read(handle, buffer, rx, &returned), FT_OK);
  EXPECT_EQ(std::string(buffer, returned), "\r\nOK\r\nAT+CMGF=0\r");
  ASSERT_EQ(library->GetQueueStatus(handle, &rx), FT_OK);
  EXPECT_EQ(rx, 0u);

  EXPECT_EQ(library->ResetDevice(handle), FT_OK);
  EXPECT_EQ(library->Close(handle), FT_OK);
  EXPECT_EQ(control.CallLog(),
            "FT_Open 1\n"
            "FT_SetBaudRate 230400\n"
            "FT_SetTimeouts 200 200\n"
            "FT_SetDataCharacteristics 8 0 0\n"
            "FT_SetLatencyTimer 10\n"
            "FT_SetFlowControl 256 0 0\n"
            "FT_SetRts\n"
            "FT_ResetDevice\n"
            "FT_Close\n");

  // A closed handle and the zero handle are refused, never followed.
  struct Case { const char* which; FT_HANDLE handle; };
  const Case refused[] = {{"closed", handle}, {"zero", nullptr}};
  for (const Case& c : refused) {
    SCOPED_TRACE(c.which);
    EXPECT_NE(library->Write(c.handle, command, 10, &written), FT_OK);
    EXPECT_NE(library->GetStatus(c.handle, &rx, &tx, &events), FT_OK);
    EXPECT_NE(library->OpenDeviceDescription(c.handle, description), FT_OK);
    EXPECT_EQ(description, "");
    EXPECT_NE(library->Close(c.handle), FT_OK);
  }
}

TEST_F(FtdiLibraryTest, UnpluggedTerminalFailsOnItsOpenHandle) {
  TFakeFtdiControl control;
  auto library = LoadWith("Orvex GSM Terminal", control);
  ASSERT_TRUE(library);
  FT_HANDLE handle = nullptr;
  ASSERT_EQ(library->Open(0, &handle), FT_OK);
  control.SetPresent(0, 0);
  std::string description;
  EXPECT_NE(library->OpenDeviceDescription(handle, description), FT_OK);
  uint32_t rx = 0, tx = 0, events = 0;
  EXPECT_NE(library->GetStatus(handle, &rx, &tx, &events), FT_OK);
  control.SetPresent(0, 1);
  EXPECT_EQ(library->OpenDeviceDescription(handle, description), FT_OK);
  EXPECT_EQ(library->Close(handle), FT_OK);
}

// A modem of the test's own behind the terminal: it answers every command line with OK.
class TAnsweringModem : public TAnsweringModemLink {
protected:
  std::string Answer(const char* data, std::size_t size) override {
    Heard.append(data, size);
    if (Heard.find('\r') == std::string::npos) return "";
    Heard.clear();
    return "\r\nOK\r\n";
  }

private:
  std::string Heard;
};

TEST_F(FtdiLibraryTest, AttachedModemAnswersInPlaceOfTheEcho) {
  TFakeFtdiControl control;
  auto library = LoadWith("Orvex GSM Terminal", control);
  ASSERT_TRUE(library);
  TAnsweringModem modem;
  control.AttachModem(0, &modem);
  FT_HANDLE handle = nullptr;
  ASSERT_EQ(library->Open(0, &handle), FT_OK);
  char part1[] = "AT", part2[] = "\r";
  uint32_t written = 0, rx = 0, tx = 0, events = 0;
  ASSERT_EQ(library->Write(handle, part1, 2, &written), FT_OK);
  ASSERT_EQ(library->GetStatus(handle, &rx, &tx, &events), FT_OK);
  EXPECT_EQ(rx, 0u) << "no answer before the line is complete";
  ASSERT_EQ(library->Write(handle, part2, 1, &written), FT_OK);
  ASSERT_EQ(library->GetStatus(handle, &rx, &tx, &events), FT_OK);
  ASSERT_EQ(rx, 6u);
  char buffer[16] = {};
  uint32_t returned = 0;
  ASSERT_EQ(library->Read(handle, buffer, rx, &returned), FT_OK);
  EXPECT_EQ(std::string(buffer, returned), "\r\nOK\r\n");
  EXPECT_EQ(library->Close(handle), FT_OK);
  control.AttachModem(0, nullptr);
}

TEST_F(FtdiLibraryTest, LibraryMissingAnEntryPointIsRefusedAndUnloaded) {
  Install("without-purge/");
  EXPECT_FALSE(LoadFtdiDriver(ExeDir));
  EXPECT_FALSE(TFakeFtdiControl::Find(InstalledPath())) << "the incomplete library stayed loaded";
  // The next use tries again and succeeds once a complete library is there.
  fs::remove(InstalledPath());
  Install();
  EXPECT_TRUE(LoadFtdiDriver(ExeDir));
}

TEST_F(FtdiLibraryTest, NoUsableLibraryFailsCleanly) {
  if (SystemHasTheLibrary()) GTEST_SKIP() << "a D2XX library is installed on this machine";
  struct Case { const char* setup; bool garbage; std::string exeDir; };
  const Case cases[] = {
      {"empty program folder", false, ExeDir},
      {"no program folder given", false, ""},
      {"program folder that does not exist", false, ExeDir + "missing/"},
      {"a file that is no library", true, ExeDir},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setup);
    if (c.garbage) std::ofstream(InstalledPath()) << "not a shared object";
    EXPECT_FALSE(LoadFtdiDriver(c.exeDir));
  }
}

}  // namespace
