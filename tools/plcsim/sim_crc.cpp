// CRC-16/XMODEM (polynomial 0x1021, initial 0, not reflected, no final XOR).
// The simulator keeps its own so that it checks the tool's frames with code
// the tool does not share.
#include <array>

#include "sim_device.h"

namespace plc {

namespace {

constexpr std::array<uint16_t, 256> MakeTable() {
  std::array<uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned crc = i << 8;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x8000u) ? (crc << 1) ^ 0x1021u : crc << 1;
    }
    table[i] = static_cast<uint16_t>(crc & 0xFFFFu);
  }
  return table;
}

constexpr std::array<uint16_t, 256> kTable = MakeTable();

}  // namespace

uint16_t SimCrc16(const uint8_t* data, uint32_t length) {
  unsigned crc = 0;
  for (uint32_t i = 0; i < length; ++i) {
    crc = ((crc << 8) ^ kTable[((crc >> 8) ^ data[i]) & 0xFFu]) & 0xFFFFu;
  }
  return static_cast<uint16_t>(crc);
}

}  // namespace plc
