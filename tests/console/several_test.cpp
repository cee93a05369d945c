// A run of several PLCs: the command line that names them, their labels,
// the joined prompt, the progress block and the summary table.
#include "ui/console/several.h"

#include <gtest/gtest.h>

#include "ui/console/several_run.h"
#ifndef _WIN32
#include <unistd.h>
#endif

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "support/stderr_capture.h"
#include "ui/console/options.h"
#include "ui/console/output.h"
#include "ui/console/progress_block.h"
#include "ui/console/prompt_gate.h"

namespace plc {

namespace {

TEST(ParseConsoleOptions, TakesEveryPortOrAllAndRefusesWhatCannotWork) {
  // Arguments, then the ports taken ("all" for --all) or the error's start.
  const std::tuple<std::vector<const char*>, const char*> cases[] = {
      {{"-p", "/dev/pts/1"}, "/dev/pts/1"},
      {{"-p", "/dev/pts/1", "--port=/dev/pts/2", "-p/dev/pts/3"},
       "/dev/pts/1 /dev/pts/2 /dev/pts/3"},
      {{"--all"}, "all"},
      {{"-p", "a", "-p", "a"}, "--port a is given twice"},
      {{"--all", "-p", "a"}, "--all and --port cannot go together"},
      {{"--identify", "-p", "a", "-p", "b"}, "--identify takes one PLC"},
      {{"--identify", "--all"}, "--identify takes one PLC"},
      {{"--all", "--model", "LM4", "--image", "x"},
       "--all searches for USB PLCs and LM4 is a serial model: probing every serial port"},
      {{"--list-ports", "-p", "a", "-p", "b"}, "a b"},
  };
  for (const auto& [args, expected] : cases) {
    std::vector<const char*> argv{"plcfw"};
    argv.insert(argv.end(), args.begin(), args.end());
    ConsoleOptions o;
    std::string got;
    if (ParseConsoleOptions(static_cast<int>(argv.size()), argv.data(), "VM500", &o, &got)) {
      got = o.all ? "all" : "";
      for (const std::string& port : o.ports) got += (got.empty() ? "" : " ") + port;
      EXPECT_TRUE(o.ports.empty() || o.port == o.ports.front());
      EXPECT_EQ(SeveralPlcs(o), o.all || o.ports.size() > 1);
    }
    EXPECT_EQ(got.substr(0, std::string(expected).size()), expected) << argv.back();
  }
}

TEST(TargetsOf, LabelsByTheUsbPortPartOrThePortNameAndNeverTwiceTheSame) {
  const std::vector<std::string> ports = {
      "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1.4:1.0",
      "/dev/serial/by-path/pci-0000:00:14.0-usbv2-0:2:1.0",
      "/dev/ttyACM0",
      "/dev/pts/3",
      "COM12",
      "/dev/serial/by-path/pci-0000:00:1d.0-usb-0:3:1.0",
      "/dev/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0",
      "/dev/serial/by-path/platform-serial8250",  // no USB port in it
  };
  const std::vector<std::string> labels = {"1.4",
                                           "2",
                                           "ttyACM0",
                                           "pts/3",
                                           "COM12",
                                           "serial/by-path/pci-0000:00:1d.0-usb-0:3:1.0",
                                           "serial/by-path/pci-0000:00:14.0-usb-0:3:1.0",
                                           "serial/by-path/platform-serial8250"};
  const std::vector<PlcTarget> targets = TargetsOf(ports);
  ASSERT_EQ(targets.size(), ports.size());
  for (size_t i = 0; i < ports.size(); ++i) {
    EXPECT_EQ(targets[i].port, ports[i]);
    EXPECT_EQ(targets[i].label, labels[i]) << ports[i];
  }
}

TEST(SummaryTable, OneRowPerPlcInColumnsAsWideAsTheirCells) {
  const std::string expected =
      "PLC       model  result   message                         seconds\n"
      "1.2       VM500  success  Firmware update is SUCCESSFUL!      7.6\n"
      "ttyACM10  VM500  failed   Firmware update is FAILED          12.0\n";
  const std::string got =
      SummaryTable({{"1.2", "VM500", "success", "Firmware update is SUCCESSFUL!", 7.6},
                    {"ttyACM10", "VM500", "failed", "Firmware update is FAILED", 12.04}});
  EXPECT_EQ(got, expected);
}

TEST(FormatProgressBlock, ALinePerPlcWithTheBarsLinedUpAndNoneWrapping) {
  const StatusSnapshot idle{3, kFlashIdle, 0, 0, 0};
  const StatusSnapshot programming{75, kFlashProgramming, 50, 1, 7, {}, 1000, 2000, 9000};
  const std::vector<PlcStatus> plcs = {{"1.2", "pts/3", idle}, {"ttyACM10", "pts/4", programming}};
  for (const int width : {0, 120, 60, 30, 12, 4}) {
    const std::vector<std::string> lines = FormatProgressBlock(plcs, width);
    ASSERT_EQ(lines.size(), 2u);
    // Labels first, padded to the widest; cut only where nothing else fits.
    const size_t room = width > 0 ? static_cast<size_t>(width - 1) : 99;
    EXPECT_EQ(lines[0].rfind(std::string("1.2      ").substr(0, room), 0), 0u) << width;
    EXPECT_EQ(lines[1].rfind(std::string("ttyACM10 ").substr(0, room), 0), 0u) << width;
    for (const std::string& line : lines)
      EXPECT_TRUE(width == 0 || line.size() < static_cast<size_t>(width)) << line;
  }
  // The label's columns come off the line: it takes a shorter layout
  // rather than losing its end.
  char alone[256];
  for (const int width : {0, 80}) {
    FormatProgressLine(programming, "pts/4", width > 0 ? width - 9 : 0, alone, sizeof alone);
    EXPECT_EQ(FormatProgressBlock(plcs, width)[1], std::string("ttyACM10 ") + alone);
  }
}

#ifndef _WIN32
// On a terminal the block is drawn in place: each redraw and each other
// line first goes back to the block's first line and clears to the end of
// the screen, so that no PLC's old line stays behind.
TEST(ConsoleOutput, RedrawsTheBlockOfSeveralPlcsInPlace) {
  StderrCapture capture(::testing::TempDir() + "block.txt");
  ASSERT_TRUE(capture.ok());
  ConsoleOutputInit(StderrKind::kTerminal);
  ConsoleSuspendProgress(false);
  ConsoleDrawProgressBlock({"a 1", "b 1", "c 1"});
  ConsoleDrawProgressBlock({"a 2", "b 2", "c 2"});
  ConsolePrintNote("note");
  EXPECT_TRUE(ConsoleOutputFinish(5000));
  const std::string back = "\r\033[2A\033[J\r\033[K";
  EXPECT_EQ(capture.Text(),
            "\ra 1\nb 1\nc 1\033[K" + back + "\ra 2\nb 2\nc 2\033[K" + back + "note\n");
}
#endif

// A fake PLC: a burn that waits (a bounded while) for the others to be under
// way too, and ends in the phase and percent it was given.
class FakeWorker : public PlcWorker {
 public:
  FakeWorker(std::string label, int32_t phase, std::atomic<int>& inside, std::atomic<int>& most)
      : target_{"/dev/" + label, std::move(label)}, phase_(phase), inside_(inside), most_(most) {}
  const PlcTarget& Target() const override { return target_; }
  std::string ProbeTarget() const override { return target_.label; }
  void Burn() override {
    ++burns_;
    const int now = ++inside_;
    for (int seen = most_; seen < now && !most_.compare_exchange_weak(seen, now);) {
    }
    for (int spins = 0; spins < 1000000 && most_ < 4; ++spins) std::this_thread::yield();
    status_ = phase_;
    --inside_;
  }
  StatusSnapshot Status() const override {
    return {0, status_, status_ == kFlashIdle ? 0 : 100, 0, 0};
  }
  PlcEnd End() const override { return {}; }
  int burns() const { return burns_; }

