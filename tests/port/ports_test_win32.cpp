// The Win32 link, the COM open and the window's port list.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "engine/run_state.h"
#include "port/ports_win32.h"

namespace {

TEST(ChangeLineFields, ChangesOnlyTheNamedFieldsAndDropsDtrAndRts) {
  struct Case {
    const char* name;
    LineSettings settings;
  } cases[] = {{"modbus", kModbusLineSettings}, {"transfer", kTransferLineSettings}};
  for (const Case& c : cases) {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = 4800;
    dcb.fBinary = 1;
    dcb.fParity = 1;
    dcb.fOutxCtsFlow = 1;
    dcb.fOutxDsrFlow = 1;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fDsrSensitivity = 1;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = 1;
    dcb.fInX = 1;
    dcb.fErrorChar = 1;
    dcb.fNull = 1;
    dcb.fRtsControl = RTS_CONTROL_TOGGLE;
    dcb.fAbortOnError = 1;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = '?';
    dcb.EofChar = 0x1A;
    dcb.EvtChar = '\n';
    dcb.XonLim = 512;
    dcb.XoffLim = 128;
    DCB expected = dcb;
    expected.BaudRate = c.settings.baudRate;
    expected.ByteSize = c.settings.byteSize;
    expected.Parity = c.settings.parity;
    expected.StopBits = c.settings.stopBits;
    expected.fDtrControl = DTR_CONTROL_DISABLE;
    expected.fRtsControl = RTS_CONTROL_DISABLE;

    ChangeLineFields(dcb, c.settings);
    EXPECT_EQ(std::memcmp(&dcb, &expected, sizeof dcb), 0) << c.name;
    EXPECT_EQ(dcb.fOutX, 1u) << c.name;
    EXPECT_EQ(dcb.fParity, 1u) << c.name;
    EXPECT_EQ(dcb.fDtrControl, 0u) << c.name;
    EXPECT_EQ(dcb.fRtsControl, 0u) << c.name;
  }
}

// A pipe stands in for a port: reads, writes and the settings that a
// non-port handle refuses.
TEST(Win32Link, WritesAndReadsWholeRequestsAndIgnoresRefusedSettings) {
  HANDLE readEnd = INVALID_HANDLE_VALUE;
  HANDLE writeEnd = INVALID_HANDLE_VALUE;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 4096));
  LinkHandle writer = LinkFromHandle(writeEnd);
  LinkHandle reader = LinkFromHandle(readEnd);
  ASSERT_NE(writer, kNoLink);
  ASSERT_NE(reader, kNoLink);
  SetModbusLineSettings(writer);
  SetLongTimeouts(writer);
  const uint8_t frame[] = ":01640000009B\r\n";
  EXPECT_EQ(LinkWrite(writer, frame, sizeof frame - 1), sizeof frame - 1);
  uint8_t got[32] = {};
  EXPECT_EQ(LinkRead(reader, got, sizeof frame - 1), sizeof frame - 1);
  EXPECT_EQ(std::memcmp(got, frame, sizeof frame - 1), 0);
  CloseLink(writer);
  EXPECT_EQ(writer, kNoLink);
  // The far end is gone: nothing more arrives.
  EXPECT_EQ(LinkRead(reader, got, 4), 0u);
  CloseLink(reader);
}

TEST(OpenComPort, MissingPortsAndDevicesGiveNoLink) {
  EXPECT_EQ(LinkFromHandle(INVALID_HANDLE_VALUE), kNoLink);
  EXPECT_EQ(OpenComPort("COM199"), kNoLink);
  EXPECT_EQ(OpenComPort("\\\\.\\COM198"), kNoLink);
  EXPECT_EQ(OpenComPort("COM1234567890123456789012345678901234567890123456789012345678901234567890"
                        "1234567890123456789012345678901234567890123456789012345678901234567890"
                        "1234567890123456789012345678901234567890123456789012345678901234567890"
                        "1234567890123456789012345678901234567890"),
            kNoLink);
  EXPECT_EQ(OpenComPort(nullptr), kNoLink);
  EXPECT_EQ(
      OpenUsbPath("\\\\?\\usb#vid_4b2c&pid_0001#none#{a5dcbf10-6530-11d2-901f-00c04fb951ed}\\"),
      kNoLink);
}

TEST(ListComPorts, NamesAreSortedUniqueAndFitTheNameBuffer) {
  PortList ports;
  ListComPorts(&ports);
  ASSERT_GE(ports.count, 0);
  ASSERT_LE(ports.count, kMaxListedPorts);
  std::set<std::string> seen;
  for (int i = 0; i < ports.count; ++i) {
    ASSERT_LT(std::strlen(ports.names[i]), static_cast<size_t>(kPortNameSize));
    EXPECT_TRUE(seen.insert(ports.names[i]).second) << ports.names[i];
    if (i > 0) {
      EXPECT_LT(std::strcmp(ports.names[i - 1], ports.names[i]), 0);
    }
  }
}

// The port combo box of the window, on a hidden parent.
class PortListBox : public ::testing::Test {
 protected:
  void SetUp() override {
    totalComPort = 0;
    parent_ = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                              nullptr);
    ASSERT_NE(parent_, nullptr);
    box_ = CreateWindowExA(0, "COMBOBOX", "",
                           WS_CHILD | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_SORT | CBS_HASSTRINGS, 0,
                           0, 100, 200, parent_, nullptr, nullptr, nullptr);
    ASSERT_NE(box_, nullptr);
  }
  void TearDown() override {
    if (parent_ != nullptr) DestroyWindow(parent_);
    totalComPort = 0;
  }
  std::vector<std::string> Rows() const {
    std::vector<std::string> rows;
    LRESULT count = SendMessageA(box_, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      char text[64] = {};
      if (SendMessageA(box_, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < 63) {
        SendMessageA(box_, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
      }
      rows.push_back(text);
    }
    return rows;
  }
  HWND parent_ = nullptr;
  HWND box_ = nullptr;
};

TEST_F(PortListBox, UsbListHoldsOneSelectedRowHoweverOftenFilled) {
  EnumUSBPort(box_);
  EnumUSBPort(box_);
  EXPECT_EQ(Rows(), std::vector<std::string>{"USB"});
  EXPECT_EQ(SendMessageA(box_, CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(totalComPort, 1);
}

TEST_F(PortListBox, ComListReplacesTheRowsItAndTheUsbListAdded) {
  PortList ports;
  ListComPorts(&ports);
  std::vector<std::string> expected(ports.names, ports.names + ports.count);

  EnumUSBPort(box_);
  EnumComPort(box_);
  EXPECT_EQ(Rows(), expected);
  EXPECT_EQ(totalComPort, ports.count);
  EnumComPort(box_);
  EXPECT_EQ(Rows(), expected);  // one row per port, not two
  // The COM list selects nothing itself; the window selects the first row.
  EXPECT_EQ(SendMessageA(box_, CB_GETCURSEL, 0, 0), CB_ERR);
  EnumUSBPort(box_);
  EXPECT_EQ(Rows(), std::vector<std::string>{"USB"});
}

}  // namespace
