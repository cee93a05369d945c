// The result-code tables: the message follows the low four bits only.
#include <gtest/gtest.h>

#include <string>

#include "engine/burn.h"

namespace {

struct TableRow {
  int lowBits;
  const char* probe;
  const char* checkId;
  const char* erase;
};

const char kWrong[] = "PLC type is WRONG";

// Rows 0 to 15 of the three tables side by side.
const TableRow kTables[] = {
    {0, "UNKNOWN MESSAGE", "UNKNOWN MESSAGE @ State 2", "UNKNOWN MESSAGE @ State 3"},
    {1, kWrong, "UNKNOWN MESSAGE @ State 2", "UNKNOWN MESSAGE @ State 3"},
    {2, kWrong, kWrong, "UNKNOWN MESSAGE @ State 3"},
    {3, "UNKNOWN MESSAGE", kWrong, kWrong},
    {4, "UNKNOWN MESSAGE", "UNKNOWN MESSAGE @ State 2", kWrong},
    {5, kWrong, kWrong, kWrong},
    {6, "PLC in RUN MODE", "UNKNOWN MESSAGE @ State 2", "UNKNOWN MESSAGE @ State 3"},
    {7, "UNKNOWN ERROR CODE @ State 1", "UNKNOWN ERROR CODE @ State 2",
     "UNKNOWN ERROR CODE @ State 3"},
    {8, "NO RESPONSE @ State 1", "NO RESPONSE @ State 2", "NO RESPONSE @ State 3"},
    {9, "UNKNOWN MESSAGE", "UNKNOWN MESSAGE @ State 2", "UNKNOWN MESSAGE @ State 3"},
    {10, "UNKNOWN MESSAGE", "UNKNOWN MESSAGE @ State 2", "UNKNOWN MESSAGE @ State 3"},
    {11, "UNKNOWN MESSAGE", "UNKNOWN MESSAGE @ State 2", "UNKNOWN MESSAGE @ State 3"},
    {12, "UNKNOWN MESSAGE", "UNKNOWN MESSAGE @ State 2", "UNKNOWN MESSAGE @ State 3"},
    {13, "UNKNOWN MESSAGE", "UNKNOWN MESSAGE @ State 2", "UNKNOWN MESSAGE @ State 3"},
    {14, "UNKNOWN MESSAGE", "UNKNOWN MESSAGE @ State 2", "UNKNOWN MESSAGE @ State 3"},
    {15, "UNKNOWN MESSAGE", "UNKNOWN MESSAGE @ State 2", "UNKNOWN MESSAGE @ State 3"},
};

TEST(ResultCodeMessages, ChosenByTheLowFourBitsOfEveryCode) {
  for (int code = 0; code < 256; ++code) {
    const TableRow& row = kTables[code & 0x0F];
    ASSERT_EQ(row.lowBits, code & 0x0F);
    const auto c = static_cast<uint8_t>(code);
    EXPECT_STREQ(ProbeFailureMessage(c), row.probe) << code;
    EXPECT_STREQ(CheckIdFailureMessage(c), row.checkId) << code;
    EXPECT_STREQ(EraseFailureMessage(c), row.erase) << code;
  }
}

}  // namespace
