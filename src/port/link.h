// The link: the open byte stream to the PLC (a COM port or the USB device).
//
// Everything above the port layer sees the link only through these calls.
// A platform (POSIX, Win32) or a test supplies the Link object behind the
// handle; the protocol code never learns which one it talks to.
#pragma once

#include <cstdint>

#include "state/link_handle.h"

namespace plc {

// Serial line settings as the protocol names them.
struct LineSettings {
  uint32_t baudRate;
  uint8_t byteSize;  // data bits
  uint8_t parity;    // 0 none, 1 odd, 2 even
  uint8_t stopBits;  // 0 one, 1 one and a half, 2 two
};

// The five time-out values of a COM port, in milliseconds.
struct Timeouts {
  uint32_t readIntervalTimeout;
  uint32_t readTotalTimeoutMultiplier;
  uint32_t readTotalTimeoutConstant;
  uint32_t writeTotalTimeoutMultiplier;
  uint32_t writeTotalTimeoutConstant;
};

// Modbus ASCII in application mode: 9600 baud, 7E1, DTR and RTS off.
inline constexpr LineSettings kModbusLineSettings{9600, 7, 2, 0};
// Block transfer after "UPDATE": 115200 baud, 8N1, DTR and RTS off.
inline constexpr LineSettings kTransferLineSettings{115200, 8, 0, 0};
// Wake-up reads wait 200 ms; every other exchange waits up to 3 s.
inline constexpr Timeouts kShortTimeouts{0xFFFFFFFFu, 0, 200, 0, 200};
inline constexpr Timeouts kLongTimeouts{0xFFFFFFFFu, 0, 3000, 0, 3000};

class Link {
 public:
  Link() = default;
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;
  virtual ~Link() = default;

  // Writes the whole request in one call; returns how many bytes went out.
  // Gives up after the write total time-out.
  virtual uint32_t Write(const uint8_t* data, uint32_t count) = 0;
  // Reads up to count bytes; returns when all have arrived or the read total
  // time-out has passed, with what arrived (possibly nothing).
  virtual uint32_t Read(uint8_t* buffer, uint32_t count) = 0;
  // Changes speed, data bits, parity and stop bits, drops DTR and RTS on a
  // COM port and turns off the flow control that would drop, change or hold
  // back bytes; the rest of the port's settings stay as they were.  Failures
  // are ignored.
  virtual void ApplyLineSettings(const LineSettings& settings) = 0;
  // Failures are ignored.
  virtual void ApplyTimeouts(const Timeouts& timeouts) = 0;
};

uint32_t LinkWrite(Link* link, const uint8_t* data, uint32_t count);
uint32_t LinkRead(Link* link, uint8_t* buffer, uint32_t count);
void SetModbusLineSettings(Link* link);
void SetTransferLineSettings(Link* link);
void SetShortTimeouts(Link* link);
void SetLongTimeouts(Link* link);
// Stops (true) or lets go on (false) every read and write on every link: a
// stopped link sends nothing and reads nothing.  An interrupted run stops
// them before it ends, so that the thread still talking to the PLC cannot
// send it another request (an erase) after the user was told it stopped.
void StopAllLinks(bool stopped);

}  // namespace plc
