#include "port/friendly_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(FriendlyName, CutsThePortName) {
  struct Case {
    const char* friendly;
    const char* name;  // nullptr: passed over
  } cases[] = {
      {"Communications Port (COM1)", "COM1"},
      {"USB Serial Device (COM12)", "COM12"},
      // The cut ends at the first ")" after "(COM", not the last one.
      {"Modem (COM4) (2)", "COM4"},
      {"Bluetooth (Standard) link (COM7)", "COM7"},
      {"Printer Port (LPT1)", nullptr},
      {"lower case (com3)", nullptr},
      {"No closing (COM5", nullptr},
      {"Ten chars (COM1234567)", nullptr},  // 10 characters do not fit
      {"Nine chars (COM123456)", "COM123456"},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    char out[kPortNameSize];
    bool listed = ComNameFromFriendlyName(c.friendly, out);
    EXPECT_EQ(listed, c.name != nullptr) << c.friendly;
    if (c.name != nullptr) {
      EXPECT_STREQ(out, c.name) << c.friendly;
    }
  }
  char out[kPortNameSize];
  EXPECT_FALSE(ComNameFromFriendlyName(nullptr, out));
  EXPECT_TRUE(HasComMarker("No closing (COM5"));
  EXPECT_FALSE(HasComMarker("(Com5)"));
}

TEST(FriendlyName, PortListIsSortedWithoutRepeats) {
  PortList list{};
  for (const char* name : {"COM2", "COM10", "COM1", "COM2", "", "COM1234567890"})
    AddPortName(&list, name);
  std::vector<std::string> names(list.names, list.names + list.count);
  EXPECT_EQ(names, (std::vector<std::string>{"COM1", "COM10", "COM2"}));
}

TEST(FriendlyName, PortListStopsWhenFull) {
  PortList list{};
  for (int i = 0; i < kMaxListedPorts + 5; ++i)
    AddPortName(&list, ("COM" + std::to_string(i)).c_str());
  EXPECT_EQ(list.count, kMaxListedPorts);
}

TEST(FriendlyName, DeviceNamespacePath) {
  char path[16];
  ASSERT_TRUE(ComDevicePath("COM12", path, sizeof path));
  EXPECT_STREQ(path, "\\\\.\\COM12");
  ASSERT_TRUE(ComDevicePath("\\\\.\\COM3", path, sizeof path));
  EXPECT_STREQ(path, "\\\\.\\COM3");
  EXPECT_FALSE(ComDevicePath("COM123456789012", path, sizeof path));
  EXPECT_FALSE(ComDevicePath(nullptr, path, sizeof path));
}

}  // namespace
