// The port list and the USB device search on fake sysfs trees.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "port/sysfs_linux.h"

namespace plc {

namespace {

namespace fs = std::filesystem;

// A sysfs tree in a temporary folder with ttys ("name" or "name:UART type",
// each with a device behind it) and USB devices ("name vendor:product tty",
// the tty below an interface, "-" for none).
struct FakeSysfs {
  FakeSysfs(const std::vector<std::string>& ttys, const std::vector<std::string>& usb) {
    std::string pattern = ::testing::TempDir() + "sysfsXXXXXX";
    root = mkdtemp(pattern.data());
    Write("class/tty/console/dev", "5:1\n");           // no device: not a port
    Write("bus/usb/devices/usb1/idVendor", "1d6b\n");  // a root hub: no interface
    for (const std::string& t : ttys) {
      const std::string name = t.substr(0, t.find(':'));
      if (name != t) Write("class/tty/" + name + "/type", t.substr(name.size() + 1));
      fs::create_directories(root / "class/tty" / name);
      fs::create_symlink("../../../devices/x/" + name, root / "class/tty" / name / "device");
    }
    for (const std::string& d : usb) {
      std::string dev, ids, tty;
      std::istringstream(d) >> dev >> ids >> tty;
      const std::string base = "bus/usb/devices/" + dev + "/";
      Write(base + "idVendor", ids.substr(0, 4) + "\n");
      Write(base + "idProduct", ids.substr(5) + "\n");
      Write(base + dev + ":1.0/bInterfaceClass", "02\n");
      if (tty != "-") Write(fs::path(base) / (dev + ":1.1") / tty / "dev", "166:0\n");
    }
  }
  ~FakeSysfs() { fs::remove_all(root); }
  void Write(const fs::path& path, const std::string& text) {
    fs::create_directories((root / path).parent_path());
    std::ofstream(root / path) << text;
  }
  fs::path root;
};

std::vector<std::string> List(const std::vector<std::string>& ttys) {
  PortList list;
  ListComPortsIn(FakeSysfs(ttys, {}).root.c_str(), nullptr, &list);
  return std::vector<std::string>(list.names, list.names + list.count);
}

TEST(ListComPortsIn, ListsPresentPortsSortedAndLeavesOutWhatCannotBeUsed) {
  const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
      {{"ttyUSB1", "ttyUSB10", "ttyACM0", "ttyUSB0", "ttyUSB2", "rfcomm0"},
       {"rfcomm0", "ttyACM0", "ttyUSB0", "ttyUSB1", "ttyUSB10", "ttyUSB2"}},
      // Legacy slots reporting no UART (type 0) are left out; an unreadable type is kept.
      {{"ttyS0:4", "ttyS1:0", "ttyS2:0\n", "ttyS3:4\n", "ttyS4"}, {"ttyS0", "ttyS3", "ttyS4"}},
      {{"ttyUSB123", "ttyUSB1234", "ttyXRUSB10"}, {"ttyUSB123"}},  // 9 characters at most
  };
  for (const auto& [ttys, expected] : cases) EXPECT_EQ(List(ttys), expected);
  std::vector<std::string> many;
  for (int i = kMaxListedPorts + 9; i >= 0; --i) many.push_back("ttyUSB" + std::to_string(100 + i));
  const std::vector<std::string> listed = List(many);
  ASSERT_EQ(listed.size(), static_cast<size_t>(kMaxListedPorts));
  EXPECT_EQ(listed.front(), "ttyUSB100");
  EXPECT_EQ(listed.back(), "ttyUSB163");
}

TEST(FindUsbTtyIn, TakesTheFirstMatchingDeviceWithATty) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"1-1 4b2c:0001 tty/ttyACM0"}, "/dev/ttyACM0"},
      {{"1-1 4b2c:0001 ttyUSB3"}, "/dev/ttyUSB3"},
      {{"1-1 1d6b:0001 tty/ttyACM0", "1-2 4b2c:0002 tty/ttyACM1", "1-3 4b2d:0001 ttyUSB0",
        "1-4 4B2C:0001 ttyUSB1", "1-5 4b2c:0001 -", "1-6 4b2c:0001 tty/ttyACM2"},
       "/dev/ttyACM2"},
      {{"3-1 4b2c:0001 tty/ttyACM0", "1-2 4b2c:0001 tty/ttyACM5"}, "/dev/ttyACM5"},
  };
  for (const auto& [devices, expected] : cases) {
    char path[300];
    EXPECT_EQ(FindUsbTtyIn(FakeSysfs({}, devices).root.c_str(), path, sizeof path),
              expected[0] != '\0');
    EXPECT_STREQ(path, expected);
  }
  // Every entry counts: the folder lists each device and interface of every
  // hub, and the PLC may come anywhere in directory order (in the middle of
  // the creation order here).
  FakeSysfs crowded({}, {});
  const fs::path devices = crowded.root / "bus/usb/devices";
  for (int i = 0; i < 1200; ++i) {
    if (i == 600) {
      crowded.Write("bus/usb/devices/1-9/idVendor", "4b2c\n");
      crowded.Write("bus/usb/devices/1-9/idProduct", "0001\n");
      crowded.Write("bus/usb/devices/1-9/1-9:1.0/tty/ttyACM7/dev", "166:7\n");
    }
    fs::create_directory_symlink("../../../devices/x", devices / ("2-1." + std::to_string(i)));
  }
  char found[300];
  EXPECT_TRUE(FindUsbTtyIn(crowded.root.c_str(), found, sizeof found));
  EXPECT_STREQ(found, "/dev/ttyACM7");
  char path[8];  // a path that does not fit is not returned cut
  EXPECT_FALSE(FindUsbTtyIn(FakeSysfs({}, cases[1].first).root.c_str(), path, sizeof path));
  EXPECT_STREQ(path, "");
}

