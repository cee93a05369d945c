// Whatever a device answers, every protocol operation stays inside its
// buffers, ends with a result from its own table within its retry budget,
// and never puts anything but the image's own bytes into a block frame.
//
// Input: operation, model row, image length (2 bytes), write-failure period,
// then the reply stream.  Each read the operation makes takes one control
// byte from the stream: below 0x80 it says how many of the requested bytes
// arrive (the rest is a time-out), and those bytes follow; from 0x80 the
// read gets a whole reply of good form built around the bytes that follow
// (a Modbus reply with a correct LRC, or a boot reply starting with ACK).  An exhausted stream is a
// silent device, so every input ends within a few budgets.
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

enum Op : uint8_t {
  kDummyComm,
  kConfirmComm,
  kCheckIdA,
  kReadD1386,
  kReadD1148,
  kVersionA,
  kEraseA,
  kCheckIdB,
  kVersionB,
  kEraseB,
  kUpdate,
  kSendFw,
  kOpCount
};

constexpr uint32_t kMaxImage = 24 * 1024;

[[noreturn]] void Fail(const char* what) {
  (void)std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

void Expect(bool condition, const char* what) {
  if (!condition) Fail(what);
}

// Bitwise CRC-16/XMODEM: an oracle that shares nothing with the table code.
uint16_t Crc16Bitwise(const uint8_t* data, size_t length) {
  uint16_t crc = 0;
  for (size_t i = 0; i < length; ++i) {
    crc = static_cast<uint16_t>(crc ^ (data[i] << 8));
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
  }
  return crc;
}

bool NameIn(int row, std::initializer_list<const char*> names) {
  for (const char* n : names) {
    if (std::strcmp(PlcName(row), n) == 0) return true;
  }
  return false;
}

// The frames a model must receive, worked out from the wire format alone.
struct Expected {
  uint32_t dataSize;
  uint32_t blocks;
  uint32_t sendLength;
};

Expected ExpectedFrames(int row, uint32_t length) {
  if (NameIn(row, {"VM600", "VM500", "KT5", "BRK-T", "VM400"})) {
    if (length < 4096) return {256, 0, 0};
    return {256, (length - 4096 + 255) / 256, length - 4096};
  }
  const uint32_t n = NameIn(row, {"LN", "LN-P", "VM500-AIO", "RV5-AIO", "36RV4-AIO"}) ? 256 : 128;
  return {n, (length + n - 1) / n, length};
}

struct FuzzWire {
  const uint8_t* input = nullptr;
  size_t size = 0;
  size_t pos = 0;
  uint8_t failWriteEvery = 0;  // 0: every write goes out whole
  uint32_t writes = 0;
  uint32_t reads = 0;

  // Writes of the operation, for the per-operation checks.
  std::vector<std::vector<uint8_t>> requests;
  bool keepRequests = true;

  // SendFW oracle.
  bool checkFrames = false;
  const uint8_t* image = nullptr;
  Expected expected{};
  uint32_t acked = 0;  // ACKs delivered after a whole frame (or EOT)
  bool lastWriteWhole = false;
  bool lastWasEot = false;
  bool eotAcked = false;

  void CheckFrame(const uint8_t* data, uint32_t count) {
    Expect(!eotAcked, "write after the acknowledged EOT");
    if (acked == expected.blocks) {
      Expect(count == 1 && data[0] == 0x04, "EOT expected after the last frame");
      lastWasEot = true;
      return;
    }
    const uint32_t n = expected.dataSize;
    Expect(count == n + 5, "frame length");
    Expect(data[0] == 0x02, "STX");
    Expect(data[1] == static_cast<uint8_t>(acked + 1), "block number");
    Expect(data[2] == static_cast<uint8_t>(255 - data[1]), "complement");
    const uint32_t offset = acked * n;
    for (uint32_t i = 0; i < n; ++i) {
      const uint8_t want = offset + i < expected.sendLength ? image[offset + i] : 0x1A;
      Expect(data[3 + i] == want, "frame data differ from the image");
    }
    const uint16_t crc = Crc16Bitwise(data + 3, n);
    Expect(data[3 + n] == (crc >> 8) && data[4 + n] == (crc & 0xFF), "frame CRC");
    lastWasEot = false;
  }

  uint32_t OnWrite(const uint8_t* data, uint32_t count) {
    Expect(data != nullptr && count > 0 && count <= 261, "write size");
    ++writes;
    Expect(writes <= 200000, "runaway writes");
    const bool whole = failWriteEvery == 0 || writes % failWriteEvery != 0;
    if (keepRequests && requests.size() < 64) requests.emplace_back(data, data + count);
    if (checkFrames) CheckFrame(data, count);
    lastWriteWhole = whole;
    return whole ? count : count - 1;
  }

  uint32_t OnRead(uint8_t* buffer, uint32_t count) {
    Expect(buffer != nullptr && count > 0 && count <= 19, "read size");
    ++reads;
    if (pos >= size) return 0;
    const uint8_t control = input[pos++];
    uint32_t n = 0;
    if (control < 0x80) {
      // Raw: control says how many bytes arrive; they follow in the input.
      const uint32_t want = control % (count + 1);
      while (n < want && pos < size) buffer[n++] = input[pos++];
    } else if (count >= 7 && count % 2 == 1) {
      // A well-formed Modbus reply of the full length around bytes from the
      // input, with the right LRC: the fuzzer cannot be expected to forge one.
      static const char kHex[] = "0123456789ABCDEF";
      const uint32_t bytes = (count - 3) / 2;
      uint8_t sum = 0;
      buffer[n++] = ':';
      for (uint32_t k = 0; k < bytes; ++k) {
        uint8_t b = pos < size ? input[pos++] : 0;
        if (k + 1 == bytes) b = static_cast<uint8_t>(0x100 - sum);
        sum = static_cast<uint8_t>(sum + b);
        buffer[n++] = static_cast<uint8_t>(kHex[b >> 4]);
        buffer[n++] = static_cast<uint8_t>(kHex[b & 0x0F]);
      }
      buffer[n++] = '\r';
      buffer[n++] = '\n';
    } else {
      // A boot-mode reply that starts with ACK.
      buffer[n++] = 0x06;
      while (n < count && pos < size) buffer[n++] = input[pos++];
    }
    if (checkFrames && count == 1 && n == 1 && buffer[0] == 0x06) {
      Expect(lastWriteWhole, "read after a short write");
      if (lastWasEot) {
        eotAcked = true;
      } else {
        ++acked;
      }
    }
    return n;
  }
};

class FuzzLink : public Link {
 public:
  explicit FuzzLink(FuzzWire* wire) : wire_(wire) {}
  uint32_t Write(const uint8_t* data, uint32_t count) override {
    return wire_->OnWrite(data, count);
  }
  uint32_t Read(uint8_t* buffer, uint32_t count) override { return wire_->OnRead(buffer, count); }
  void ApplyLineSettings(const LineSettings&) override {}
  void ApplyTimeouts(const Timeouts&) override {}

 private:
  FuzzWire* wire_;
};

bool OneOf(int value, std::initializer_list<int> allowed) {
  for (int a : allowed) {
    if (a == value) return true;
  }
  return false;
}

bool AllRequestsEqual(const FuzzWire& wire) {
  for (const auto& r : wire.requests) {
    if (r != wire.requests.front()) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const auto op = static_cast<Op>(data[0] % kOpCount);
  const int row = data[1] % kPlcCount;
  const uint32_t length = (data[2] | (uint32_t{data[3]} << 8)) % (kMaxImage + 1);
  static uint8_t image[kMaxImage];
  for (uint32_t i = 0; i < length; ++i) image[i] = static_cast<uint8_t>(i * 131 + (i >> 8));

  FuzzWire wire;
  wire.failWriteEvery = data[4] < 0xF0 ? 0 : static_cast<uint8_t>(data[4] & 0x0F);
  wire.input = data + 5;
  wire.size = size - 5;
  FuzzLink link(&wire);

  SelectModel(row);
  ClearStatusValues();
  VM_fu_version = 0;
  LoadFirmware({image, length});
  hSerial = &link;

  int result = 0;
  switch (op) {
    case kDummyComm:
      DummyComm(&link);
      Expect(wire.writes == 5, "five wake-up frames");
      break;
    case kConfirmComm:
      result = ConfirmComm(&link);
      Expect(OneOf(result, {5, 6, 17, 18, 21, 22, 23, 24}), "ConfirmComm result");
      break;
    case kCheckIdA:
      result = CheckID_A(&link);
      Expect(OneOf(result, {0, 18, 19, 21, 23, 24}), "CheckID_A result");
      break;
    case kReadD1386:
      (void)READ_D1386(&link);
      break;
    case kReadD1148:
      (void)READ_D1148(&link);
      break;
    case kVersionA:
      (void)read_fu_version_A();
      break;
    case kEraseA:
      result = SendErase_A(&link);
      Expect(OneOf(result, {0, 19, 20, 21, 23, 24}), "SendErase_A result");
      break;
    case kCheckIdB:
      result = CheckID_B(&link);
      Expect(OneOf(result, {0, 16}), "CheckID_B result");
      break;
    case kVersionB: {
      const uint8_t before = VM_fu_version;
      result = read_fu_version_B();
      Expect(OneOf(result, {0, 16}), "read_fu_version_B result");
      if (result != 0) Expect(VM_fu_version == before, "version changed on failure");
      break;
    }
    case kEraseB:
      wire.keepRequests = false;
      result = SendErase_B(&link);
      Expect(OneOf(result, {0, 16}), "SendErase_B result");
      if (result == 0) Expect(progress == 100, "erase progress at the end");
      break;
    case kUpdate:
      result = SendUpdate(&link);
      Expect(OneOf(result, {0, 16}), "SendUpdate result");
      break;
    case kSendFw: {
      wire.keepRequests = false;
      wire.checkFrames = true;
      wire.image = image;
      wire.expected = ExpectedFrames(row, length);
      result = SendFW(&link);
      Expect(OneOf(result, {0, 16}), "SendFW result");
      // Success only when every frame and the EOT were acknowledged.
      Expect((result == 0) == (wire.acked == wire.expected.blocks && wire.eotAcked),
             "SendFW result against the acknowledgements");
      if (result == 0) Expect(progress == 100, "transfer progress at the end");
      break;
    }
    case kOpCount:
      break;
  }

  // One exchange: at most 6 failed writes and 5 failed reads, or the reverse,
  // all with the same request.
  if (op == kConfirmComm || op == kCheckIdA || op == kReadD1386 || op == kReadD1148 ||
      op == kVersionA || op == kCheckIdB || op == kVersionB || op == kUpdate) {
    Expect(wire.writes <= 11, "retry budget");
    Expect(AllRequestsEqual(wire), "the same request on every attempt");
  }
  Expect(errCounter >= 0 && errCounter <= 6, "errCounter range");
  Expect(progress >= 0 && progress <= 100, "progress range");
  Expect(totalErrCounter >= 0 && static_cast<uint32_t>(totalErrCounter) <= wire.writes + wire.reads,
         "totalErrCounter counts failures only");

  hSerial = kNoLink;
  return 0;
}
