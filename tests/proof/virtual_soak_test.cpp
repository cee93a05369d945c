// Many seeded burns of every model against the simulator on virtual time:
// whatever the line does, a run ends with the success box and the image
// received exactly, or with one error box whose text is one of the burn
// sequence's messages, and the run state is reset either way.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "sim_bench.h"

namespace {

// The burn sequence's error texts.
const std::regex kBurnError(
    "PLC type is WRONG|PLC in RUN MODE|Firmware update is FAILED|"
    "(UNKNOWN ERROR CODE|NO RESPONSE) @ State [123]|UNKNOWN MESSAGE( @ State [23])?|"
    "PLC DOES NOT respond to the (version read|erasing signal|update signal)|"
    "Check PLC, (KT4-RV4|16LP4|32LP4|16LN|30LN) is different than (KT4-W|32LP4|16LP4|30LN|16LN)|"
    "The bootloader version is (V0\\.9|V1\\.0|unknown), do not support AIO FW update");

class VirtualSoak : public ::testing::TestWithParam<int> {};

INSTANTIATE_TEST_SUITE_P(Rows, VirtualSoak, ::testing::Range(0, kPlcCount));

TEST_P(VirtualSoak, EveryRunEndsInSuccessWithTheImageOrInABurnMessage) {
  const int row = GetParam();
  const Message success = SuccessMessageOf(row);
  int successes = 0;
  for (const char* fault : {"random:0.01:all", "random:0.3:all", "hostile"}) {
    for (uint64_t seed = 1; seed <= 6; ++seed) {
      SCOPED_TRACE(std::string(plcList[row]) + " " + fault + " seed " + std::to_string(seed));
      SimBench bench(row);
      bench.UseSmallImage();
      bench.config.seed = seed;
      bench.AddFault(fault);
      bench.Run();

      std::vector<const HostEvent*> boxes;
      for (const HostEvent& e : bench.host.Events())
        if (e.kind == HostEvent::Kind::kMessage) boxes.push_back(&e);
      ASSERT_FALSE(boxes.empty());
      const HostEvent& last = *boxes.back();
      if (last.text == success.text) {
        ++successes;
        EXPECT_EQ(last.caption, success.caption);
        EXPECT_TRUE(SimTransferOk(*bench.sim));
        EXPECT_EQ(bench.Received(), bench.Expected()) << "a success with a wrong image";
        EXPECT_NE(std::string(fault), "hostile") << "success against random bytes";
      } else {
        EXPECT_EQ(last.caption, "ERROR");
        EXPECT_TRUE(std::regex_match(last.text, kBurnError)) << last.text;
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
