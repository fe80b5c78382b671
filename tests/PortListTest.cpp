#include "gsm/PortList.h"
#include "common/Text.h"
#include "fakes/FakeFtd2xx.h"
#include "platform/TtyDevices.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A machine made of device lists: what udev reports, what the sysfs scan finds and which
// nodes answer as terminals. It records every node that the list probes.
struct TFakeMachine {
  std::vector<TTtyDevice> Udev;
  std::vector<TTtyDevice> Sysfs;
  std::set<std::string> Terminals;
  std::vector<std::string> Probed;

  TPortSources Sources() {
    return TPortSources{[this] { return Udev; }, [this] { return Sysfs; },
                        [this](const std::string& path) {
                          Probed.push_back(path);
                          return Terminals.count(path) > 0;
                        }};
  }
};

TTtyDevice Modem(const std::string& name, const std::string& model, const std::string& driver) {
  return TTtyDevice{name, "/dev/" + name, model, driver, false};
}

TTtyDevice Port(const std::string& name, const std::string& driver) {
  return TTtyDevice{name, "/dev/" + name, "", driver, false};
}

std::string Show(const TComPortList& list) {
  std::string text;
  for (const TComEntry& e : list) text += "(" + e.Name + ", " + e.Port + ", " + e.Status + ") ";
  return text;
}

}  // namespace

TEST(PortList, ModemsComeFirstAndOnlyModemsOnSerialPortsAreOk) {
  struct Case {
    const char* what;
    std::vector<TTtyDevice> udev;
    std::vector<TTtyDevice> sysfs;
    std::set<std::string> terminals;
    std::string configured;
    TComPortList expected;
  };
  const Case cases[] = {
      {"modems on ttyACM0 and ttyACM1, serial ports ttyS0 and ttyACM0",
       {Port("ttyS0", "port"), Modem("ttyACM0", "Huawei E173", "cdc_acm"),
        Modem("ttyACM1", "Sierra MC7304", "")},
       {},
       {},
       "",
       {{"Huawei E173", "/dev/ttyACM0", "ok"},
        {"Sierra MC7304", "/dev/ttyACM1", "Unknown"},
        {"Unknown", "/dev/ttyS0", "Unknown"}}},
      {"udev names no modem: the sysfs modems take its place, udev still gives the ports",
       {Port("ttyS0", "port"), Port("ttyUSB0", "ftdi_sio")},
       {Port("ttyS0", "port"), Modem("ttyUSB0", "FTDI FT232R USB UART", "ftdi_sio"),
        Modem("ttyUSB7", "Other", "ftdi_sio")},
       {},
       "",
       {{"FTDI FT232R USB UART", "/dev/ttyUSB0", "ok"},
        {"Other", "/dev/ttyUSB7", "Unknown"},
        {"Unknown", "/dev/ttyS0", "Unknown"}}},
      {"udev names a modem: the sysfs scan is not asked for modems",
       {Modem("ttyACM0", "Huawei E173", "cdc_acm")},
       {Modem("ttyACM0", "Huawei E173", "cdc_acm"), Modem("ttyUSB3", "Other", "option")},
       {},
       "",
       {{"Huawei E173", "/dev/ttyACM0", "ok"}}},
      {"udev reports nothing at all: the sysfs scan gives modems and ports",
       {},
       {Modem("ttyACM0", "Huawei E173", "cdc_acm"), Port("ttyS1", "port")},
       {},
       "",
       {{"Huawei E173", "/dev/ttyACM0", "ok"}, {"Unknown", "/dev/ttyS1", "Unknown"}}},
      {"no modems and no serial ports: an empty list",
       {Port("tty1", ""), Port("ptmx", "")},
       {Port("tty1", ""), Port("ptmx", "")},
       {},
       "",
       {}},
      {"only virtual terminals and placeholders: ports without a real driver are left out",
       {Port("tty0", ""), Port("console", ""), TTtyDevice{"ttyS3", "/dev/ttyS3", "", "port", true},
        Port("ttyS0", "port")},
       {},
       {},
       "",
       {{"Unknown", "/dev/ttyS0", "Unknown"}}},
      {"a node that udev reports twice is listed once and stays a bare port",
       {Port("ttyS0", "port"), Port("ttyS0", "port")},
       {},
       {},
       "",
       {{"Unknown", "/dev/ttyS0", "Unknown"}}},
      {"a configured pseudo-terminal is a serial port while it is a terminal",
       {Port("ttyS0", "port")},
       {},
       {"/dev/pts/3"},
       "/dev/pts/3",
       {{"Unknown", "/dev/ttyS0", "Unknown"}, {"Unknown", "/dev/pts/3", "Unknown"}}},
      {"a bare configured name means the node under /dev",
       {},
       {},
       {"/dev/pts/3"},
       "pts/3",
       {{"Unknown", "/dev/pts/3", "Unknown"}}},
      {"a configured node that is no terminal is not listed",
       {Port("ttyS0", "port")},
       {},
       {},
       "/dev/ttyS9",
       {{"Unknown", "/dev/ttyS0", "Unknown"}}},
      {"a configured terminal that carries a modem without a driver makes that modem ok",
       {Modem("ttyACM1", "Sierra MC7304", "")},
       {},
       {"/dev/ttyACM1"},
       "ttyACM1",
       {{"Sierra MC7304", "/dev/ttyACM1", "ok"}}},
      {"a configured port that the system lists already keeps its bare status",
       {Port("ttyS0", "port")},
       {},
       {"/dev/ttyS0"},
       "/dev/ttyS0",
       {{"Unknown", "/dev/ttyS0", "Unknown"}}},
  };
  for (const Case& c : cases) {
    TFakeMachine machine{c.udev, c.sysfs, c.terminals, {}};
    const TComPortList list = TPortList(machine.Sources()).GetComPortList(c.configured);
    EXPECT_EQ(Show(list), Show(c.expected)) << c.what;
  }
}

