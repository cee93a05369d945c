// The port list and the USB device search on fake sysfs trees.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_sysfs.h"
#include "port/link_posix.h"

namespace {

std::vector<std::string> Names(const PortList& list) {
  std::vector<std::string> names;
  names.reserve(static_cast<size_t>(list.count));
  for (int i = 0; i < list.count; ++i) names.emplace_back(list.names[i]);
  return names;
}

// A tty with a device behind it, as the kernel shows one.
std::vector<FakeEntry> Tty(const std::string& name, const std::string& type = "") {
  std::vector<FakeEntry> e{{"class/tty/" + name + "/device", "->../../../devices/x/" + name},
                           {"class/tty/" + name + "/dev", "188:0\n"}};
  if (!type.empty()) e.push_back({"class/tty/" + name + "/type", type});
  return e;
}

std::vector<FakeEntry> Join(std::initializer_list<std::vector<FakeEntry>> parts) {
  std::vector<FakeEntry> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

struct ListCase {
  const char* what;
  std::vector<FakeEntry> tree;
  std::vector<std::string> expected;
};

TEST(ListComPortsIn, ListsPresentPortsSortedAndLeavesOutWhatCannotBeUsed) {
  const std::vector<ListCase> cases = {
      {"no tty folder at all", {{"class", "/"}}, {}},
      {"sorted text order, not device order",
       Join({Tty("ttyUSB1"), Tty("ttyUSB10"), Tty("ttyACM0"), Tty("ttyUSB0"), Tty("ttyUSB2")}),
       {"ttyACM0", "ttyUSB0", "ttyUSB1", "ttyUSB10", "ttyUSB2"}},
      {"virtual consoles and other ttys without a device are not ports",
       Join(
           {Tty("ttyUSB0"), {{"class/tty/tty0/dev", "4:0\n"}, {"class/tty/console/dev", "5:1\n"}}}),
       {"ttyUSB0"}},
      {"legacy slots reporting no UART are left out, real UARTs kept",
       Join({Tty("ttyS0", "4\n"), Tty("ttyS1", "0\n"), Tty("ttyS2", "0\n"), Tty("ttyS3", "4\n")}),
       {"ttyS0", "ttyS3"}},
      {"a port whose UART type cannot be read is kept", Tty("ttyS4"), {"ttyS4"}},
      {"any driver, judged only by its device link",
       Join({Tty("ttyAMA0", "91\n"), Tty("rfcomm0"), Tty("ttyXRUSB0")}),
       {"rfcomm0", "ttyAMA0", "ttyXRUSB0"}},
      {"a name longer than 9 characters does not fit and is not listed",
       Join({Tty("ttyUSB123"), Tty("ttyUSB1234"), Tty("ttyXRUSB10")}),
       {"ttyUSB123"}},
      {"a device link whose target is gone still marks a port", Tty("ttyACM3"), {"ttyACM3"}},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE(c.what);
    FakeSysfs sys(c.tree);
    PortList list;
    ListComPortsIn(sys.Root(), nullptr, &list);
    EXPECT_EQ(Names(list), c.expected);
    // A second listing replaces the first; it does not add to it.
    ListComPortsIn(sys.Root(), nullptr, &list);
    EXPECT_EQ(Names(list), c.expected);
  }
}

TEST(ListComPortsIn, KeepsTheFirstPortsInTextOrderWhenThereAreTooMany) {
  std::vector<FakeEntry> tree;
  for (int i = kMaxListedPorts + 9; i >= 0; --i) {
    auto t = Tty("ttyUSB" + std::to_string(100 + i));
    tree.insert(tree.end(), t.begin(), t.end());
  }
  FakeSysfs sys(tree);
  PortList list;
  ListComPortsIn(sys.Root(), nullptr, &list);
  ASSERT_EQ(list.count, kMaxListedPorts);
  EXPECT_STREQ(list.names[0], "ttyUSB100");
  EXPECT_STREQ(list.names[kMaxListedPorts - 1], "ttyUSB163");
}

TEST(ListComPortsIn, MissingRootGivesAnEmptyList) {
  PortList list;
  list.count = 5;
  ListComPortsIn("/nonexistent/sysfs/root", nullptr, &list);
  EXPECT_EQ(list.count, 0);
}

// A USB device folder with its ids and, optionally, one tty below an interface.
std::vector<FakeEntry> Usb(const std::string& dev, const std::string& vendor,
                           const std::string& product, const std::string& ttyEntry = "") {
  std::string base = "bus/usb/devices/" + dev;
  std::vector<FakeEntry> e{{base + "/idVendor", vendor + "\n"},
                           {base + "/idProduct", product + "\n"},
                           {base + "/" + dev + ":1.0/bInterfaceClass", "02\n"}};
  if (!ttyEntry.empty()) e.push_back({base + "/" + dev + ":1.1/" + ttyEntry + "/dev", "166:0\n"});
  return e;
}

struct UsbCase {
  const char* what;
  std::vector<FakeEntry> tree;
  const char* expected;  // nullptr: not found
};

TEST(FindUsbTtyIn, TakesTheFirstMatchingDeviceWithATty) {
  const std::vector<UsbCase> cases = {
      {"no USB devices", {{"bus/usb/devices", "/"}}, nullptr},
      {"a cdc-acm tty", Usb("1-1", "4b2c", "0001", "tty/ttyACM0"), "/dev/ttyACM0"},
      {"a USB serial tty", Usb("1-1", "4b2c", "0001", "ttyUSB3"), "/dev/ttyUSB3"},
      {"other vendors and products passed over",
       Join({Usb("1-1", "1d6b", "0001", "tty/ttyACM0"), Usb("1-2", "4b2c", "0002", "tty/ttyACM1"),
             Usb("1-3", "4b2d", "0001", "ttyUSB0"), Usb("1-4", "4b2c", "0001", "tty/ttyACM2")}),
       "/dev/ttyACM2"},
      {"ids compared exactly: upper case does not match", Usb("1-1", "4B2C", "0001", "tty/ttyACM0"),
       nullptr},
      {"a matching device without a tty interface is passed over",
       Join({Usb("1-1", "4b2c", "0001"), Usb("1-2", "4b2c", "0001", "ttyUSB1")}), "/dev/ttyUSB1"},
      {"of several matches the first in name order wins",
       Join({Usb("3-1", "4b2c", "0001", "tty/ttyACM0"), Usb("1-2", "4b2c", "0001", "tty/ttyACM5"),
             Usb("2-1", "4b2c", "0001", "tty/ttyACM1")}),
       "/dev/ttyACM5"},
      {"other ttys below the interface are not the device",
       Usb("1-1", "4b2c", "0001", "tty/ttyGS0"), nullptr},
      {"root hubs and interface entries have no ids",
       Join({{{"bus/usb/devices/usb1/idVendor", "1d6b\n"},
              {"bus/usb/devices/1-1:1.0/bInterfaceClass", "02\n"}},
             Usb("1-1", "4b2c", "0001", "tty/ttyACM4")}),
       "/dev/ttyACM4"},
  };
  for (const UsbCase& c : cases) {
    SCOPED_TRACE(c.what);
    FakeSysfs sys(c.tree);
    char path[300];
    bool found = FindUsbTtyIn(sys.Root(), path, sizeof path);
    if (c.expected == nullptr) {
      EXPECT_FALSE(found);
      EXPECT_STREQ(path, "");
    } else {
      EXPECT_TRUE(found);
      EXPECT_STREQ(path, c.expected);
    }
  }
}

TEST(FindUsbTtyIn, APathThatDoesNotFitTheBufferIsNotReturnedCut) {
  FakeSysfs sys(Usb("1-1", "4b2c", "0001", "tty/ttyACM0"));
  char path[8];
  EXPECT_FALSE(FindUsbTtyIn(sys.Root(), path, sizeof path));
  EXPECT_STREQ(path, "");
}

}  // namespace