// Every PLC device with the by-path link that udev made for it; links to other ttys, a
// second link to the same port (with the USB revision) and a device without a link.
TEST(ListPlcUsbPortsIn, PairsEachPlcDeviceWithItsByPathLink) {
  FakeSysfs sys({}, {"1-1 4b2c:0001 tty/ttyACM0", "1-2 1d6b:0001 tty/ttyACM1",
                     "1-3 4b2c:0001 ttyUSB3", "1-4 4b2c:0001 tty/ttyACM2"});
  const fs::path byPath = sys.root / "by-path";
  fs::create_directories(byPath);
  const std::string pci = "pci-0000:00:14.0-";
  for (const auto& [link, target] : std::vector<std::pair<std::string, std::string>>{
           {pci + "usbv2-0:1:1.1", "../../ttyACM0"},
           {pci + "usb-0:1:1.1", "../../ttyACM0"},
           {pci + "usb-0:2:1.1", "../../ttyACM1"},
           {pci + "usb-0:3:1.0-port0", "../../ttyUSB3"}})
    fs::create_symlink(target, byPath / link);
  UsbPortList list;
  ListPlcUsbPortsIn(sys.root.c_str(), byPath.c_str(), &list);
  std::vector<std::string> got(static_cast<size_t>(list.count));
  for (int i = 0; i < list.count; ++i)
    got[static_cast<size_t>(i)] = list.nodes[i] + (" " + std::string(list.stable[i]));
  const std::string by = byPath.string() + "/" + pci;
  EXPECT_EQ(
      got, (std::vector<std::string>{"/dev/ttyACM0 " + by + "usb-0:1:1.1",
                                     "/dev/ttyUSB3 " + by + "usb-0:3:1.0-port0", "/dev/ttyACM2 "}));
}

// A run holds the USB port by the USB device's name, its place on the bus,
// which the PLC keeps when it re-enumerates; a tty on no USB device has none.
TEST(UsbPortOfTtyIn, NamesTheUsbDeviceOfATty) {
  FakeSysfs sys({"ttyS0"}, {"1-1.2 4b2c:0001 tty/ttyACM0", "1-3 4b2c:0001 ttyUSB3"});
  for (const auto& [tty, device] :
       {std::pair{"ttyACM0", "1-1.2/1-1.2:1.1"}, {"ttyUSB3", "1-3/1-3:1.1/ttyUSB3"}}) {
    fs::create_directories(sys.root / "class/tty" / tty);
    fs::create_symlink(std::string("../../../bus/usb/devices/") + device,
                       sys.root / "class/tty" / tty / "device");
  }
  for (const auto& [tty, expected] : {std::pair{"/dev/ttyACM0", "usb-1-1.2"},
                                      {"/dev/ttyUSB3", "usb-1-3"},
                                      {"/dev/ttyS0", ""},
                                      {"/dev/pts/3", ""}}) {
    char key[64];
    EXPECT_EQ(UsbPortOfTtyIn(sys.root.c_str(), tty, key, sizeof key), expected[0] != '\0') << tty;
    EXPECT_STREQ(key, expected);
  }
}

}  // namespace

}  // namespace plc
