#pragma once

#include <cstdint>

#include "port/link.h"
#include "protocol/protocol_result.h"
#include "state/run.h"

namespace plc {

// CRC-16/XMODEM (poly 0x1021, init 0, no reflection, no final XOR).
uint32_t CRC(const uint8_t* data, uint32_t length);

// Data bytes per frame (N) and frame count (B) for a model row and image
// length.  For the VM group an image shorter than 4,096 bytes gives B = 0.
struct BlockLayout {
  int32_t dataSize;
  int32_t blockCount;
};
BlockLayout BlockLayoutOf(int row, uint32_t length);

// Sends the image from the cursor in block frames, then EOT; kResultOk or
// kResultBootFailure.
[[nodiscard]] ProtocolResult SendFW(Run& run);

}  // namespace plc
