#include "port/friendly_name.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace plc {

namespace {

TEST(FriendlyName, CutsThePortName) {
  // Friendly name, the port name cut from it (nullptr: passed over).
  const std::pair<const char*, const char*> cases[] = {
      {"USB Serial Device (COM12)", "COM12"},
      {"Modem (COM4) (2)", "COM4"},  // the first ")" after "(COM", not the last one
      {"Printer Port (LPT1)", nullptr},
      {"No closing (COM5", nullptr},
      {"Nine chars (COM123456)", "COM123456"},
      {"Ten chars (COM1234567)", nullptr},  // does not fit the name buffer
  };
  for (const auto& [friendly, name] : cases) {
    char out[kPortNameSize];
    EXPECT_EQ(ComNameFromFriendlyName(friendly, out), name != nullptr) << friendly;
    EXPECT_STREQ(name != nullptr ? out : nullptr, name) << friendly;
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

}  // namespace plc
