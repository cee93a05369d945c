// Shared set-up of the burn tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/burn.h"
#include "engine/image.h"
#include "engine/models.h"
#include "engine/run_state.h"
#include "protocol/transfer.h"

using Ints = std::pair<long, long>;

// An image whose bytes differ from block to block and from their neighbours.
inline std::vector<uint8_t> PatternImage(uint32_t length) {
  std::vector<uint8_t> image(length);
  for (uint32_t i = 0; i < length; ++i) image[i] = static_cast<uint8_t>(i * 7u + (i >> 8) + 3u);
  return image;
}

// A small image for the row whose last frame carries filler.
inline uint32_t SmallImageLength(int row) {
  return IsVmGroup(row) ? 4096 + 2 * 256 + 100 : 3 * 1024 + 50;
}

// What the row sends (the VM group keeps the last 4 KB back), filled up to whole frames.
inline std::vector<uint8_t> SentPart(const std::vector<uint8_t>& image, int row) {
  return std::vector<uint8_t>(image.begin(), image.end() - (IsVmGroup(row) ? 4096 : 0));
}
inline std::vector<uint8_t> Padded(std::vector<uint8_t> sent, int row) {
  const auto n = static_cast<size_t>(BlockLayoutOf(row, 0x10000).dataSize);
  while (n != 0 && sent.size() % n != 0) sent.push_back(0x1A);
  return sent;
}

inline void ResetRunState() {
  ClearStatusValues();
  VM_fu_version = 0;
  SetSelectedComPort("COM3");
  CloseLink(hSerial);
}

inline void ExpectAllZero() {
  EXPECT_EQ(std::vector<int>({elapsedTime, flashStatus, progress, errCounter, totalErrCounter}),
            std::vector<int>(5, 0));
  EXPECT_EQ(hSerial, kNoLink);
  EXPECT_EQ(hGLOBAL, nullptr);
  EXPECT_FALSE(BurnInProgress());
}

// The last n entries of a trace.
inline std::vector<std::string> Tail(const std::vector<std::string>& trace, size_t n) {
  return std::vector<std::string>(
      trace.end() - static_cast<std::ptrdiff_t>(std::min(n, trace.size())), trace.end());
}
