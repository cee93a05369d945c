// Helpers that speak to the simulator as the tool would, written from the
// wire format so the tests do not lean on the tool's own protocol code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim_device.h"

inline std::string ModbusRequest(const std::vector<uint8_t>& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = ":";
  unsigned sum = 0;
  for (uint8_t b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 0x0F];
    sum += b;
  }
  const unsigned lrc = (0x100 - (sum & 0xFF)) & 0xFF;
  out += kHex[lrc >> 4];
  out += kHex[lrc & 0x0F];
  out += "\r\n";
  return out;
}

inline std::string TakeAll(PlcSim& sim) {
  std::string out;
  uint8_t buf[256];
  uint32_t n = 0;
  while ((n = SimTakeOutput(sim, buf, sizeof buf)) > 0) out.append(buf, buf + n);
  return out;
}

inline std::string Exchange(PlcSim& sim, const std::string& request) {
  SimFeed(sim, reinterpret_cast<const uint8_t*>(request.data()),
          static_cast<uint32_t>(request.size()));
  return TakeAll(sim);
}

inline std::string Bin(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out += static_cast<char>(b);
  return out;
}

// A block frame as the tool builds it.
inline std::string BlockFrame(uint8_t number, const std::vector<uint8_t>& data) {
  std::string out = Bin({0x02, number, 255 - number});
  out.append(data.begin(), data.end());
  const uint16_t crc = SimCrc16(data.data(), static_cast<uint32_t>(data.size()));
  out += static_cast<char>(crc >> 8);
  out += static_cast<char>(crc & 0xFF);
  return out;
}

// The application-mode frames of the tool (':' ... CR LF).
inline const std::string kWakeUp = ":007F81\r\n";
inline const std::string kProbe = ":006401590141\r\n";
inline const std::string kProbeAio = ":0064015B013F\r\n";
inline const std::string kIdRequest = ":006401594944B5\r\n";
inline const std::string kIdRequestAio = ":0064015B4944B3\r\n";
inline const std::string kReadD1386 = ":0003156A00017D\r\n";
inline const std::string kReadD1148 = ":0003147C00016C\r\n";
inline const std::string kVersionRequest = ":00640159053D\r\n";
inline const std::string kEraseRequest = ":006401594552415345D2\r\n";
inline const std::string kEraseRequestAio = ":0064015B4552415345D0\r\n";
inline const std::string kEraseConfirm = ":00640159063C\r\n";
inline const std::string kEraseConfirmAio = ":0064015B063A\r\n";
