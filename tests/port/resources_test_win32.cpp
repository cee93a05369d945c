// The program's resources: the image behind the image accessor, the icon, the
// logo at its drawn size and the version information.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "engine/image.h"
#include "engine/run_state.h"
#include "resource_ids.h"

namespace {

// The generated stand-in image: xorshift32 from its default seed, the high
// byte of each state.
std::vector<uint8_t> Placeholder(size_t length) {
  std::vector<uint8_t> bytes(length);
  uint32_t state = 0x5EED1234u;
  for (uint8_t& b : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    b = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

TEST(Resources, ImageIsResourceBinEightAndReadsFrontToBack) {
  FirmwareImage image = EmbeddedFirmwareImage();
  ASSERT_NE(image.data, nullptr);
  ASSERT_GT(image.length, 0u);
  if (image.length != 2076672u) GTEST_SKIP() << "built with an image of its own";
  std::vector<uint8_t> expected = Placeholder(image.length);
  ASSERT_TRUE(LoadFirmware(image));
  EXPECT_EQ(fileLength, 2076672u);
  uint8_t first[256];
  uint8_t second[100];
  EXPECT_EQ(FileRead(first, 256), 256);
  EXPECT_EQ(FileRead(second, 100), 100);
  EXPECT_EQ(std::vector<uint8_t>(first, first + 256),
            std::vector<uint8_t>(expected.begin(), expected.begin() + 256));
  EXPECT_EQ(std::vector<uint8_t>(second, second + 100),
            std::vector<uint8_t>(expected.begin() + 256, expected.begin() + 356));
  EXPECT_EQ(std::vector<uint8_t>(image.data, image.data + image.length), expected);
  CloseFile();
}

TEST(Resources, ImageNameNamesTheModel) {
  char model[10];
  ModelPrefixOf(EmbeddedFirmwareName(), model, sizeof model);
  EXPECT_STRNE(model, "");
}

TEST(Resources, IconLogoAndVersionArePresent) {
  HMODULE self = GetModuleHandleA(nullptr);
  EXPECT_NE(LoadIconA(self, MAKEINTRESOURCEA(IDI_PLC_ICON)), nullptr);
  HANDLE logo =
      LoadImageA(self, MAKEINTRESOURCEA(IDB_PLC_LOGO), IMAGE_BITMAP, 87, 28, LR_DEFAULTCOLOR);
  ASSERT_NE(logo, nullptr);
  BITMAP info;
  ASSERT_NE(GetObjectA(logo, sizeof info, &info), 0);
  EXPECT_EQ(info.bmWidth, 87);
  EXPECT_EQ(info.bmHeight, 28);
  DeleteObject(logo);
  // The icon comes in the three sizes the class and the taskbar use.
  for (int size : {16, 32, 48}) {
    HANDLE icon = LoadImageA(self, MAKEINTRESOURCEA(IDI_PLC_ICON), IMAGE_ICON, size, size, 0);
    EXPECT_NE(icon, nullptr) << size;
    if (icon != nullptr) DestroyIcon(static_cast<HICON>(icon));
  }
  EXPECT_NE(FindResourceA(self, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16)), nullptr);  // RT_VERSION
}

}  // namespace
