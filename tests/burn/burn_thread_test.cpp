// The window's timer reads the status values while the burn thread writes
// them: silent under ThreadSanitizer, and every sample a value the panel can
// show.  A second start while the run is under way changes nothing.
#include <atomic>
#include <chrono>
#include <thread>

#include "sim_bench.h"

namespace plc {

namespace {

using namespace std::chrono_literals;

TEST(BurnThread, StatusIsSampledWhileItRunsAndASecondStartIsRefused) {
  SimBench bench(PlcIndexByName("VM500"));
  bench.UseImage(PatternImage(4096 + 64 * 1024));
  TestHost other(&bench.wire, bench.run);
  std::atomic<size_t> taken{0};
  // Each box (the replug prompt, the success) waits for a few samples, as a
  // user reads the panel: the run then overlaps the sampling on any clock
  // (a Windows sleep can last 15 ms, and a busy machine stretches it).
  bench.host.onMessage = [&](const std::string&) {
    EXPECT_EQ(StartBurn(bench.run, other), 0);
    EXPECT_FALSE(StartBurnThread(bench.run, other));
    for (const size_t from = taken; taken < from + 6;) std::this_thread::sleep_for(1ms);
  };
  SimInit(*bench.sim, bench.config);
  ASSERT_TRUE(StartBurnThread(bench.run, bench.host));
  std::vector<std::vector<int>> samples;
  for (const plc::Run& r = bench.run; r.BurnInProgress(); std::this_thread::sleep_for(1ms), ++taken)
    samples.push_back({r.flashStatus, r.progress, r.errCounter, r.totalErrCounter, r.elapsedTime});
  EXPECT_EQ(bench.host.Messages().back(), SuccessMessageOf(bench.row).text);
  EXPECT_TRUE(other.Events().empty());
  EXPECT_GT(samples.size(), 10u);
  for (const std::vector<int>& s : samples)
    EXPECT_TRUE(s[0] >= 0 && s[0] <= 2 && s[1] <= 100 && s[2] >= 0 && s[2] <= 6 && s[3] >= 0);
  ExpectAllZero(bench.run);
}

}  // namespace

}  // namespace plc
