#include "state/models.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace plc {

namespace {

int Row(const char* name) {
  const int row = PlcIndexByName(name);
  EXPECT_GE(row, 0) << name;
  return row;
}

std::string Text(const char* text) {
  return text ? text : "(none)";
}

// The models a predicate holds for, by name in table order.
std::string Members(bool (*in)(int row)) {
  std::string names;
  for (int row = 0; row < kPlcCount; ++row)
    if (in(row)) names += (names.empty() ? "" : " ") + std::string(PlcName(row));
  return names;
}

const char* const kUsbModels = "LN LN-P VM600 VM500 VM500-AIO LN30 KT5 BRK-T VM400 RV5-AIO";
const char* const kVmModels = "VM600 VM500 KT5 BRK-T VM400";

TEST(Models, NamesAndGroups) {
  EXPECT_EQ(
      std::vector<int>({PlcIndexByName("LN"), PlcIndexByName("VM500"), PlcIndexByName("vm500"),
                        PlcIndexByName("VM50"), PlcIndexByName(""), PlcIndexByName(nullptr)}),
      std::vector<int>({5, 17, -1, -1, -1, -1}));  // exact and case-sensitive
  const std::pair<bool (*)(int), const char*> groups[] = {
      {IsUsbModel, kUsbModels},
      {[](int r) { return !IsSerialModel(r); }, kUsbModels},
      {IsAioModel, "36RV4-AIO VM500-AIO RV5-AIO"},
      {[](int r) { return plcList[r].reservedTail != 0; }, kVmModels},
      {[](int r) { return plcList[r].eraseUnitOnce; }, kVmModels},
      {[](int r) { return plcList[r].silentErase; }, "KT4-W RV4-TRK"},
      {[](int r) { return IsVersionReadId(plcList[r].id); },
       "VM600 VM500 VM500-AIO KT5 BRK-T VM400 RV5-AIO"},
      {[](int r) { return plcList[r].frameBytes == 256; },
       "LN 36RV4-AIO LN-P VM600 VM500 VM500-AIO KT5 BRK-T VM400 RV5-AIO"},
  };
  for (const auto& [in, names] : groups) EXPECT_EQ(Members(in), names);
  EXPECT_FALSE(IsUsbModel(-1) || IsSerialModel(kPlcCount) || IsVersionReadId(0x000C));
  EXPECT_STREQ(PlcName(kPlcCount), "");
}

TEST(Models, SizeLimitsAndTheirFixedTexts) {
  const std::tuple<const char*, uint32_t, const char*> cases[] = {
      // clang-format off
      {"KT4-W", 524288, "(128 * 1024 * 4)"}, {"RV4-TRK", 524288, "(128 * 1024 * 4)"},
      {"LP32", 524288, "(128 * 1024 * 4)"}, {"KT4-G", 917504, "(128 * 1024 * 7)"},
      {"LN30", 917504, "(128 * 1024 * 7)"}, {"36RV4-AIO", 12288, "(4 * 1024)"},
      {"VM500-AIO", 40960, "(40 * 1024)"}, {"RV5-AIO", 40960, "(40 * 1024)"},
      {"VM500", 2076672, "(2028 * 1024)"}, {"BRK-T", 2076672, "(2028 * 1024)"},
      {"KT4-RV4", 493568, "(2 * 1024 * 240)"}, {"LN-P", 493568, "(2 * 1024 * 240)"},
      // clang-format on
  };
  for (const auto& [model, limit, figure] : cases) {
    const SizeRule rule = SizeRuleOf(Row(model));
    EXPECT_EQ(rule.limit, limit) << model;
    EXPECT_EQ(Text(rule.message), std::string("The file size EXCEEDS the MAXIMUM size ") + figure);
  }
}

// Models that share a device type ID are told apart by a register; a failed
// read (0) counts as KT4-RV4, 16LP4 or 16LN.
TEST(Models, ModelCheckAndVersionGate) {
  const std::string kt = "Check PLC, KT4-RV4 is different than KT4-W",
                    gate = "The bootloader version is ";
  const std::tuple<const char*, uint16_t, std::string> checks[] = {
      // clang-format off
      {"KT4-W", 0x4138, "(none)"}, {"KT4-W", 0x4137, "(none)"}, {"KT4-RV4", 0x4138, kt},
      {"KT4-RV4", 0, "(none)"}, {"KT4-W", 0, kt}, {"LP32", 1, "(none)"}, {"LP4", 0, "(none)"},
      {"LP4", 1, "Check PLC, 16LP4 is different than 32LP4"}, {"LN30", 7, "(none)"},
      {"LP32", 0, "Check PLC, 32LP4 is different than 16LP4"}, {"LN", 0, "(none)"},
      {"LN", 7, "Check PLC, 16LN is different than 30LN"},
      {"LN30", 0, "Check PLC, 30LN is different than 16LN"},
      // clang-format on
  };
  for (const auto& [model, value, mismatch] : checks) {
    EXPECT_EQ(Text(ModelCheckMismatch(Row(model), value)), mismatch) << model;
  }
  EXPECT_EQ(ModelCheckRegister(0x000C), ModelRegister::kD1386);
  EXPECT_EQ(ModelCheckRegister(0x0015), ModelRegister::kD1148);
  EXPECT_EQ(ModelCheckRegister(0x3010), ModelRegister::kNone);
  const std::tuple<const char*, uint8_t, std::string> gates[] = {
      // clang-format off
      {"VM500-AIO", 0x09, "V0.9"}, {"VM500-AIO", 0x00, "unknown"}, {"VM500-AIO", 0x0F, "unknown"},
      {"VM500-AIO", 0x10, ""}, {"RV5-AIO", 0x10, "V1.0"}, {"RV5-AIO", 0x11, "unknown"},
      {"RV5-AIO", 0x12, ""}, {"VM500", 0x00, ""},
      // clang-format on
  };
  for (const auto& [model, version, shown] : gates) {
    EXPECT_EQ(Text(VersionGateRefusal(Row(model), version)),
              shown.empty() ? "(none)" : gate + shown + ", do not support AIO FW update")
        << model << " " << int{version};
  }
}

// A serial PLC that drops off the line at the erase comes back by a power
// cycle; the others keep the link open.
TEST(Models, ReconnectAndSuccessByGroup) {
  EXPECT_EQ(Members([](int r) { return ReconnectRuleOf(r).kind == ReconnectKind::kPowerCycle; }),
            "KT4-W RV4-TRK");
  EXPECT_EQ(Members([](int r) { return ReconnectRuleOf(r).kind == ReconnectKind::kReplugUsb; }),
            kUsbModels);
  EXPECT_EQ(Members([](int r) { return Text(SuccessMessageOf(r).caption) == "Information"; }),
            kUsbModels);
  const std::tuple<const char*, int, const char*> rows[] = {{"LM4", 1, "INFORMATION"},
                                                            {"KT4-W", 2, "INFORMATION"},
                                                            {"LN", 2, "Information"},
                                                            {"VM500", 5, "Information"}};
  for (const auto& [model, pause, caption] : rows) {
    EXPECT_EQ(ReconnectRuleOf(Row(model)).pauseSeconds, pause) << model;
    EXPECT_EQ(Text(SuccessMessageOf(Row(model)).caption), caption) << model;
  }
  EXPECT_EQ(Text(SuccessMessageOf(Row("LM4")).text), "Firmware update is SUCCESSFUL");
}

}  // namespace

}  // namespace plc