TEST(PortList, ProbesOnlyAConfiguredPortThatTheSystemDoesNotList) {
  struct Case {
    std::string configured;
    std::vector<std::string> probed;
  };
  const Case cases[] = {
      {"", {}},
      {"/dev/ttyUSB0", {}},  // a real line: opening it would toggle its modem lines
      {"ttyUSB0", {}},
      {"/dev/pts/7", {"/dev/pts/7"}},
      {"direct", {"/dev/direct"}},
  };
  for (const Case& c : cases) {
    TFakeMachine machine{{Modem("ttyUSB0", "FTDI FT232R USB UART", "ftdi_sio")}, {}, {}, {}};
    TPortList(machine.Sources()).GetComPortList(c.configured);
    EXPECT_EQ(machine.Probed, c.probed) << c.configured;
  }
}

TEST(PortList, MissingSourcesGiveAnEmptyList) {
  EXPECT_TRUE(TPortList(TPortSources{}).GetComPortList("/dev/pts/1").empty());
}

TEST(PortList, SerialPortsAreDevicesWithARealDriver) {
  struct Case {
    TTtyDevice device;
    bool serial;
  };
  const Case cases[] = {
      {Port("ttyS0", "port"), true},
      {Port("ttyUSB0", "ftdi_sio"), true},
      {Port("ttyACM0", ""), false},  // no driver bound
      {TTtyDevice{"ttyS2", "/dev/ttyS2", "", "port", true}, false},  // no UART behind it
      // Virtual consoles, even if something claimed them, and the other virtual terminals.
      {Port("tty0", "vt"), false},
      {Port("tty7", "vt"), false},
      {Port("tty63", "vt"), false},
      {Port("tty64", "vt"), true},  // past the virtual consoles
      {Port("tty", "x"), false},
      {Port("ptmx", "x"), false},
      {Port("console", "x"), false},
      {Port("ttyAMA0", "uart-pl011"), true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsSerialPortDevice(c.device), c.serial) << c.device.Name;
}

TEST(PortList, PortsAreFoundByDevicePath) {
  const TComPortList list = {{"Huawei E173", "/dev/ttyACM0", "ok"},
                             {"Unknown", "/dev/pts/3", "Unknown"}};
  struct Case {
    std::string port;
    std::string path;
    const TComEntry* found;
  };
  const Case cases[] = {
      {"/dev/ttyACM0", "/dev/ttyACM0", &list[0]},
      {"ttyACM0", "/dev/ttyACM0", &list[0]},
      {"pts/3", "/dev/pts/3", &list[1]},
      {"/dev/ttyacm0", "/dev/ttyacm0", nullptr},  // letter case counts
      {"/dev/ttyACM", "/dev/ttyACM", nullptr},     // no prefix match
      {"/dev/ttyACM0 ", "/dev/ttyACM0 ", nullptr},  // nothing is trimmed
      {"", "", nullptr},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PortDevicePath(c.port), c.path) << c.port;
    EXPECT_EQ(FindComPort(list, c.port), c.found) << c.port;
  }
}

