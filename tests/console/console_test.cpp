// The console front end's parts: the command line, the progress line, the
// --image reader.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "ui/console/console_host.h"
#include "ui/console/identify_command.h"
#include "ui/console/list_command.h"
#include "ui/console/options.h"
#include "ui/console/output.h"
#include "ui/console/progress.h"
#include "ui/console/record.h"
#include "ui/console/terminal.h"
#include "ui/console/trace_link.h"
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "state/models.h"
#include "state/run.h"
#include "support/stderr_capture.h"
#include "ui/console/record_file.h"

namespace plc {

namespace {

TEST(ParseConsoleOptions, AcceptsTheOptionsAndRefusesUsageErrors) {
  // Arguments, the image's model, then the model, port, --yes, --trace and
  // an action other than the burn (1 identify, 2 help, 3 version) taken, or
  // the error's start (the process test has the other usage errors).
  const std::tuple<std::vector<const char*>, const char*, const char*> cases[] = {
      // clang-format off
      {{}, "VM500", "VM500 - no no"},
      {{"--port", "/dev/pts/7", "--model", "LM4", "--image", "lm4.bin", "--trace"}, "VM500", "LM4 /dev/pts/7 no yes"},
      {{"--port=ttyUSB0", "--model=kt4-w", "--image=x", "-y"}, "VM500", "KT4-W ttyUSB0 yes no"},
      {{"-p", "COM3", "-m", "LM4", "-i", "x"}, "VM500", "LM4 COM3 no no"},
      {{"--model", "LQ"}, "FOO", "LQ - no no"},
      {{}, "FOO", "the built-in image names no known model ('FOO')"},
      {{"--port="}, "VM500", "--port needs"},
      {{"--prot", "a"}, "VM500", "unknown option --prot; did you mean --port?"},
      {{"--model", "lm5"}, "VM500", "unknown model 'lm5'; did you mean LM4? The models are: KT4-RV4"},
      // Only the image's own model without --image; identify writes nothing.
      {{"--model", "LM4"}, "VM500", "--model LM4 needs --image: the built-in image is for VM500"},
      {{"--identify", "-m", "LM4"}, "VM500", "LM4 - no no 1"},
      {{"-V"}, "VM500", "VM500 - no no 3"},
      {{"--help", "--version", "--identify"}, "VM500", " - no no 2"},  // help wins
      {{"--version", "--identify"}, "VM500", "--identify and --version cannot go together"},
      {{"--list-ports", "--list-messages"}, "VM500", "--list-ports and --list-messages cannot"},
      // clang-format on
  };
  for (const auto& [args, imageModel, expected] : cases) {
    std::vector<const char*> argv{"plcfw"};
    argv.insert(argv.end(), args.begin(), args.end());
    ConsoleOptions o;
    std::string got;
    if (ParseConsoleOptions(static_cast<int>(argv.size()), argv.data(), imageModel, &o, &got)) {
      got = std::string(PlcName(o.model)) + " " + (o.portGiven ? o.port : "-") +
            (o.yes ? " yes" : " no") + (o.trace ? " yes" : " no");
      if (o.action != ConsoleAction::kBurn) got += " " + std::to_string(static_cast<int>(o.action));
    }
    EXPECT_EQ(got.substr(0, std::string(expected).size()), expected) << argv.back();
  }
}

TEST(FormatProgressLine, ShowsThePanelInOneLineThatFitsTheTerminal) {
  // Programming: 1,036,288 of 2,072,576 bytes in 90 s; the probe's second try; the pause.
  const StatusSnapshot programming{75, kFlashProgramming, 50, 0, 7, {}, 1036288, 2072576, 90000};
  const StatusSnapshot probing{3, kFlashIdle, 0, 0, 1, {kActivityProbing, 2}};
  // Snapshot, width (0: no terminal), line.
  const std::tuple<StatusSnapshot, int, const char*> cases[] = {
      // clang-format off
      {{0, kFlashIdle, 0, 0, 0}, 0, "   0 s [....................]   0% Idle        Error/Total Error: 0/0"},
      {{1234, kFlashErasing, 5, 1, 3}, 0, "1234 s [#...................]   5% Erasing     Error/Total Error: 1/3"},
      {{3, 9, 250, 0, 0}, 0, "   3 s [####################] 100%             Error/Total Error: 0/0"},
      {{3, kFlashErasing, -4, 0, 0}, 0, "   3 s [....................]   0% Erasing     Error/Total Error: 0/0"},
      {programming, 0, "  75 s [##########..........]  50% Programming 1.04/2.07 MB 11.5 kB/s 1:30 left "
                       "Error/Total Error: 0/7"},
      {programming, 80, "  75 s [######......]  50% Programming 1.04/2.07 MB 11.5 kB/s 1:30 left Err 0/7"},
      {programming, 50, "  75 s 1.04/2.07 MB 11.5 kB/s 1:30 left Err 0/7"},
      {{9, kFlashProgramming, 20, 0, 0, {}, 1024, 5000, 999}, 0,
       "   9 s [####................]  20% Programming 1024/5000 B Error/Total Error: 0/0"},
      {{9, kFlashProgramming, 20, 0, 0, {}, 1024, 5000, 2000}, 0,
       "   9 s [####................]  20% Programming 1024/5000 B 512 B/s 0:08 left Error/Total Error: 0/0"},
      {{1234, kFlashErasing, 55, 1, 3}, 50, "1234 s [########.......]  55% Erasing     Err 1/3"},
      {{1234, kFlashErasing, 55, 1, 3}, 200, "1234 s [###########.........]  55% Erasing     Error/Total Error: 1/3"},
      {probing, 0, "   3 s [....................]   0% Idle        probing ttyS0 at 9600 7E1, try 2 "
                   "Error/Total Error: 0/1"},
      {probing, 50, "   3 s probing ttyS0 at 9600 7E1, try 2 Err 0/1"},
      {probing, 30, "   3 s   0% Idle        Err 0"},
      {{9, kFlashIdle, 0, 0, 0, {kActivityWaiting, 5}}, 0,
       "   9 s [....................]   0% Idle        waiting 5 s for the PLC to come back Error/Total Error: 0/0"},
      // clang-format on
  };
  for (const auto& [snapshot, width, expected] : cases) {
    char line[160];
    FormatProgressLine(snapshot, "ttyS0 at 9600 7E1", width, line, sizeof line);
    EXPECT_STREQ(line, expected) << width;
    EXPECT_TRUE(width == 0 || std::strlen(line) < static_cast<size_t>(width)) << line;  // no wrap
  }
}

TEST(ProgressLineDue, OneLinePerPhaseChangePerTenPercentAndPerNamedWait) {
  // Changes as the burn makes them: status, progress, the probe's try (0: none), whether a
  // line is due.
  const std::tuple<int32_t, int32_t, int32_t, bool> run[] = {
      {kFlashIdle, 0, 1, true},          {kFlashIdle, 0, 2, true},
      {kFlashIdle, 0, 0, false},         {kFlashIdle, 0, 0, false},
      {kFlashErasing, 0, 0, true},       {kFlashErasing, 4, 0, false},
      {kFlashErasing, 10, 0, true},      {kFlashErasing, 19, 0, false},
      {kFlashErasing, 45, 0, true},      {kFlashProgramming, 0, 0, true},
      {kFlashProgramming, 9, 0, false},  {kFlashProgramming, 10, 0, true},
      {kFlashProgramming, 10, 0, false}, {kFlashIdle, 0, 0, true},
      {kFlashIdle, 0, 0, false},
  };
  ProgressLog log;
  int i = 0;
  for (const auto& [status, progress, probeTry, due] : run) {
    const Activity activity{probeTry > 0 ? kActivityProbing : kActivityNone, probeTry};
    EXPECT_EQ(ProgressLineDue(log, {0, status, progress, 0, 0, activity}), due) << i++;
  }
}

TEST(ReadImageFile, ReadsTheWholeFileUpToOnePastTheLimitOrSaysWhyNot) {
  const std::string path = ::testing::TempDir() + "plcfw_image_test.bin";
  // File size, then the bytes read (0: refused).
  for (const auto& [size, read] : {std::pair{100, 100}, {1000, 1000}, {200000, 1001}, {0, 0}}) {
    std::string bytes;
    for (int i = 0; i < size; ++i) bytes += static_cast<char>(i);
    ASSERT_TRUE(std::ofstream(path, std::ios::binary) << bytes);
    std::vector<uint8_t> got;
    std::string why;
    EXPECT_EQ(ReadImageFile(path.c_str(), 1000, &got, &why), read > 0);
    EXPECT_EQ(std::string(got.begin(), got.end()), bytes.substr(0, read)) << size;
  }
  (void)std::remove(path.c_str());
  // What cannot be read, and why in the system's words.
  for (const auto& [name, reason] :
       {std::pair{path, "No such file or directory"}, {::testing::TempDir(), "Is a directory"}}) {
    std::vector<uint8_t> got;
    std::string why;
    EXPECT_FALSE(ReadImageFile(name.c_str(), 1000, &got, &why));
    EXPECT_EQ(why, reason) << name;
  }
}

// Files a build writes for other tools are refused; a raw image that
// happens to start like one is not.
TEST(NotARawImage, TellsHexSRecordAndElfFromRawImages) {
  const std::pair<std::string, const char*> cases[] = {
      {":10000000000102030405060708090A0B0C0D0E0F78\r\n:00000001FF\r\n", "an Intel HEX file"},
      {":00000001FF\n\n", "an Intel HEX file"},
      {"S00600004844521B\nS9030000FC\n", "an S-record file"},
      {std::string("\x7F"
                   "ELF\x02\x01\x01",
                   7),
       "an ELF file"},
      {":00000001FF\n\x01\x02", nullptr},
      {":0000000XFF\n", nullptr},
      {"S00600004844521B\n:00000001FF\n", nullptr},
      {std::string("\x7F"
                   "EL",
                   3),
       nullptr},
      {"", nullptr},
  };
  for (const auto& [text, what] : cases) {
    const ImageKind* kind = NotARawImage(std::vector<uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(kind != nullptr ? std::string(kind->what) : "raw", what != nullptr ? what : "raw")
        << text;
  }
}

#ifndef _WIN32
// A console that shows escape sequences as text gets the progress line
// cleared with spaces.
TEST(ConsoleOutput, ClearsTheProgressLineWithSpacesWhereEscapesShowAsText) {
  StderrCapture capture(::testing::TempDir() + "stderr.txt");
  ASSERT_TRUE(capture.ok());
  ConsoleOutputInit(StderrKind::kTerminalWithoutEscapes);
  plc::Run run;
  ConsoleStartProgress("", run);
  ConsoleProgressTick();
  ConsolePrintNote("note");
  EXPECT_TRUE(ConsoleOutputFinish(5000));
  const std::string text = capture.Text();
  char line[160];
  const int width = StderrColumns();  // a file: COLUMNS, or none
  FormatProgressLine(TakeStatusSnapshot(run), "", width > 0 ? width : 80, line, sizeof line);
  EXPECT_EQ(text,
            "\r" + std::string(line) + "\r" + std::string(std::strlen(line), ' ') + "\rnote\n");
}

// Standard error to a file: a trace far longer than the queue, written while
// the file is held up, keeps every line, each after its milliseconds.
TEST(ConsoleOutput, ATraceToAFileKeepsEveryLineWithItsTime) {
  StderrCapture capture(::testing::TempDir() + "trace.txt");
  ASSERT_TRUE(capture.ok());
  ConsoleOutputInit(StderrKind::kNotTerminal, true);
  constexpr int kLines = 3000;  // about 200 KB
  const std::string tail(48, 'x');
  std::atomic<bool> done{false};
  flockfile(stderr);  // the writer stalls at its first line
  std::thread burn([&] {
    for (int i = 0; i < kLines; ++i) ConsolePrintTrace(("> " + std::to_string(i) + tail).c_str());
    done = true;
  });
  // A queue that drops gets through every line meanwhile; one that waits cannot.
  for (int i = 0; i < 200000 && !done; ++i) std::this_thread::yield();
  funlockfile(stderr);
  burn.join();
  EXPECT_TRUE(ConsoleOutputFinish(5000));
  std::istringstream in(capture.Text());
  int n = 0;
  for (std::string got; std::getline(in, got); ++n) {
    const size_t ms = got.find(" ms > ");
    ASSERT_TRUE(ms != std::string::npos && ms >= 6 &&
                got.find_first_not_of(" 0123456789") == ms + 1)
        << got;
    ASSERT_EQ(got.substr(ms + 4), "> " + std::to_string(n) + tail);
  }
  EXPECT_EQ(n, kLines);
}

// A full disk (here the file size limit) cuts one record short, not the
// next one, which starts on a line of its own.  A pipe takes a record
// without a flush to a disk.
TEST(AppendRecord, AFullDiskCutsOneRecordAndAPipeTakesOne) {
  const std::string path = ::testing::TempDir() + "records.jsonl";
  (void)std::remove(path.c_str());
  RecordFile file = RecordFile::Open(path.c_str());
  ASSERT_TRUE(file.IsOpen());
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit full = old;
  full.rlim_cur = 10;
  const auto oldSignal = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
  EXPECT_FALSE(file.Append("{\"cut\":true}\n", 13));
  (void)setrlimit(RLIMIT_FSIZE, &old);
  (void)signal(SIGXFSZ, oldSignal);
  EXPECT_TRUE(file.Append("{}\n", 3));
  file.Close();
  std::ifstream in(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "{\"cut\":tru\n{}\n");
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  RecordFile piped = RecordFile::Adopt(ends[1]);
  EXPECT_TRUE(piped.Append("{}\n", 3));
  piped.Close();
  close(ends[0]);
}

#endif

}  // namespace

}  // namespace plc
