// Whatever a device answers, every protocol operation stays inside its
// buffers and ends with a result from its own table within its retry budget;
// SendFW succeeds only once its EOT was acknowledged.  (What the frames carry
// is checked by the burn tests, through noise, against the simulator.)
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
#include <vector>

#include "port/link.h"
#include "protocol/app_commands.h"
#include "protocol/boot_commands.h"
#include "protocol/probe.h"
#include "protocol/transfer.h"
#include "state/image.h"
#include "state/models.h"
#include "state/run.h"

// The entry point is global; what it calls is the project's.
using namespace plc;

namespace {

void Expect(bool condition, const char* what) {
  if (condition) return;
  (void)std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

// A read of a value as an operation: 0 when it was read, 1 when not.
template <typename T, bool (*read)(Run&, T*)>
int ReadOf(Run& r) {
  T v = 0;
  return read(r, &v) ? 0 : 1;
}

// Each operation, the results it may end with ({} any), whether it is one exchange.
struct Op {
  int (*run)(Run&);
  std::vector<int> results;
  bool oneExchange;
};
const Op kOps[] = {
    {[](Run& r) { return DummyComm(r), 0; }, {0}, false},
    {[](Run& r) -> int { return ConfirmComm(r); }, {5, 6, 17, 18, 21, 22, 23, 24}, true},
    {[](Run& r) -> int { return CheckID_A(r); }, {0, 18, 19, 21, 23, 24}, true},
    {ReadOf<uint16_t, ReadD1386_A>, {0, 1}, true},
    {ReadOf<uint16_t, ReadD1148_A>, {0, 1}, true},
    {ReadOf<uint8_t, ReadVersion_A>, {0, 1}, true},
    {[](Run& r) -> int { return SendErase_A(r); }, {0, 19, 20, 21, 23, 24}, false},
    {[](Run& r) -> int { return CheckID_B(r); }, {0, 16}, true},
    {ReadOf<uint8_t, ReadVersion_B>, {0, 1}, true},
    {[](Run& r) -> int { return SendErase_B(r); }, {0, 16}, false},
    {[](Run& r) -> int { return SendUpdate(r); }, {0, 16}, true},
    {[](Run& r) -> int { return SendFW(r); }, {0, 16}, false},
};
constexpr int kOpCount = sizeof kOps / sizeof kOps[0];
constexpr int kSendFw = kOpCount - 1;
constexpr uint32_t kMaxImage = 24 * 1024;

struct FuzzWire : Link {
  const uint8_t* input = nullptr;
  size_t size = 0, pos = 0;
  uint8_t failWriteEvery = 0;  // 0: every write goes out whole
  uint32_t writes = 0, reads = 0;
  std::vector<uint8_t> first;  // the first request
  bool sameRequest = true;
  bool lastWasEot = false, eotAcked = false;

  uint32_t Write(const uint8_t* data, uint32_t count) override {
    Expect(data != nullptr && count > 0 && count <= 261 && ++writes <= 200000, "write size");
    if (writes == 1) first.assign(data, data + count);
    sameRequest = sameRequest && first == std::vector<uint8_t>(data, data + count);
    const bool whole = failWriteEvery == 0 || writes % failWriteEvery != 0;
    lastWasEot = whole && count == 1 && data[0] == 0x04;
    return whole ? count : count - 1;
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
    eotAcked = eotAcked || (lastWasEot && n == 1 && buffer[0] == 0x06);
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
  Run run;
  run.SelectModel(row);
  run.LoadFirmware({image, length});
  run.hSerial.reset(&wire);  // lent: given back below, never closed

  const int result = op.run(run);
  bool allowed = op.results.empty();
  for (int r : op.results) allowed = allowed || r == result;
  Expect(allowed, "a result from the operation's table");
  if (opIndex == 0) Expect(wire.writes == 5, "five wake-up frames");
  if (result == 0 && (opIndex == 9 || opIndex == kSendFw)) Expect(run.progress == 100, "progress");
  if (opIndex == kSendFw) Expect(result != 0 || wire.eotAcked, "SendFW success after its EOT");
  // One exchange: at most 6 failed writes and 5 failed reads, or the reverse, one request.
  if (op.oneExchange) Expect(wire.writes <= 11 && wire.sameRequest, "retry budget");
  Expect(run.errCounter >= 0 && run.errCounter <= 6, "errCounter range");
  Expect(run.progress >= 0 && run.progress <= 100, "progress range");
  Expect(run.totalErrCounter >= 0 &&
             static_cast<uint32_t>(run.totalErrCounter) <= wire.writes + wire.reads,
         "totalErrCounter counts failures only");
  (void)run.hSerial.release();
  return 0;
}
