// The console front end's parts: the command line, the progress line, the
// trace format, the --image reader.
#include "ui/console/console.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/models.h"
#include "engine/run_state.h"

namespace {

struct ParseCase {
  std::vector<const char*> args;
  bool ok;
  const char* model;  // expected model when ok
  const char* port;   // expected port when ok ("" = none given)
  bool yes;
  bool trace;
  ConsoleAction action;
  const char* errorPart;  // part of the error when not ok
};

TEST(ParseConsoleOptions, AcceptsTheOptionsAndRefusesUsageErrors) {
  const std::vector<ParseCase> cases = {
      {{}, true, "VM500", "", false, false, ConsoleAction::kBurn, ""},
      {{"--yes", "--trace"}, true, "VM500", "", true, true, ConsoleAction::kBurn, ""},
      {{"--port", "/dev/pts/7", "--model", "LM4"},
       true,
       "LM4",
       "/dev/pts/7",
       false,
       false,
       ConsoleAction::kBurn,
       ""},
      {{"--port=ttyUSB0", "--model=KT4-W", "-y"},
       true,
       "KT4-W",
       "ttyUSB0",
       true,
       false,
       ConsoleAction::kBurn,
       ""},
      {{"--list-ports"}, true, "VM500", "", false, false, ConsoleAction::kListPorts, ""},
      {{"--list-models"}, true, "VM500", "", false, false, ConsoleAction::kListModels, ""},
      {{"--version"}, true, "VM500", "", false, false, ConsoleAction::kVersion, ""},
      {{"--help"}, true, "VM500", "", false, false, ConsoleAction::kHelp, ""},
      {{"--model", "vm500"},
       false,
       "",
       "",
       false,
       false,
       ConsoleAction::kBurn,
       "unknown model 'vm500'; the models are: KT4-RV4, LM4"},
      {{"--model", "LN-"}, false, "", "", false, false, ConsoleAction::kBurn, "RV5-AIO"},
      {{"--model"}, false, "", "", false, false, ConsoleAction::kBurn, "--model needs"},
      {{"--port"}, false, "", "", false, false, ConsoleAction::kBurn, "--port needs"},
      {{"--port="}, false, "", "", false, false, ConsoleAction::kBurn, "--port needs"},
      {{"--image"}, false, "", "", false, false, ConsoleAction::kBurn, "--image needs"},
      {{"--bogus"}, false, "", "", false, false, ConsoleAction::kBurn, "unknown option --bogus"},
      {{"--portx", "a"}, false, "", "", false, false, ConsoleAction::kBurn, "unknown option"},
      {{"ttyUSB0"}, false, "", "", false, false, ConsoleAction::kBurn, "unexpected argument"},
  };
  for (const ParseCase& c : cases) {
    std::vector<const char*> argv{"plcfw"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    std::string joined;
    for (const char* a : argv) joined += std::string(a) + " ";
    SCOPED_TRACE(joined);
    ConsoleOptions o;
    std::string error;
    bool ok = ParseConsoleOptions(static_cast<int>(argv.size()), argv.data(), "VM500", &o, &error);
    ASSERT_EQ(ok, c.ok) << error;
    if (!ok) {
      EXPECT_NE(error.find(c.errorPart), std::string::npos) << error;
      continue;
    }
    EXPECT_STREQ(PlcName(o.model), c.model);
    EXPECT_EQ(o.portGiven, c.port[0] != '\0');
    EXPECT_EQ(o.port, c.port);
    EXPECT_EQ(o.yes, c.yes);
    EXPECT_EQ(o.trace, c.trace);
    EXPECT_EQ(o.action, c.action);
  }
}

TEST(ParseConsoleOptions, AnImageForNoKnownModelNeedsModel) {
  const char* argv[] = {"plcfw"};
  ConsoleOptions o;
  std::string error;
  EXPECT_FALSE(ParseConsoleOptions(1, argv, "FOO", &o, &error));
  EXPECT_NE(error.find("--model"), std::string::npos);
  const char* withModel[] = {"plcfw", "--model", "LQ"};
  EXPECT_TRUE(ParseConsoleOptions(3, withModel, "FOO", &o, &error));
  EXPECT_STREQ(PlcName(o.model), "LQ");
}

TEST(ModelNameList, NamesAllModels) {
  std::string list = ModelNameList();
  for (int row = 0; row < kPlcCount; ++row) {
    EXPECT_NE(list.find(PlcName(row)), std::string::npos) << PlcName(row);
  }
  EXPECT_EQ(std::count(list.begin(), list.end(), ','), kPlcCount - 1);
}

TEST(FormatProgressLine, ShowsThePanelInOneLine) {
  struct Case {
    StatusSnapshot s;
    const char* expected;
  };
  const Case cases[] = {
      {{0, kFlashIdle, 0, 0, 0},
       "   0 s [....................]   0% Idle        Error/Total Error: 0/0"},
      {{12, kFlashErasing, 5, 1, 3},
       "  12 s [#...................]   5% Erasing     Error/Total Error: 1/3"},
      {{75, kFlashProgramming, 50, 0, 7},
       "  75 s [##########..........]  50% Programming Error/Total Error: 0/7"},
      {{1234, kFlashProgramming, 100, 0, 0},
       "1234 s [####################] 100% Programming Error/Total Error: 0/0"},
      {{3, 9, 250, 0, 0}, "   3 s [####################] 100%             Error/Total Error: 0/0"},
      {{3, kFlashErasing, -4, 0, 0},
       "   3 s [....................]   0% Erasing     Error/Total Error: 0/0"},
  };
  for (const Case& c : cases) {
    char line[160];
    FormatProgressLine(c.s, line, sizeof line);
    EXPECT_STREQ(line, c.expected);
  }
}

TEST(ProgressLineDue, OneLinePerPhaseChangeAndPerTenPercent) {
  // Samples as the 100 ms tick sees them, and whether each prints a line.
  struct Sample {
    int32_t status;
    int32_t progress;
    bool due;
  };
  const Sample run[] = {
      {kFlashIdle, 0, false},         {kFlashIdle, 0, false},        {kFlashErasing, 0, true},
      {kFlashErasing, 4, false},      {kFlashErasing, 10, true},     {kFlashErasing, 19, false},
      {kFlashErasing, 45, true},      {kFlashErasing, 100, true},    {kFlashProgramming, 0, true},
      {kFlashProgramming, 9, false},  {kFlashProgramming, 10, true}, {kFlashProgramming, 10, false},
      {kFlashProgramming, 100, true}, {kFlashIdle, 0, true},         {kFlashIdle, 0, false},
  };
  ProgressLog log;
  int i = 0;
  for (const Sample& s : run) {
    SCOPED_TRACE(i++);
    EXPECT_EQ(ProgressLineDue(log, {0, s.status, s.progress, 0, 0}), s.due);
  }
}

TEST(HexAndText, ShowsBytesInHexAndPrintableText) {
  const uint8_t frame[] = {':', '0', '1', '6', '4', '\r', '\n', 0x06, 0xFF};
  EXPECT_EQ(HexAndText(frame, sizeof frame), "3A 30 31 36 34 0D 0A 06 FF  |:0164....|");
  EXPECT_EQ(HexAndText(frame, 0), "  ||");
}

class ImageFile : public ::testing::Test {
 protected:
  void Write(size_t size) {
    FILE* f = std::fopen(path_.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    for (size_t i = 0; i < size; ++i) (void)std::fputc(static_cast<int>(i & 0xFF), f);
    (void)std::fclose(f);
  }
  void TearDown() override { (void)std::remove(path_.c_str()); }
  std::string path_ = ::testing::TempDir() + "plcfw_image_test.bin";
};

TEST_F(ImageFile, IsReadWholeUpToOnePastTheLimit) {
  struct Case {
    size_t size;
    uint32_t limit;
    bool ok;
    size_t read;
  };
  const Case cases[] = {
      {100, 1000, true, 100},     {1000, 1000, true, 1000}, {1001, 1000, true, 1001},
      {200000, 1000, true, 1001}, {0, 1000, false, 0},      {70000, 0x78800, true, 70000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    Write(c.size);
    std::vector<uint8_t> bytes;
    EXPECT_EQ(ReadImageFile(path_.c_str(), c.limit, &bytes), c.ok);
    EXPECT_EQ(bytes.size(), c.read);
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] != (i & 0xFF)) {
        ADD_FAILURE() << "byte " << i;
        break;
      }
    }
  }
  std::vector<uint8_t> bytes;
  EXPECT_FALSE(ReadImageFile((path_ + ".missing").c_str(), 1000, &bytes));
}

}  // namespace