// A sysfs tree in a temporary folder, laid out as the kernel lays it out.
class SysfsTree : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvex-sysfs-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    Root = pattern;
    fs::create_directories(Root / "class" / "tty");
    fs::create_directories(Root / "bus" / "drivers");
  }
  void TearDown() override { fs::remove_all(Root); }

  void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
  }
  void Driver(const fs::path& device, const std::string& driver) {
    fs::create_directories(Root / "bus" / "drivers" / driver);
    fs::create_directory_symlink(Root / "bus" / "drivers" / driver, device / "driver");
  }
  // A tty device node directory under `parent` (a "devices/..." path, or none for a virtual
  // terminal), entered in class/tty.
  fs::path Tty(const std::string& name, const fs::path& parent) {
    const fs::path dir = parent.empty() ? Root / "devices" / "virtual" / "tty" / name
                                        : Root / parent / "tty" / name;
    Write(dir / "uevent", "MAJOR=4\nMINOR=1\nDEVNAME=" + name + "\n");
    if (!parent.empty()) fs::create_directory_symlink(Root / parent, dir / "device");
    fs::create_directory_symlink(dir, Root / "class" / "tty" / name);
    return dir;
  }

  fs::path Root;
};

TEST_F(SysfsTree, ScanFindsDriversModelsAndPlaceholders) {
  // A CDC-ACM modem: the tty hangs below the USB interface, which has the driver; the USB
  // device above carries the names.
  const fs::path acmUsb = "devices/pci0000:00/0000:00:14.0/usb1/1-2";
  Write(Root / acmUsb / "idVendor", "12d1\n");
  Write(Root / acmUsb / "manufacturer", "HUAWEI\n");
  Write(Root / acmUsb / "product", "E173\n");
  Driver(Root / acmUsb, "usb");
  const fs::path acmInterface = acmUsb / "1-2:1.0";
  fs::create_directories(Root / acmInterface);
  Driver(Root / acmInterface, "cdc_acm");
  Tty("ttyACM0", acmInterface);

  // A USB-serial adapter without a manufacturer string.
  const fs::path ftdiUsb = "devices/pci0000:00/0000:00:14.0/usb1/1-3";
  Write(Root / ftdiUsb / "idVendor", "0403\n");
  Write(Root / ftdiUsb / "product", "FT232R USB UART\n");
  const fs::path ftdiPort = ftdiUsb / "1-3:1.0" / "ttyUSB0";
  fs::create_directories(Root / ftdiPort);
  Driver(Root / ftdiPort, "ftdi_sio");
  Tty("ttyUSB0", ftdiPort);

  // A serial-core port without a UART, and a virtual console.
  const fs::path pnp = "devices/pnp0/00:01/00:01:0/00:01:0.0";
  fs::create_directories(Root / pnp);
  Driver(Root / pnp, "port");
  Write(Tty("ttyS1", pnp) / "type", "0\n");
  Tty("tty1", "");

  struct Expected {
    std::string name, node, model, driver;
    bool noUart;
  };
  const Expected expected[] = {
      {"tty1", "/dev/tty1", "", "", false},
      {"ttyACM0", "/dev/ttyACM0", "HUAWEI E173", "cdc_acm", false},
      {"ttyS1", "/dev/ttyS1", "", "port", true},
      {"ttyUSB0", "/dev/ttyUSB0", "FT232R USB UART", "ftdi_sio", false},
  };
  const std::vector<TTtyDevice> devices = SysfsTtyDevices(Root.string());
  ASSERT_EQ(devices.size(), std::size(expected));
  for (size_t i = 0; i < devices.size(); ++i) {
    EXPECT_EQ(devices[i].Name, expected[i].name);
    EXPECT_EQ(devices[i].Node, expected[i].node) << expected[i].name;
    EXPECT_EQ(devices[i].Model, expected[i].model) << expected[i].name;
    EXPECT_EQ(devices[i].Driver, expected[i].driver) << expected[i].name;
    EXPECT_EQ(devices[i].NoUart, expected[i].noUart) << expected[i].name;
  }

  // Where udev yields nothing, the whole list comes from the scan.
  const std::string root = Root.string();
  TPortList ports(TPortSources{[] { return std::vector<TTtyDevice>(); },
                               [root] { return SysfsTtyDevices(root); },
                               [](const std::string&) { return false; }});
  EXPECT_EQ(Show(ports.GetComPortList()),
            Show({{"HUAWEI E173", "/dev/ttyACM0", "ok"},
                  {"FT232R USB UART", "/dev/ttyUSB0", "ok"}}));
}

TEST_F(SysfsTree, MissingOrEmptyTreesGiveNothing) {
  EXPECT_TRUE(SysfsTtyDevices(Root.string()).empty());
  EXPECT_TRUE(SysfsTtyDevices((Root / "absent").string()).empty());
}