 private:
  PlcTarget target_;
  int32_t phase_;
  std::atomic<int>& inside_;
  std::atomic<int>& most_;
  std::atomic<int32_t> status_{kFlashIdle};
  std::atomic<int> burns_{0};
};

#ifndef _WIN32
TEST(RunWorkers, BurnsEveryPlcAtOnceAndEndsWithEachOnesLastLineLabelled) {
  StderrCapture capture(::testing::TempDir() + "workers.txt");
  ASSERT_TRUE(capture.ok());
  ConsoleOutputInit(StderrKind::kNotTerminal);
  std::atomic<int> inside{0};
  std::atomic<int> most{0};
  std::vector<std::unique_ptr<PlcWorker>> workers;
  for (const char* label : {"a", "b", "c", "d"}) {
    workers.push_back(std::make_unique<FakeWorker>(
        label, label[0] == 'c' ? kFlashErasing : kFlashProgramming, inside, most));
  }
  RunWorkers(workers);
  EXPECT_TRUE(ConsoleOutputFinish(5000));
  const std::string text = capture.Text();
  EXPECT_EQ(most, 4);
  for (const auto& worker : workers) {
    EXPECT_EQ(static_cast<FakeWorker&>(*worker).burns(), 1);
    const std::string label = worker->Target().label;
    const std::string last = label == "c" ? "100% Erasing" : "100% Programming";
    EXPECT_NE(text.find(label + ": "), std::string::npos) << text;
    EXPECT_NE(text.find(last, text.rfind(label + ": ")), std::string::npos) << text;
  }
}
#endif

TEST(PromptGate, AsksOnceForThoseWaitingWhenNoOtherIsStillOnItsWay) {
  std::atomic<int> asked{0};
  std::vector<int> askedFor;
  PromptGate gate(4, [&](const std::vector<int>& waiting) {
    ++asked;
    askedFor = waiting;
    return false;  // end of input: no PLC may go on
  });
  std::atomic<int> through{0};
  std::atomic<int> answeredYes{0};
  auto prompt = [&](int w) {
    if (gate.Wait(w)) ++answeredYes;
    ++through;
    gate.Done(w);
  };
  std::thread first(prompt, 0);
  std::thread second(prompt, 2);
  gate.Done(1);  // failed before its erase
  // Worker 3 has not come to its prompt: nobody is asked yet.
  for (int i = 0; i < 100 && through == 0; ++i) std::this_thread::yield();
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(through, 0);
  gate.Done(3);
  first.join();
  second.join();
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(askedFor, (std::vector<int>{0, 2}));
  EXPECT_EQ(answeredYes, 0) << "a PLC went on although nobody answered";
  // A worker that comes to a prompt again, with the others done: asked at once.
  PromptGate again(2, [&](const std::vector<int>& waiting) { return waiting.size() == 1; });
  again.Done(1);
  EXPECT_TRUE(again.Wait(0));
  EXPECT_TRUE(again.Wait(0));
}

}  // namespace

}  // namespace plc
