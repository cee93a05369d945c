// The program's resources: the image behind the image accessor, the icon and
// the logo at the sizes they are drawn.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "resource_ids.h"
#include "state/image.h"

namespace {

TEST(Resources, ImageIsTheEmbeddedPlaceholder) {
  FirmwareImage image = EmbeddedFirmwareImage();
  ASSERT_NE(image.data, nullptr);
  if (image.length != 2076672u) GTEST_SKIP() << "built with an image of its own";
  // xorshift32 from the placeholder's default seed, the high byte of each state.
  std::vector<uint8_t> expected(image.length);
  uint32_t state = 0x5EED1234u;
  for (uint8_t& b : expected) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    b = static_cast<uint8_t>(state >> 24);
  }
  EXPECT_EQ(std::vector<uint8_t>(image.data, image.data + image.length), expected);
}

TEST(Resources, IconAndLogoArePresentAtTheirSizes) {
  struct Case {
    WORD id;
    UINT type;
    int width, height;
  } cases[] = {{IDB_PLC_LOGO, IMAGE_BITMAP, 87, 28},
               {IDI_PLC_ICON, IMAGE_ICON, 16, 16},
               {IDI_PLC_ICON, IMAGE_ICON, 32, 32},
               {IDI_PLC_ICON, IMAGE_ICON, 48, 48}};
  for (const Case& c : cases) {
    HANDLE h =
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(c.id), c.type, c.width, c.height, 0);
    ASSERT_NE(h, nullptr) << c.id << " " << c.width;
    if (c.type == IMAGE_BITMAP) {
      BITMAP info;
      ASSERT_NE(GetObjectA(h, sizeof info, &info), 0);
      EXPECT_EQ(info.bmWidth, c.width);
      EXPECT_EQ(info.bmHeight, c.height);
      DeleteObject(h);
    } else {
      DestroyIcon(static_cast<HICON>(h));
    }
  }
}

}  // namespace
