#include "engine/models.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/image.h"

namespace {

int Row(const char* name) {
  int row = PlcIndexByName(name);
  EXPECT_GE(row, 0) << name;
  return row;
}

TEST(Models, NamesAreExactAndCaseSensitive) {
  EXPECT_EQ(PlcIndexByName("LN"), 5);
  EXPECT_EQ(PlcIndexByName("VM500"), 17);
  EXPECT_EQ(PlcIndexByName("vm500"), -1);
  EXPECT_EQ(PlcIndexByName("VM50"), -1);
  EXPECT_EQ(PlcIndexByName(""), -1);
  EXPECT_EQ(PlcIndexByName(nullptr), -1);
  EXPECT_EQ(plcID[Row("TW5")], 0x0000);
  // A name must not match its longer relatives.
  EXPECT_FALSE(IsVmGroup(Row("VM500-AIO")));
  EXPECT_FALSE(IsAioModel(Row("LP4-P")));
  EXPECT_EQ(ReconnectRuleOf(Row("LN")).pauseSeconds, 2);
  EXPECT_EQ(ReconnectRuleOf(Row("VM500")).pauseSeconds, 5);
}

TEST(Models, GroupsPartitionTheTable) {
  int usb = 0, aio = 0, vm = 0;
  for (int row = 0; row < kPlcCount; ++row) {
    EXPECT_NE(IsUsbModel(row), IsSerialModel(row)) << plcList[row];
    usb += IsUsbModel(row);
    aio += IsAioModel(row);
    vm += IsVmGroup(row);
    if (IsVmGroup(row)) {
      EXPECT_TRUE(IsUsbModel(row));
    }
  }
  EXPECT_EQ(usb, 10);
  EXPECT_EQ(aio, 3);
  EXPECT_EQ(vm, 5);
  EXPECT_FALSE(IsUsbModel(-1));
  EXPECT_FALSE(IsSerialModel(24));
  EXPECT_STREQ(PlcName(24), "");
}

struct SizeCase {
  const char* model;
  uint32_t limit;
  const char* figure;
};

TEST(Models, SizeLimitsAndTheirFixedTexts) {
  const SizeCase cases[] = {
      {"KT4-W", 524288, "(128 * 1024 * 4)"},     {"RV4-TRK", 524288, "(128 * 1024 * 4)"},
      {"LP32", 524288, "(128 * 1024 * 4)"},      {"KT4-G", 917504, "(128 * 1024 * 7)"},
      {"LN30", 917504, "(128 * 1024 * 7)"},      {"36RV4-AIO", 12288, "(4 * 1024)"},
      {"VM500-AIO", 40960, "(40 * 1024)"},       {"RV5-AIO", 40960, "(40 * 1024)"},
      {"VM500", 2076672, "(2028 * 1024)"},       {"BRK-T", 2076672, "(2028 * 1024)"},
      {"KT4-RV4", 493568, "(2 * 1024 * 240)"},   {"LN-P", 493568, "(2 * 1024 * 240)"},
  };
  for (const SizeCase& c : cases) {
    SizeRule rule = SizeRuleOf(Row(c.model));
    EXPECT_EQ(rule.limit, c.limit) << c.model;
    EXPECT_EQ(std::string(rule.message),
              std::string("The file size EXCEEDS the MAXIMUM size ") + c.figure)
        << c.model;
  }
}

struct CheckCase {
  const char* selected;
  uint16_t value;
  const char* mismatch;  // nullptr: passes
};

TEST(Models, ModelCheckTellsSharedIdsApart) {
  const CheckCase cases[] = {
      {"KT4-W", 0x4138, nullptr},
      {"KT4-W", 0x4137, nullptr},
      {"KT4-RV4", 0x4138, "Check PLC, KT4-RV4 is different than KT4-W"},
      {"KT4-RV4", 0, nullptr},  // a failed read counts as KT4-RV4
      {"KT4-W", 0, "Check PLC, KT4-RV4 is different than KT4-W"},
      {"LP32", 1, nullptr},
      {"LP4", 1, "Check PLC, 16LP4 is different than 32LP4"},
      {"LP4", 0, nullptr},
      {"LP32", 0, "Check PLC, 32LP4 is different than 16LP4"},
      {"LN30", 7, nullptr},
      {"LN", 7, "Check PLC, 16LN is different than 30LN"},
      {"LN", 0, nullptr},
      {"LN30", 0, "Check PLC, 30LN is different than 16LN"},
  };
  for (const CheckCase& c : cases) {
    int row = Row(c.selected);
    const char* got = ModelCheckMismatch(row, plcID[row], c.value);
    if (c.mismatch == nullptr) {
      EXPECT_EQ(got, nullptr) << c.selected << " " << c.value;
    } else {
      ASSERT_NE(got, nullptr) << c.selected << " " << c.value;
      EXPECT_STREQ(got, c.mismatch);
    }
  }
  EXPECT_EQ(ModelCheckRegister(0x000C), ModelRegister::kD1386);
  EXPECT_EQ(ModelCheckRegister(0x0015), ModelRegister::kD1148);
  EXPECT_EQ(ModelCheckRegister(0x3010), ModelRegister::kNone);
}

struct GateCase {
  const char* model;
  uint8_t version;
  const char* refusal;
};

TEST(Models, BootloaderVersionGate) {
  const GateCase cases[] = {
      {"VM500-AIO", 0x09, "The bootloader version is V0.9, do not support AIO FW update"},
      {"VM500-AIO", 0x00, "The bootloader version is unknown, do not support AIO FW update"},
      {"VM500-AIO", 0x0F, "The bootloader version is unknown, do not support AIO FW update"},
      {"VM500-AIO", 0x10, nullptr},
      {"RV5-AIO", 0x10, "The bootloader version is V1.0, do not support AIO FW update"},
      {"RV5-AIO", 0x11, "The bootloader version is unknown, do not support AIO FW update"},
      {"RV5-AIO", 0x12, nullptr},
      {"VM500", 0x00, nullptr},
  };
  for (const GateCase& c : cases) {
    const char* got = VersionGateRefusal(Row(c.model), c.version);
    if (c.refusal == nullptr) {
      EXPECT_EQ(got, nullptr) << c.model << " " << int(c.version);
    } else {
      ASSERT_NE(got, nullptr) << c.model << " " << int(c.version);
      EXPECT_STREQ(got, c.refusal);
    }
  }
}

TEST(Models, VersionReadIsChosenById) {
  int versionRows = 0;
  for (int row = 0; row < kPlcCount; ++row) versionRows += IsVersionReadId(plcID[row]);
  EXPECT_EQ(versionRows, 7);
  EXPECT_FALSE(IsVersionReadId(0x000C));
}

TEST(Models, ReconnectAndSuccessByGroup) {
  for (int row = 0; row < kPlcCount; ++row) {
    ReconnectRule rule = ReconnectRuleOf(row);
    Message success = SuccessMessageOf(row);
    if (IsUsbModel(row)) {
      EXPECT_EQ(rule.kind, ReconnectKind::kReplugUsb) << plcList[row];
      EXPECT_STREQ(success.caption, "Information");
    } else {
      EXPECT_STREQ(success.text, "Firmware update is SUCCESSFUL");
      EXPECT_STREQ(success.caption, "INFORMATION");
      EXPECT_EQ(rule.kind, IsPowerCycleModel(row) ? ReconnectKind::kPowerCycle
                                                  : ReconnectKind::kKeepOpen);
      EXPECT_EQ(rule.pauseSeconds, IsPowerCycleModel(row) ? 2 : 1);
    }
  }
}

TEST(Image, EmbeddedImageAndName) {
  FirmwareImage image = EmbeddedFirmwareImage();
  ASSERT_NE(image.data, nullptr);
  EXPECT_EQ(image.length, 2076672u);
  char prefix[10];
  ModelPrefixOf("VM500_v1.10_20210422_01_ROVI.bin", prefix, sizeof prefix);
  EXPECT_STREQ(prefix, "VM500");
  ModelPrefixOf("NOUNDERSCOREATALL", prefix, sizeof prefix);
  EXPECT_STREQ(prefix, "NOUNDERSC");
}

}  // namespace
