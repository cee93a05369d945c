// Frames as the tool sends them, written from the wire format so that the
// tests do not lean on the tool's own protocol code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim_device.h"

inline std::string ModbusRequest(const std::vector<uint8_t>& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = ":";
  unsigned sum = 0;
  for (uint8_t b : bytes) sum += b, out += {kHex[b >> 4], kHex[b & 0x0F]};
  const unsigned lrc = (0x100 - (sum & 0xFF)) & 0xFF;
  return out + kHex[lrc >> 4] + kHex[lrc & 0x0F] + "\r\n";
}

// A function 0x64 frame of station 0; sub 0x5B is the AIO models' variant.
inline std::string Frame64(std::vector<uint8_t> tail, uint8_t sub = 0x59) {
  tail.insert(tail.begin(), {0x00, 0x64, 0x01, sub});
  return ModbusRequest(tail);
}

inline std::string Reply64(uint8_t status, uint8_t b5 = 0, uint8_t b6 = 0, uint8_t sub = 0x59) {
  return Frame64({status, b5, b6}, sub);
}

inline std::string Bin(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out += static_cast<char>(b);
  return out;
}

inline std::string BlockFrame(uint8_t number, const std::vector<uint8_t>& data) {
  const uint16_t crc = SimCrc16(data.data(), static_cast<uint32_t>(data.size()));
  return Bin({0x02, number, 255 - number}) + std::string(data.begin(), data.end()) +
         Bin({crc >> 8, crc & 0xFF});
}

inline const std::string kProbe = Frame64({0x01});
inline const std::string kIdRequest = Frame64({'I', 'D'});
inline const std::string kEraseRequest = Frame64({'E', 'R', 'A', 'S', 'E'});
inline const std::string kEraseConfirm = Frame64({0x06});
