// How a run's end is told: the reason of every message, the outcome the
// console makes of the last box, and the exit statuses.
#include "ui/console/outcome.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "state/messages.h"
#include "state/models.h"
#include "ui/console/advice.h"

namespace plc {

namespace {

TEST(ReasonOfMessage, EveryMessageHasOneReasonOfTheFixedList) {
  const std::set<std::string> names = {
      "ok",        "usage",      "image", "busy",     "unavailable", "no-response", "run-mode",
      "wrong-plc", "bootloader", "erase", "transfer", "interrupted", "unknown"};
  std::set<std::string> used;
  const MessageList all = AllMessages();
  for (size_t i = 0; i < all.count; ++i) {
    const ReasonedMessage& m = all.messages[i];
    const std::string name = ReasonName(m.reason);
    EXPECT_EQ(names.count(name), 1u) << m.text;
    // The table is what the lookup answers, and "UNKNOWN ..." is unknown.
    if (std::strchr(m.text, '%') == nullptr) {
      EXPECT_EQ(ReasonOfMessage(m.text), m.reason) << m.text;
    }
    EXPECT_EQ(std::strncmp(m.text, "UNKNOWN", 7) == 0, m.reason == Reason::kUnknown) << m.text;
    used.insert(name);
  }
  // Only the console's own ends have reasons no message gives.
  for (const char* own : {"usage", "busy"}) used.insert(own);
  EXPECT_EQ(used, names);

  const std::vector<std::pair<std::string, Reason>> cases = {
      {kSizeVmMessage, Reason::kImage},
      {OpenFailureMessage("/dev/ttyUSB0"), Reason::kUnavailable},
      {kNoResponse1Message, Reason::kNoResponse},
      {kNoResponse3Message, Reason::kErase},
      {kLp32Mismatch, Reason::kWrongPlc},
      {kVersionSilentMessage, Reason::kBootloader},
      {kV09Message, Reason::kBootloader},
      {kEraseSilentMessage, Reason::kErase},
      {kUpdateFailedMessage, Reason::kTransfer},
      {kSerialSuccessMessage, Reason::kOk},
      {"CANNOT", Reason::kUnknown},
      {"no message at all", Reason::kUnknown},
  };
  for (const auto& [text, reason] : cases) EXPECT_EQ(ReasonOfMessage(text.c_str()), reason) << text;
}

TEST(OutcomeOf, NarrowsTheReasonAndTellsTheTransfersBlocks) {
  const int lp4 = PlcIndexByName("LP4");
  const int lq4 = PlcIndexByName("LQ4");
  struct Case {
    const char* text;
    int row;
    int32_t reportedId;
    bool busy;
    bool erased;
    uint32_t sent;
    uint32_t toSend;
    Reason reason;
    uint32_t failedBlock;  // 0: no transfer facts
    uint32_t blocks;
  };
  const std::string open = OpenFailureMessage("/dev/ttyACM0");
  const Case cases[] = {
      {open.c_str(), lp4, -1, true, false, 0, 0, Reason::kBusy, 0, 0},
      {open.c_str(), lp4, -1, false, false, 0, 0, Reason::kUnavailable, 0, 0},
      // An LM4 (0x000E) answered an LQ4 burn: another model, not silence.
      {kNoResponse2Message, lq4, 0x000E, false, false, 0, 0, Reason::kWrongPlc, 0, 0},
      {kNoResponse2Message, lq4, -1, false, false, 0, 0, Reason::kNoResponse, 0, 0},
      {kNoResponse2Message, lq4, 0x000F, false, false, 0, 0, Reason::kNoResponse, 0, 0},
      // 128-byte frames: 256 bytes acknowledged, block 3 of 40 failed.
      {kUpdateFailedMessage, lp4, -1, false, true, 256, 5000, Reason::kTransfer, 3, 40},
      {kUpdateFailedMessage, lp4, -1, false, true, 0, 128, Reason::kTransfer, 1, 1},
      {kUpdateSilentMessage, lp4, -1, false, true, 0, 0, Reason::kTransfer, 0, 0},
  };
  for (const Case& c : cases) {
    RunEnd end;
    end.text = c.text;
    end.row = c.row;
    end.reportedId = c.reportedId;
    end.busy = c.busy;
    end.eraseAccepted = c.erased;
    end.bytesSent = c.sent;
    end.bytesToSend = c.toSend;
    const PlcOutcome o = OutcomeOf(end);
    EXPECT_EQ(o.reason, c.reason) << c.text;
    EXPECT_EQ(o.erased, c.erased) << c.text;
    EXPECT_EQ(o.transfer, c.failedBlock != 0) << c.text;
    if (!o.transfer) continue;
    EXPECT_EQ(o.failedBlock, c.failedBlock);
    EXPECT_EQ(o.blocksAcknowledged, c.failedBlock - 1);
    EXPECT_EQ(o.blocks, c.blocks);
  }
}

TEST(ExitStatus, OfOnePlcAndTheWorseOfSeveral) {
  const struct {
    Reason reason;
    bool erased;
    int status;
  } single[] = {
      {Reason::kOk, true, 0},          {Reason::kUsage, false, 2},
      {Reason::kInterrupted, true, 3}, {Reason::kTransfer, true, 4},
      {Reason::kBusy, true, 4},        {Reason::kBusy, false, 5},
      {Reason::kNoResponse, false, 1}, {Reason::kUnknown, false, 1},
  };
  for (const auto& c : single) {
    PlcOutcome o;
    o.reason = c.reason;
    o.erased = c.erased;
    EXPECT_EQ(ExitStatusOf(o), c.status) << ReasonName(c.reason) << " erased " << c.erased;
  }
  // From the worst down: every pair gives the one that comes first, both ways.
  const int order[] = {2, 3, 4, 1, 5, 0};
  for (size_t i = 0; i < 6; ++i) {
    for (size_t j = i; j < 6; ++j) {
      EXPECT_EQ(WorseExitStatus(order[i], order[j]), order[i]) << order[i] << " " << order[j];
      EXPECT_EQ(WorseExitStatus(order[j], order[i]), order[i]) << order[j] << " " << order[i];
    }
  }
  EXPECT_EQ(WorseExitStatus(7, 5), 1);
  EXPECT_EQ(WorseExitStatus(4, 7), 4);
}

}  // namespace

}  // namespace plc
