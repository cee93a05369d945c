#include "protocol/transfer.h"

#include <cstring>

#include "protocol/control_bytes.h"
#include "protocol/exchange.h"
#include "state/models.h"
#include "state/run.h"

namespace plc {

namespace {

constexpr int32_t kMaxDataSize = kMaxFrameBytes;
constexpr int32_t kFrameOverhead = 5;  // STX, number, complement, CRC high, CRC low

struct CrcTable {
  uint16_t entry[256];
};

// Entry i is the CRC of the single byte i (polynomial 0x1021, MSB first).
constexpr CrcTable MakeCrcTable() {
  CrcTable table{};
  for (int i = 0; i < 256; ++i) {
    auto crc = static_cast<uint16_t>(i << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    table.entry[i] = crc;
  }
  return table;
}

constexpr CrcTable kCrcTable = MakeCrcTable();
static_assert(kCrcTable.entry[1] == 0x1021 && kCrcTable.entry[2] == 0x2042 &&
                  kCrcTable.entry[255] == 0x1EF0,
              "CRC-16/XMODEM table");

}  // namespace

uint32_t CRC(const uint8_t* data, uint32_t length) {
  uint32_t crc = 0;
  for (uint32_t i = 0; i < length; ++i) {
    const uint32_t index = ((crc >> 8) ^ data[i]) & 0xFF;
    crc = ((crc << 8) ^ kCrcTable.entry[index]) & 0xFFFF;
  }
  return crc;
}

BlockLayout BlockLayoutOf(int row, uint32_t length) {
  const PlcModel& model = ModelOf(row);
  const uint32_t size = model.frameBytes;
  // The reserved tail stays out; a shorter image has nothing to send.
  const uint32_t sent = length < model.reservedTail ? 0 : length - model.reservedTail;
  return {static_cast<int32_t>(size), static_cast<int32_t>(sent / size + (sent % size != 0))};
}

ProtocolResult SendFW(Run& run) {
  Link* link = run.hSerial.get();
  SetLongTimeouts(link);
  uint8_t blockNumber = 1;
  int32_t acked = 0;
  const uint32_t length = run.fileLength;
  const BlockLayout layout = BlockLayoutOf(run.selectedPLCIdx, length);
  const int32_t n = layout.dataSize;
  const int32_t blocks = layout.blockCount;
  const auto lastPart = static_cast<int32_t>(length % static_cast<uint32_t>(n));

  // The image's bytes that the frames carry: not the reserved tail, nor the
  // filler of the last frame.
  const uint32_t tail = ModelOf(run.selectedPLCIdx).reservedTail;
  const uint32_t imageBytes = length > tail ? length - tail : 0;
  run.bytesSent = 0;
  run.bytesToSend = imageBytes;
  run.StartPhase(kFlashProgramming);

  // One buffer for every frame and for the closing EOT.
  uint8_t frame[kMaxDataSize + kFrameOverhead];
  const Frame request{frame, static_cast<uint32_t>(n + kFrameOverhead)};
  uint8_t ack = 0;
  const auto judgeAck = [&](uint32_t got) {
    return got == 1 && ack == kAck ? Attempt::kAccepted : Attempt::kFailedRead;
  };

  for (int32_t c = 0; c < blocks; ++c) {
    frame[0] = kStx;
    frame[1] = blockNumber;
    frame[2] = static_cast<uint8_t>(255 - blockNumber);
    uint8_t* data = frame + 3;
    if (c >= blocks - 1 && lastPart != 0) {
      run.FileRead(data, lastPart);
      std::memset(data + lastPart, kFiller, static_cast<size_t>(n - lastPart));
    } else {
      run.FileRead(data, n);
    }
    const uint32_t crc = CRC(data, static_cast<uint32_t>(n));
    data[n] = static_cast<uint8_t>(crc >> 8);
    data[n + 1] = static_cast<uint8_t>(crc);

    run.errCounter = 0;
    // A failed frame goes out again unchanged; the image cursor stays put.
    if (!RunRetryBudget(run, request, &ack, 1, false, kFullBudget, judgeAck)) {
      return kResultBootFailure;
    }
    blockNumber = static_cast<uint8_t>(blockNumber + 1);
    ++acked;
    const auto acknowledged = static_cast<uint32_t>(int64_t{acked} * n);
    run.bytesSent = acknowledged < imageBytes ? acknowledged : imageBytes;
    // B + 1: only the acknowledged EOT brings the bar to 100.
    const auto percent = static_cast<int32_t>(int64_t{acked} * 100 / (int64_t{blocks} + 1));
    run.SetProgress(percent);
  }

  run.errCounter = 0;
  frame[0] = kEot;
  if (!RunRetryBudget(run, Frame{frame, 1}, &ack, 1, false, kFullBudget, judgeAck)) {
    return kResultBootFailure;
  }
  run.SetProgress(100);
  run.errCounter = 0;
  return kResultOk;
}

}  // namespace plc