TEST(TerminalNode, OnlyCharacterDevicesThatAnswerAsTerminals) {
  char file[] = "/tmp/orvex-node-XXXXXX";
  const int fd = ::mkstemp(file);
  ASSERT_GE(fd, 0);
  ::close(fd);
  struct Case {
    std::string path;
    bool terminal;
  };
  const Case cases[] = {
      {"/dev/null", false},  // a character device, but no terminal
      {file, false},
      {"/tmp", false},
      {"/dev/orvex-no-such-node", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsTerminalNode(c.path), c.terminal) << c.path;
  ::unlink(file);
}

TEST(TerminalNode, PseudoTerminalCountsAsSerialPortWhileItExists) {
  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string slave = ::ptsname(master);
  ASSERT_EQ(slave.compare(0, 5, "/dev/"), 0);
  const std::string bare = slave.substr(5);

  const TPortList ports;
  EXPECT_TRUE(IsTerminalNode(slave));
  for (const std::string& configured : {slave, bare}) {
    const TComPortList list = ports.GetComPortList(configured);
    const TComEntry* entry = FindComPort(list, configured);
    ASSERT_NE(entry, nullptr) << configured << ": " << Show(list);
    EXPECT_EQ(entry->Name, "Unknown");
    EXPECT_EQ(entry->Status, "Unknown");
  }
  // Not configured, it is not listed: the system does not map pseudo-terminals.
  EXPECT_EQ(FindComPort(ports.GetComPortList(), slave), nullptr);

  // Held open in exclusive mode by the link, it is still there.
  const int line = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(line, 0);
  ::ioctl(line, TIOCEXCL);
  EXPECT_NE(FindComPort(ports.GetComPortList(slave), slave), nullptr);
  ::close(line);

  // Once its master is closed, the node is gone: it is neither a terminal nor listed. The
  // system hands the number to the next pseudo-terminal at once, and programs beside this test
  // may take it; a node that is there again with a new change time is such a newcomer, and the
  // check is made once more on a pseudo-terminal of its own.
  struct stat before {};
  ASSERT_EQ(::stat(slave.c_str(), &before), 0);
  ::close(master);
  bool checked = false;
  for (int attempt = 0; attempt < 10 && !checked; ++attempt) {
    std::string path = slave;
    if (attempt > 0) {
      master = ::posix_openpt(O_RDWR | O_NOCTTY);
      ASSERT_GE(master, 0);
      ASSERT_EQ(::grantpt(master), 0);
      ASSERT_EQ(::unlockpt(master), 0);
      path = ::ptsname(master);
      ASSERT_EQ(::stat(path.c_str(), &before), 0);
      ::close(master);
    }
    const bool terminal = IsTerminalNode(path);
    const bool listed = FindComPort(ports.GetComPortList(path), path) != nullptr;
    struct stat after {};
    const bool newcomer = ::stat(path.c_str(), &after) == 0 &&
                          (after.st_ctim.tv_sec != before.st_ctim.tv_sec ||
                           after.st_ctim.tv_nsec != before.st_ctim.tv_nsec);
    if (newcomer) continue;
    EXPECT_FALSE(terminal) << path;
    EXPECT_FALSE(listed) << path;
    checked = true;
  }
  EXPECT_TRUE(checked) << "every closed pseudo-terminal was taken again at once";
}

TEST(UdevSource, ListsTheSameTtyDevicesAsTheKernel) {
  // The kernel lists its tty devices under /sys/class/tty; there are always some (the console,
  // ptmx, the virtual terminals), and udev enumerates every one of them, containers included.
  std::vector<std::string> kernelNames;
  for (const TTtyDevice& device : SysfsTtyDevices()) kernelNames.push_back(device.Name);
  ASSERT_FALSE(kernelNames.empty());
  std::vector<std::string> udevNames;
  for (const TTtyDevice& device : UdevTtyDevices()) {
    udevNames.push_back(device.Name);
    EXPECT_EQ(device.Node, "/dev/" + device.Name);
  }
  std::sort(udevNames.begin(), udevNames.end());
  EXPECT_EQ(udevNames, kernelNames);
  // Whatever this machine has, no virtual console becomes a serial port.
  for (const TComEntry& entry : TPortList().GetComPortList()) {
    EXPECT_EQ(entry.Port.compare(0, 5, "/dev/"), 0) << entry.Port;
    EXPECT_NE(entry.Port, "/dev/tty1");
    EXPECT_NE(entry.Port, "/dev/ptmx");
    EXPECT_TRUE(entry.Status == "ok" || entry.Status == "Unknown") << entry.Status;
  }
}

// A program folder of its own, into which the stand-in D2XX library can be copied.
class UsbTerminals : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvex-terminals-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    ExeDir = std::string(pattern) + "/";
  }
  void TearDown() override {
    ::unsetenv("FAKE_FTDI_DEVICES");
    fs::remove_all(ExeDir);
  }
  void Install() {
    fs::copy_file(std::string(ORVEX_BINARY_DIR) + "/fakes/" + kFtdiLibraryName,
                  ExeDir + kFtdiLibraryName);
  }
  static bool SystemHasTheLibrary() {
    void* module = ::dlopen(kFtdiLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (module != nullptr) ::dlclose(module);
    return module != nullptr;
  }

  std::string ExeDir;
};

