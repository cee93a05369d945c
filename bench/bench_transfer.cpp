// Host cost of the block transfer: the CRC-16 alone, and one block frame of
// SendFW (data copy, CRC, header, one write and one ACK read) over a link
// that costs nothing.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "port/link.h"
#include "protocol/transfer.h"
#include "state/image.h"
#include "state/models.h"
#include "state/run.h"

namespace plc {

namespace {

void BM_Crc16(benchmark::State& state) {
  std::vector<uint8_t> data(static_cast<size_t>(state.range(0)));
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + 7);
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    benchmark::DoNotOptimize(CRC(data.data(), static_cast<uint32_t>(data.size())));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Crc16)->Arg(128)->Arg(256)->Arg(64 * 1024);

// Takes every write whole and acknowledges it at once.
class AckLink : public Link {
 public:
  uint32_t Write(const uint8_t* data, uint32_t count) override {
    benchmark::DoNotOptimize(data);
    return count;
  }
  uint32_t Read(uint8_t* buffer, uint32_t count) override {
    buffer[0] = 0x06;
    return count >= 1 ? 1 : 0;
  }
  void ApplyLineSettings(const LineSettings&) override {}
  void ApplyTimeouts(const Timeouts&) override {}
};

// The built-in image on the model it is for, the whole SendFW per iteration;
// the counter is the cost of one frame.
void BM_SendFwPerFrame(benchmark::State& state, const char* model) {
  Run run;
  run.SelectModel(PlcIndexByName(model));
  const FirmwareImage image = EmbeddedFirmwareImage();
  const BlockLayout layout = BlockLayoutOf(run.selectedPLCIdx, image.length);
  AckLink link;
  run.hSerial.reset(&link);  // lent: given back below, never closed
  for (auto _ : state) {     // NOLINT(clang-analyzer-deadcode.DeadStores)
    run.LoadFirmware(image);
    if (SendFW(run) != 0) state.SkipWithError("SendFW failed");
  }
  (void)run.hSerial.release();
  state.counters["frames"] = layout.blockCount;
  state.counters["time_per_frame"] =
      benchmark::Counter(layout.blockCount, benchmark::Counter::kIsIterationInvariantRate |
                                                benchmark::Counter::kInvert);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * layout.blockCount *
                          layout.dataSize);
}
BENCHMARK_CAPTURE(BM_SendFwPerFrame, VM500_256, "VM500")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SendFwPerFrame, KT4_RV4_128, "KT4-RV4")->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace plc
