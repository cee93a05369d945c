// Many seeded burns of every model against the simulator on virtual time:
// whatever the line does, a run ends with the success box and the image
// received exactly, or with one error box whose text is one of the burn
// sequence's messages, and the run state is reset either way.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "sim_bench.h"

namespace {

const std::set<std::string>& BurnErrorMessages() {
  static const std::set<std::string> texts = {
      "PLC type is WRONG",
      "PLC in RUN MODE",
      "UNKNOWN ERROR CODE @ State 1",
      "NO RESPONSE @ State 1",
      "UNKNOWN MESSAGE",
      "UNKNOWN ERROR CODE @ State 2",
      "NO RESPONSE @ State 2",
      "UNKNOWN MESSAGE @ State 2",
      "UNKNOWN ERROR CODE @ State 3",
      "NO RESPONSE @ State 3",
      "UNKNOWN MESSAGE @ State 3",
      "PLC DOES NOT respond to the version read",
      "PLC DOES NOT respond to the erasing signal",
      "PLC DOES NOT respond to the update signal",
      "Firmware update is FAILED",
      "Check PLC, KT4-RV4 is different than KT4-W",
      "Check PLC, 16LP4 is different than 32LP4",
      "Check PLC, 32LP4 is different than 16LP4",
      "Check PLC, 16LN is different than 30LN",
      "Check PLC, 30LN is different than 16LN",
      "The bootloader version is V0.9, do not support AIO FW update",
      "The bootloader version is V1.0, do not support AIO FW update",
      "The bootloader version is unknown, do not support AIO FW update",
  };
  return texts;
}

struct Series {
  const char* name;
  const char* fault;
};

const Series kSeries[] = {
    {"one_percent", "random:0.01:all"},
    {"thirty_percent", "random:0.3:all"},
    {"hostile", "hostile"},
};

class VirtualSoak : public ::testing::TestWithParam<int> {};

INSTANTIATE_TEST_SUITE_P(Rows, VirtualSoak, ::testing::Range(0, kPlcCount),
                         [](const ::testing::TestParamInfo<int>& row) {
                           std::string name = plcList[row.param];
                           for (char& c : name) {
                             if (c == '-') c = '_';
                           }
                           return name;
                         });

TEST_P(VirtualSoak, EveryRunEndsInSuccessWithTheImageOrInABurnMessage) {
  const int row = GetParam();
  const Message success = SuccessMessageOf(row);
  int successes = 0;
  for (const Series& series : kSeries) {
    for (uint64_t seed = 1; seed <= 6; ++seed) {
      SCOPED_TRACE(std::string(series.name) + " seed " + std::to_string(seed));
      SimBench bench(row);
      bench.UseSmallImage();
      bench.config.seed = seed;
      bench.AddFault(series.fault);
      bench.Run();

      const std::vector<HostEvent>& events = bench.host.Events();
      std::vector<const HostEvent*> boxes;
      for (const HostEvent& e : events) {
        if (e.kind == HostEvent::Kind::kMessage) boxes.push_back(&e);
      }
      ASSERT_FALSE(boxes.empty());
      const HostEvent& last = *boxes.back();
      if (last.text == success.text) {
        ++successes;
        EXPECT_EQ(last.caption, success.caption);
        EXPECT_TRUE(SimTransferOk(*bench.sim));
        EXPECT_EQ(bench.Received(), bench.Expected()) << "a success with a wrong image";
        EXPECT_NE(std::string(series.fault), "hostile") << "success against random bytes";
      } else {
        EXPECT_EQ(last.caption, "ERROR");
        EXPECT_EQ(BurnErrorMessages().count(last.text), 1u) << last.text;
      }
      // Only prompts come before the last box; nothing claims success early.
      for (size_t i = 0; i + 1 < boxes.size(); ++i) {
        EXPECT_EQ(boxes[i]->icon, BoxIcon::kInformation) << boxes[i]->text;
        EXPECT_EQ(boxes[i]->text.find("SUCCESSFUL"), std::string::npos);
      }
      ExpectAllZero();
    }
  }
  // At 1 % at least one of the seeds gets through.
  EXPECT_GT(successes, 0);
}

}  // namespace
