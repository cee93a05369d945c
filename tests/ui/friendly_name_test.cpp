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
      {"USB Serial Device (COM12)", "COM12"},
      // The cut ends at the first ")" after "(COM", not the last one.
      {"Modem (COM4) (2)", "COM4"},
      {"Printer Port (LPT1)", nullptr},
      {"No closing (COM5", nullptr},
      {"Nine chars (COM123456)", "COM123456"},
      {"Ten chars (COM1234567)", nullptr},  // does not fit the name buffer
  };
  for (const Case& c : cases) {
    char out[kPortNameSize];
    EXPECT_EQ(ComNameFromFriendlyName(c.friendly, out), c.name != nullptr) << c.friendly;
    if (c.name != nullptr) {
      EXPECT_STREQ(out, c.name) << c.friendly;
    }
  }
}

// Sorted as text, a repeat passed over (the registry and the device list both name a port).
TEST(AddPortName, SortsAndListsEachNameOnce) {
  PortList list{};
  for (const char* name : {"COM2", "COM10", "COM2", "", "COM1234567"}) AddPortName(&list, name);
  EXPECT_EQ(std::vector<std::string>(list.names, list.names + list.count),
            (std::vector<std::string>{"COM10", "COM2"}));
}

}  // namespace
