// The status panel reads the status values while the burn thread writes them:
// silent under ThreadSanitizer, and every sample a value the panel can show.
#include <atomic>
#include <chrono>
#include <thread>

#include "sim_bench.h"

namespace {

using namespace std::chrono_literals;

TEST(StatusPanel, SamplesTheStatusValuesDuringAWholeBurn) {
  SimBench bench(PlcIndexByName("VM500"));
  bench.UseImage(PatternImage(4096 + 64 * 1024));
  std::atomic<bool> done{false};
  std::atomic<size_t> taken{0};
  // Each box (the replug prompt, the success) waits for a few samples, as a
  // user reads the panel: the run then overlaps the sampling on any clock
  // (a Windows sleep can last 15 ms, and a busy machine stretches it).
  bench.host.onMessage = [&](const std::string&) {
    for (const size_t from = taken; taken < from + 6;) std::this_thread::sleep_for(1ms);
  };
  std::vector<std::vector<int>> samples;
  std::thread reader([&] {
    for (; !done; std::this_thread::sleep_for(1ms)) {
      samples.push_back({flashStatus, progress, errCounter, totalErrCounter, elapsedTime});
      ++taken;
    }
  });
  bench.Run();  // on this thread, while the reader samples
  done = true;
  reader.join();
  EXPECT_EQ(bench.host.Messages().back(), SuccessMessageOf(bench.row).text);
  EXPECT_GT(samples.size(), 10u);
  for (const std::vector<int>& s : samples)
    EXPECT_TRUE(s[0] >= 0 && s[0] <= 2 && s[1] <= 100 && s[2] >= 0 && s[2] <= 6 && s[3] >= 0);
  ExpectAllZero();
}

}  // namespace