using TDescriptions = std::optional<std::vector<std::string>>;

TEST_F(UsbTerminals, LoadsTheLibraryOnFirstNeedAndListsByIndex) {
  Install();
  struct Case {
    const char* devices;  // as the library finds them when it loads
    TDescriptions expected;
  };
  const Case cases[] = {
      {"Orvex GSM Terminal|Orvex GSM Terminal 2",
       std::vector<std::string>{"Orvex GSM Terminal", "Orvex GSM Terminal 2"}},
      {"Orvex GSM Terminal B|Orvex GSM Terminal A",  // index order, not sorted
       std::vector<std::string>{"Orvex GSM Terminal B", "Orvex GSM Terminal A"}},
      {"", std::nullopt},  // no device is no list, not an empty one
  };
  for (const Case& c : cases) {
    ::setenv("FAKE_FTDI_DEVICES", c.devices, 1);
    std::unique_ptr<TFtdiLibrary> library;
    FT_STATUS status = FT_OTHER_ERROR;
    EXPECT_EQ(ListUsbTerminals(library, ExeDir, &status), c.expected) << c.devices;
    // The library stays loaded for the next user, with or without devices.
    ASSERT_NE(library, nullptr) << c.devices;
    EXPECT_EQ(library->Path(), ExeDir + kFtdiLibraryName);
    EXPECT_EQ(status, FT_OK) << c.devices;
  }
}

TEST_F(UsbTerminals, ALoadedLibraryIsAskedAgainEveryTime) {
  Install();
  std::unique_ptr<TFtdiLibrary> library = LoadFtdiDriver(ExeDir);
  ASSERT_NE(library, nullptr);
  const TFtdiLibrary* const loaded = library.get();
  std::optional<TFakeFtdiControl> control = TFakeFtdiControl::Find(ExeDir + kFtdiLibraryName);
  ASSERT_TRUE(control.has_value());

  const std::string cyrillic = Cp1251("Терминал Orvex");
  struct Case {
    std::string devices;
    const char* failing;  // entry point made to fail, or null
    TDescriptions expected;
    FT_STATUS status;
  };
  const Case cases[] = {
      {"Orvex GSM Terminal|Orvex GSM Terminal 2", nullptr,
       std::vector<std::string>{"Orvex GSM Terminal", "Orvex GSM Terminal 2"}, FT_OK},
      {cyrillic, nullptr, std::vector<std::string>{cyrillic}, FT_OK},  // 8-bit text as is
      {"", nullptr, std::nullopt, FT_OK},
      {"Orvex GSM Terminal", "FT_ListDevices", std::nullopt, FT_IO_ERROR},
  };
  for (const Case& c : cases) {
    control->Configure(c.devices.c_str());
    if (c.failing) control->SetFailure(c.failing, FT_IO_ERROR);
    FT_STATUS status = FT_OTHER_ERROR;
    EXPECT_EQ(ListUsbTerminals(library, ExeDir, &status), c.expected) << c.devices;
    EXPECT_EQ(status, c.status) << c.devices;
    EXPECT_EQ(library.get(), loaded) << "the loaded library is kept, not loaded again";
    if (c.failing) control->SetFailure(c.failing, FT_OK);
  }
}

TEST_F(UsbTerminals, NoLibraryGivesNoListAndIsTriedAgainLater) {
  if (SystemHasTheLibrary()) GTEST_SKIP() << "a D2XX library is installed on this machine";
  std::unique_ptr<TFtdiLibrary> library;
  EXPECT_EQ(ListUsbTerminals(library, ExeDir), std::nullopt);
  EXPECT_EQ(library, nullptr);

  Install();
  ::setenv("FAKE_FTDI_DEVICES", "Orvex GSM Terminal", 1);
  EXPECT_EQ(ListUsbTerminals(library, ExeDir), TDescriptions(std::vector<std::string>{"Orvex GSM Terminal"}));
  EXPECT_NE(library, nullptr);
}
