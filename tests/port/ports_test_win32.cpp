// The Win32 link, the COM open and the port list.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <setupapi.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "port/ports_win32.h"

namespace plc {

namespace {

// Every other flag, neighbour bit and reserved byte keeps its value, whether
// all set or all clear; only the line fields change, DTR and RTS go off, and
// on a COM port the flags that drop, alter or hold back data take their safe
// state (a port left with XON/XOFF on loses an LP4's boot ID 0x0013).
TEST(ChangeLineFields, ChangesOnlyTheNamedFieldsAndDropsDtrAndRts) {
  for (const LineSettings& settings : {kModbusLineSettings, kTransferLineSettings}) {
    for (int fill : {0x00, 0xFF}) {
      for (bool comPort : {true, false}) {
        DCB dcb;
        std::memset(&dcb, fill, sizeof dcb);
        DCB expected = dcb;
        expected.BaudRate = settings.baudRate;
        expected.ByteSize = settings.byteSize;
        expected.Parity = settings.parity;
        expected.StopBits = settings.stopBits;
        expected.fDtrControl = DTR_CONTROL_DISABLE;
        expected.fRtsControl = RTS_CONTROL_DISABLE;
        if (comPort) {
          expected.fBinary = TRUE;
          expected.fOutxCtsFlow = expected.fOutxDsrFlow = expected.fDsrSensitivity = FALSE;
          expected.fOutX = expected.fInX = expected.fErrorChar = expected.fNull = FALSE;
          expected.fAbortOnError = FALSE;
        }
        ChangeLineFields(dcb, settings, comPort);
        EXPECT_EQ(std::memcmp(&dcb, &expected, sizeof dcb), 0)
            << settings.baudRate << " " << fill << " " << comPort;
      }
    }
  }
}

// A pipe stands in for a port: whole requests pass, and the settings that a
// non-port handle refuses are no failure.
TEST(Win32Link, WritesAndReadsOverAPipe) {
  HANDLE readEnd = INVALID_HANDLE_VALUE;
  HANDLE writeEnd = INVALID_HANDLE_VALUE;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 4096));
  LinkHandle writer = LinkFromHandle(writeEnd, true);
  LinkHandle reader = LinkFromHandle(readEnd, false);
  SetModbusLineSettings(writer.get());
  SetLongTimeouts(writer.get());
  const uint8_t frame[] = ":01640000009B\r\n";
  EXPECT_EQ(LinkWrite(writer.get(), frame, sizeof frame - 1), sizeof frame - 1);
  uint8_t got[32] = {};
  EXPECT_EQ(LinkRead(reader.get(), got, sizeof frame - 1), sizeof frame - 1);
  EXPECT_EQ(std::memcmp(got, frame, sizeof frame - 1), 0);
  writer.reset();
  EXPECT_EQ(LinkRead(reader.get(), got, 4), 0u);  // the far end is gone
  reader.reset();
}

TEST(IsPlcPath, MatchesTheIdsInEitherCase) {
  EXPECT_TRUE(IsPlcPath(R"(\\?\usb#vid_4b2c&pid_0001#5&1a&0&2#{a5dcbf10})"));
  EXPECT_TRUE(IsPlcPath(R"(\\?\USB#VID_4B2C&PID_0001#5&1A&0&2#{A5DCBF10})"));
  EXPECT_FALSE(IsPlcPath(R"(\\?\usb#vid_4b2c&pid_0002#5&1a&0&2)"));
  EXPECT_FALSE(IsPlcPath("vid_4b2c&pid_000"));
}

TEST(OpenComPort, MissingPortsGiveNoLink) {
  EXPECT_EQ(LinkFromHandle(INVALID_HANDLE_VALUE, true), kNoLink);
  for (const char* name : {"COM199", "\\\\.\\COM198", static_cast<const char*>(nullptr)}) {
    EXPECT_EQ(OpenComPort(name).link, kNoLink) << (name != nullptr ? name : "null");
  }
}

// A virtual port that only the serial registry names is listed beside the
// ports of the device list, and a port named both ways once.
TEST(ListComPorts, MergesTheSerialRegistryIntoTheDeviceList) {
  const GUID portsClass = {
      0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
  HDEVINFO set = SetupDiCreateDeviceInfoList(&portsClass, nullptr);
  SP_DEVINFO_DATA device;
  device.cbSize = sizeof device;
  const char friendly[] = "Test Serial Port (COM41)";
  HKEY key = nullptr;
  if (set == INVALID_HANDLE_VALUE ||
      !SetupDiCreateDeviceInfoA(set, "PLCTESTPORT", &portsClass, nullptr, nullptr, DICD_GENERATE_ID,
                                &device) ||
      !SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr) ||
      !SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_FRIENDLYNAME,
                                         reinterpret_cast<const BYTE*>(friendly),
                                         sizeof friendly) ||
      RegCreateKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                      REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    GTEST_SKIP() << "no test device or registry key can be made here";
  }
  const char* const values[][2] = {{"\\Device\\PlcTest1", "COM41"},
                                   {"\\Device\\PlcTest2", "COM42"}};
  for (const auto& v : values)
    RegSetValueExA(key, v[0], 0, REG_SZ, reinterpret_cast<const BYTE*>(v[1]), 6);
  PortList list;
  ListComPorts(&list);
  for (const auto& v : values) RegDeleteValueA(key, v[0]);
  RegCloseKey(key);
  SetupDiRemoveDevice(set, &device);
  SetupDiDestroyDeviceInfoList(set);
  const std::vector<std::string> names(list.names, list.names + list.count);
  EXPECT_EQ(std::count(names.begin(), names.end(), "COM41"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), "COM42"), 1);
}

}  // namespace

}  // namespace plc
