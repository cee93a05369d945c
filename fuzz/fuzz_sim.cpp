// Whatever arrives on its line, the simulated PLC stays inside its fixed
// buffers and its counters stay consistent.
//
// Input: model row, flags, seed, up to three fault texts (NUL-terminated, as
// plcsim's --fault takes them), then a list of steps.  Besides raw bytes a step
// can feed a block frame with a good CRC, so that the fuzzer reaches the
// transfer without forging a CRC-16 by chance; the tool's requests and the
// fault grammar come from the dictionary (sim.dict).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim_device.h"
#include "state/models.h"

// The entry point is global; what it calls is the project's.
using namespace plc;

namespace {

void Expect(bool condition, const char* what) {
  if (condition) return;
  (void)std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

const LineSettings kLines[] = {
    {9600, 7, 2, 0}, {115200, 8, 0, 0}, {19200, 8, 0, 0}, {9600, 8, 0, 0}};

void CheckState(const PlcSim& sim) {
  Expect(SimOutputSize(sim) <= kSimOutputSize, "output queue overrun");
  Expect(sim.outCount <= kSimOutputSize && sim.outHead < kSimOutputSize, "output ring");
  Expect(sim.lineLen <= kSimLineSize, "Modbus line length");
  Expect(sim.cmdLen <= sizeof sim.cmdBuf, "command length");
  Expect(sim.frameLen <= sizeof sim.frameBuf, "frame length");
  Expect(sim.imageLength <= kSimMaxImage && sim.image.size() == kSimMaxImage, "image room");
  Expect(sim.counters.framesStored <= sim.counters.frames, "stored frames");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  size_t pos = 0;
  const auto more = [&] { return pos < size; };
  const auto byte = [&]() -> uint8_t { return pos < size ? data[pos++] : 0; };
  const int row = byte() % kPlcCount;
  const uint8_t flags = byte();
  SimConfig config = SimDefaultConfig(row);
  config.startInBoot = (flags & 1) != 0;
  config.checkFraming = (flags & 2) != 0;
  config.answerWakeUp = (flags & 4) == 0;
  config.seed = byte();
  for (int i = 0; i < ((flags >> 3) & 3); ++i) {
    char text[48] = {};
    for (size_t n = 0; more() && n < sizeof text - 1;) {
      const uint8_t c = byte();
      if (c == 0) break;
      text[n++] = static_cast<char>(c);
    }
    std::string why;
    (void)SimAddFault(config, text, &why);
  }

  static PlcSim sim;  // keeps the image's room from one input to the next
  SimInit(sim, config);

  uint8_t scratch[512];
  int steps = 0;
  while (more() && ++steps < 4096) {
    const uint8_t step = byte();
    switch (step % 9) {
      case 0:
      case 1:
      case 2:
      case 3: {  // raw bytes
        const uint32_t n = byte();
        uint32_t got = 0;
        while (got < n && more()) scratch[got++] = byte();
        SimFeed(sim, scratch, got);
        break;
      }
      case 4:
        SimSetLine(sim, kLines[(step >> 4) % 4], (step & 0x80) != 0);
        break;
      case 5:
        SimIdle(sim, uint32_t{byte()} * 2);
        break;
      case 6:  // the tool's reopen, or a loss of power
        if ((step & 0x80) != 0) {
          SimPowerCycle(sim);
        } else {
          SimReconnect(sim);
        }
        break;
      case 7: {
        const uint32_t want = uint32_t{byte()} * 40;
        const uint32_t got =
            SimTakeOutput(sim, scratch, want < sizeof scratch ? want : sizeof scratch);
        Expect(got <= sizeof scratch, "take output");
        break;
      }
      case 8: {  // a block frame with a good CRC (or a damaged copy of one)
        const uint32_t n =
            (step & 0x10) != 0 ? SimBlockSize(row) : ((step & 0x20) != 0 ? 256 : 128);
        const uint8_t number = byte();
        const uint8_t fill = byte();
        scratch[0] = 0x02;
        scratch[1] = number;
        scratch[2] = static_cast<uint8_t>(255 - number);
        for (uint32_t i = 0; i < n; ++i) scratch[3 + i] = static_cast<uint8_t>(fill + i);
        const uint16_t crc = SimCrc16(scratch + 3, n);
        scratch[3 + n] = static_cast<uint8_t>(crc >> 8);
        scratch[4 + n] = static_cast<uint8_t>(crc);
        if ((step & 0x40) != 0) scratch[3 + byte() % (n + 2)] ^= 0x5A;
        SimFeed(sim, scratch, n + 5);
        break;
      }
      default:
        break;
    }
    CheckState(sim);
  }
  return 0;
}
