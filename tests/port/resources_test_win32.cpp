// The program's resources: the icon and the logo at the sizes they are drawn.
// The embedded image is proven by the Windows stage: plcfwupdate.exe burns it
// into the simulator, which must receive it byte for byte.
#include <gtest/gtest.h>
#include <windows.h>


#include "resource_ids.h"

namespace {

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
