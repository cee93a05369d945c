// Shared set-up of the burn-sequence tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/burn.h"
#include "engine/image.h"
#include "engine/models.h"
#include "engine/run_state.h"
#include "protocol/transfer.h"

// An image whose bytes differ from block to block and from their neighbours.
inline std::vector<uint8_t> PatternImage(uint32_t length) {
  std::vector<uint8_t> image(length);
  for (uint32_t i = 0; i < length; ++i) image[i] = static_cast<uint8_t>(i * 7u + (i >> 8) + 3u);
  return image;
}

// A small image that fits the row, not a multiple of the frame size, so the
// last frame carries filler.
inline uint32_t SmallImageLength(int row) {
  if (IsVmGroup(row)) return 4096 + 2 * 256 + 100;
  return 3 * 1024 + 50;
}

// The image bytes the row puts on the wire: the VM group leaves out the
// last 4,096 bytes.
inline std::vector<uint8_t> SentPart(const std::vector<uint8_t>& image, int row) {
  const size_t kept = IsVmGroup(row) ? image.size() - 4096 : image.size();
  return std::vector<uint8_t>(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(kept));
}

// The bytes of the frames that carry `sent`: filler 0x1A up to a whole frame.
inline std::vector<uint8_t> Padded(std::vector<uint8_t> sent, int row) {
  const auto n = static_cast<size_t>(BlockLayoutOf(row, 0x10000).dataSize);
  while (n != 0 && sent.size() % n != 0) sent.push_back(0x1A);
  return sent;
}

// The device type ID a bootloader reports: serial models drop bit 15.
inline uint16_t BootIdOf(int row) {
  return IsSerialModel(row) ? static_cast<uint16_t>(plcID[row] & 0x7FFF) : plcID[row];
}

inline void ResetRunState() {
  ClearStatusValues();
  VM_fu_version = 0;
  SetSelectedComPort("COM3");
  CloseLink(hSerial);
}

inline void ExpectAllZero() {
  EXPECT_EQ(elapsedTime, 0);
  EXPECT_EQ(flashStatus, 0);
  EXPECT_EQ(progress, 0);
  EXPECT_EQ(errCounter, 0);
  EXPECT_EQ(totalErrCounter, 0);
  EXPECT_EQ(hSerial, kNoLink);
  EXPECT_EQ(hGLOBAL, nullptr);
  EXPECT_FALSE(BurnInProgress());
}

// The last n entries of a trace.
inline std::vector<std::string> Tail(const std::vector<std::string>& trace, size_t n) {
  if (trace.size() <= n) return trace;
  return std::vector<std::string>(trace.end() - static_cast<std::ptrdiff_t>(n), trace.end());
}
