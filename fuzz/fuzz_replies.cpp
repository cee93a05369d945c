// Whatever a device answers, every protocol operation stays inside its
// buffers, ends with a result from its own table within its retry budget,
// and never puts anything but the image's own bytes into a block frame.
//
// Input: operation, model row, image length (2 bytes), write-failure period,
// then the reply stream.  Each read takes one control byte from the stream:
// below 0x80 it says how many of the requested bytes arrive (they follow);
// from 0x80 the read gets a reply of good form around the bytes that follow
// (a Modbus reply with a correct LRC, or a boot reply starting with ACK).  An
// exhausted stream is a silent device, so every input ends within a few budgets.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "port/link.h"
#include "protocol/app_commands.h"
#include "protocol/boot_commands.h"
#include "protocol/probe.h"
#include "protocol/transfer.h"
#include "state/image.h"
#include "state/models.h"
#include "state/run_state.h"

namespace {

void Expect(bool condition, const char* what) {
  if (condition) return;
  (void)std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

// Each operation, the results it may end with ({} any), whether it is one exchange.
struct Op {
  int (*run)(LinkHandle);
  std::vector<int> results;
  bool oneExchange;
};
const Op kOps[] = {
    {[](LinkHandle l) { return DummyComm(l), 0; }, {0}, false},
    {[](LinkHandle l) -> int { return ConfirmComm(l); }, {5, 6, 17, 18, 21, 22, 23, 24}, true},
    {[](LinkHandle l) -> int { return CheckID_A(l); }, {0, 18, 19, 21, 23, 24}, true},
    {[](LinkHandle l) -> int { return READ_D1386(l); }, {}, true},
    {[](LinkHandle l) -> int { return READ_D1148(l); }, {}, true},
    {[](LinkHandle) -> int { return read_fu_version_A(); }, {}, true},
    {[](LinkHandle l) -> int { return SendErase_A(l); }, {0, 19, 20, 21, 23, 24}, false},
    {[](LinkHandle l) -> int { return CheckID_B(l); }, {0, 16}, true},
    {[](LinkHandle) -> int { return read_fu_version_B(); }, {0, 16}, true},
    {[](LinkHandle l) -> int { return SendErase_B(l); }, {0, 16}, false},
    {[](LinkHandle l) -> int { return SendUpdate(l); }, {0, 16}, true},
    {[](LinkHandle l) -> int { return SendFW(l); }, {0, 16}, false},
};
constexpr int kOpCount = sizeof kOps / sizeof kOps[0];
constexpr int kSendFw = kOpCount - 1;
constexpr uint32_t kMaxImage = 24 * 1024;

// Bitwise CRC-16/XMODEM: an oracle that shares nothing with the table code.
uint16_t Crc16Bitwise(const uint8_t* data, size_t length) {
  uint16_t crc = 0;
  for (size_t i = 0; i < length; ++i) {
    crc = static_cast<uint16_t>(crc ^ (data[i] << 8));
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

bool NameIn(int row, std::initializer_list<const char*> names) {
  for (const char* n : names)
    if (std::strcmp(PlcName(row), n) == 0) return true;
  return false;
}

struct FuzzWire : Link {
  const uint8_t* input = nullptr;
  size_t size = 0, pos = 0;
  uint8_t failWriteEvery = 0;  // 0: every write goes out whole
  uint32_t writes = 0, reads = 0;
  std::vector<uint8_t> first;  // the first request
  bool sameRequest = true;
  // SendFW oracle, worked out from the wire format alone: frame size, frames, bytes sent.
  const uint8_t* image = nullptr;
  uint32_t dataSize = 0, blocks = 0, sendLength = 0, acked = 0;
  bool checkFrames = false, lastWriteWhole = false, lastWasEot = false, eotAcked = false;

  void CheckFrame(const uint8_t* data, uint32_t count) {
    Expect(!eotAcked, "write after the acknowledged EOT");
    lastWasEot = acked == blocks;
    if (lastWasEot) return Expect(count == 1 && data[0] == 0x04, "EOT after the last frame");
    Expect(count == dataSize + 5 && data[0] == 0x02, "frame length and STX");
    Expect(data[1] == static_cast<uint8_t>(acked + 1) && data[2] == 255 - data[1], "block number");
    for (uint32_t i = 0, at = acked * dataSize; i < dataSize; ++i)
      Expect(data[3 + i] == (at + i < sendLength ? image[at + i] : 0x1A), "frame data");
    const uint16_t crc = Crc16Bitwise(data + 3, dataSize);
    Expect(data[3 + dataSize] == (crc >> 8) && data[4 + dataSize] == (crc & 0xFF), "frame CRC");
  }

  uint32_t Write(const uint8_t* data, uint32_t count) override {
    Expect(data != nullptr && count > 0 && count <= 261 && ++writes <= 200000, "write size");
    if (writes == 1) first.assign(data, data + count);
    sameRequest = sameRequest && first == std::vector<uint8_t>(data, data + count);
    if (checkFrames) CheckFrame(data, count);
    lastWriteWhole = failWriteEvery == 0 || writes % failWriteEvery != 0;
    return lastWriteWhole ? count : count - 1;
  }

  uint32_t Read(uint8_t* buffer, uint32_t count) override {
    Expect(buffer != nullptr && count > 0 && count <= 19, "read size");
    ++reads;
    if (pos >= size) return 0;
    const uint8_t control = input[pos++];
    uint32_t n = 0;
    if (control < 0x80) {
      for (const uint32_t want = control % (count + 1); n < want && pos < size;)
        buffer[n++] = input[pos++];
    } else if (count >= 7 && count % 2 == 1) {
      // A Modbus reply of the full length with the right LRC.
      static const char kHex[] = "0123456789ABCDEF";
      uint8_t sum = 0;
      buffer[n++] = ':';
      for (uint32_t k = 0, bytes = (count - 3) / 2; k < bytes; ++k) {
        const uint8_t b =
            k + 1 == bytes ? static_cast<uint8_t>(0x100 - sum) : (pos < size ? input[pos++] : 0);
        sum = static_cast<uint8_t>(sum + b);
        buffer[n++] = static_cast<uint8_t>(kHex[b >> 4]);
        buffer[n++] = static_cast<uint8_t>(kHex[b & 0x0F]);
      }
      buffer[n++] = '\r';
      buffer[n++] = '\n';
    } else {
      for (buffer[n++] = 0x06; n < count && pos < size;) buffer[n++] = input[pos++];
    }
    if (checkFrames && count == 1 && n == 1 && buffer[0] == 0x06) {
      Expect(lastWriteWhole, "read after a short write");
      if (lastWasEot) eotAcked = true;
      acked += lastWasEot ? 0 : 1;
    }
    return n;
  }
  void ApplyLineSettings(const LineSettings&) override {}
  void ApplyTimeouts(const Timeouts&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const int opIndex = data[0] % kOpCount;
  const Op& op = kOps[opIndex];
  const int row = data[1] % kPlcCount;
  const uint32_t length = (data[2] | (uint32_t{data[3]} << 8)) % (kMaxImage + 1);
  static uint8_t image[kMaxImage];
  for (uint32_t i = 0; i < length; ++i) image[i] = static_cast<uint8_t>(i * 131 + (i >> 8));

  FuzzWire wire;
  wire.failWriteEvery = data[4] < 0xF0 ? 0 : static_cast<uint8_t>(data[4] & 0x0F);
  wire.input = data + 5;
  wire.size = size - 5;
  if (opIndex == kSendFw) {
    wire.checkFrames = true;
    wire.image = image;
    const bool vm = NameIn(row, {"VM600", "VM500", "KT5", "BRK-T", "VM400"});
    const bool big = NameIn(row, {"LN", "LN-P", "VM500-AIO", "RV5-AIO", "36RV4-AIO"});
    wire.dataSize = vm || big ? 256 : 128;
    wire.sendLength = !vm ? length : length < 4096 ? 0 : length - 4096;
    wire.blocks = (wire.sendLength + wire.dataSize - 1) / wire.dataSize;
  }
  SelectModel(row);
  ClearStatusValues();
  VM_fu_version = 0;
  LoadFirmware({image, length});
  hSerial = &wire;

  const int result = op.run(&wire);
  bool allowed = op.results.empty();
  for (int r : op.results) allowed = allowed || r == result;
  Expect(allowed, "a result from the operation's table");
  if (opIndex == 0) Expect(wire.writes == 5, "five wake-up frames");
  if (result != 0 && opIndex == 8) Expect(VM_fu_version == 0, "version changed on failure");
  if (result == 0 && (opIndex == 9 || opIndex == kSendFw)) Expect(progress == 100, "progress");
  if (opIndex == kSendFw) {  // success only when every frame and the EOT were acknowledged
    Expect((result == 0) == (wire.acked == wire.blocks && wire.eotAcked), "SendFW result");
  }
  // One exchange: at most 6 failed writes and 5 failed reads, or the reverse, one request.
  if (op.oneExchange) Expect(wire.writes <= 11 && wire.sameRequest, "retry budget");
  Expect(errCounter >= 0 && errCounter <= 6, "errCounter range");
  Expect(progress >= 0 && progress <= 100, "progress range");
  Expect(totalErrCounter >= 0 && static_cast<uint32_t>(totalErrCounter) <= wire.writes + wire.reads,
         "totalErrCounter counts failures only");
  hSerial = kNoLink;
  return 0;
}
