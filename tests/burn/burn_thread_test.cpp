// Two runs burn at once in one process, each on its own thread with its own
// simulated PLC, while the window's timer would read their status values:
// silent under ThreadSanitizer, every sample a value the panel can show, each
// image exact and each run's counters its own.  A run is claimed per Run: a
// second start of a run under way changes nothing, beside the other run.
#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "sim_bench.h"

namespace plc {

namespace {

using namespace std::chrono_literals;

TEST(BurnThread, TwoRunsBurnAtOnceEachWithItsOwnStateAndClaim) {
  SimBench a(PlcIndexByName("VM500"));
  SimBench b(PlcIndexByName("VM500"));
  a.UseImage(PatternImage(4096 + 64 * 1024));
  b.UseImage(PatternImage(4096 + 40 * 1024 + 100));  // another length, a filled last frame
  b.AddFault("bad-lrc:probe:1");                     // one failure, b's alone
  TestHost other(&a.wire, a.run);
  std::atomic<size_t> taken{0};
  std::atomic<int> atPrompt{0};
  std::map<const SimBench*, int> totalAtPrompt;  // each entry written by its own run's thread
  totalAtPrompt[&a] = totalAtPrompt[&b] = -1;
  // Both runs meet at the replug prompt, each with its image loaded and its
  // probe done, so that the rest of both runs overlaps.  Each box (the
  // prompt, the success) then waits for a few samples, as a user reads the
  // panel: the runs overlap the sampling on any clock (a Windows sleep can
  // last 15 ms, and a busy machine stretches it).
  for (SimBench* bench : {&a, &b}) {
    bench->host.onMessage = [&, bench](const std::string&) {
      // Another start of a claimed run, on this thread or a new one, must
      // change nothing: a second burn here would spoil both images.
      StartBurn(bench->run, other);
      EXPECT_FALSE(StartBurnThread(bench->run, other));
      if (bench->host.Messages().size() == 1) {
        ++atPrompt;
        for (int i = 0; atPrompt < 2 && i < 5000; ++i) std::this_thread::sleep_for(1ms);
        totalAtPrompt[bench] = bench->run.totalErrCounter;
      }
      for (const size_t from = taken; taken < from + 6;) std::this_thread::sleep_for(1ms);
    };
    SimInit(*bench->sim, bench->config);
  }
  ASSERT_TRUE(StartBurnThread(a.run, a.host));
  ASSERT_TRUE(StartBurnThread(b.run, b.host));
  std::vector<std::vector<int>> samples;
  for (; a.run.BurnInProgress() || b.run.BurnInProgress();
       std::this_thread::sleep_for(1ms), ++taken)
    for (const plc::Run* r : {&a.run, &b.run})
      samples.push_back({r->flashStatus, r->progress, r->errCounter, r->totalErrCounter});
  EXPECT_TRUE(other.Events().empty());
  EXPECT_GT(samples.size(), 20u);
  for (const std::vector<int>& s : samples)
    EXPECT_TRUE(s[0] >= 0 && s[0] <= 2 && s[1] <= 100 && s[2] >= 0 && s[2] <= 6 && s[3] >= 0);
  for (SimBench* bench : {&a, &b}) {
    EXPECT_EQ(bench->host.Messages().back(), SuccessMessageOf(bench->row).text);
    EXPECT_TRUE(SimTransferOk(*bench->sim) && bench->Received() == bench->Expected());
    ExpectAllZero(bench->run);
  }
  // Each run counted its own failures, also while the other one was under way.
  EXPECT_EQ(atPrompt, 2);
  EXPECT_EQ(Ints(totalAtPrompt[&a], totalAtPrompt[&b]), Ints(0, 1));
  EXPECT_EQ(Ints(a.host.atBox.back().totalErr, b.host.atBox.back().totalErr), Ints(0, 1));
}

}  // namespace

}  // namespace plc
