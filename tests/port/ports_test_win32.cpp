// The Win32 link and the COM open.
#include <gtest/gtest.h>

#include <cstring>

#include "port/ports_win32.h"
#include "state/run_state.h"

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
  SetModbusLineSettings(writer);
  SetLongTimeouts(writer);
  const uint8_t frame[] = ":01640000009B\r\n";
  EXPECT_EQ(LinkWrite(writer, frame, sizeof frame - 1), sizeof frame - 1);
  uint8_t got[32] = {};
  EXPECT_EQ(LinkRead(reader, got, sizeof frame - 1), sizeof frame - 1);
  EXPECT_EQ(std::memcmp(got, frame, sizeof frame - 1), 0);
  CloseLink(writer);
  EXPECT_EQ(LinkRead(reader, got, 4), 0u);  // the far end is gone
  CloseLink(reader);
}

TEST(OpenComPort, MissingPortsGiveNoLink) {
  EXPECT_EQ(LinkFromHandle(INVALID_HANDLE_VALUE, true), kNoLink);
  for (const char* name : {"COM199", "\\\\.\\COM198", static_cast<const char*>(nullptr)}) {
    EXPECT_EQ(OpenComPort(name), kNoLink) << (name != nullptr ? name : "null");
  }
}

}  // namespace
