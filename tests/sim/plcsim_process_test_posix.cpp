// plcsim as a process: started, its pty slave opened with plain termios, a
// few exchanges spoken.  No test waits for a time-out: a request the PLC must
// ignore is confirmed through the program's diagnostics, or told apart by
// what a following, good request gets.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim_test_util.h"

namespace {

constexpr int kWaitMs = 5000;  // only reached when something is broken

class PlcSimProcess {
 public:
  explicit PlcSimProcess(std::vector<std::string> args) {
    int out[2];
    int err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      dup2(err[1], 2);
      close(out[0]);
      close(out[1]);
      close(err[0]);
      close(err[1]);
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(PLCSIM_PATH));
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(PLCSIM_PATH, argv.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    stdout_ = out[0];
    stderr_ = err[0];
    // The first line is the slave's path.
    char c = 0;
    pollfd p{stdout_, POLLIN, 0};
    while (poll(&p, 1, kWaitMs) == 1 && read(stdout_, &c, 1) == 1 && c != '\n') path_ += c;
  }
  ~PlcSimProcess() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) close(stdout_);
    if (stderr_ >= 0) close(stderr_);
  }
  // Waits for a line of the program's diagnostics that contains text.
  bool WaitForDiagnostic(const std::string& text) {
    pollfd p{stderr_, POLLIN, 0};
    char c = 0;
    while (poll(&p, 1, kWaitMs) == 1 && read(stderr_, &c, 1) == 1) {
      diagnostics_ += c;
      if (diagnostics_.find(text) != std::string::npos) {
        diagnostics_.clear();
        return true;
      }
    }
    return false;
  }
  const std::string& Path() const { return path_; }
  // Exit status, or -1 when it did not end in time.
  int Wait() {
    for (int i = 0; i < kWaitMs / 10; ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      poll(nullptr, 0, 10);
    }
    return -1;
  }
  void Signal(int sig) { kill(pid_, sig); }

 private:
  pid_t pid_ = -1;
  int stdout_ = -1;
  int stderr_ = -1;
  std::string diagnostics_;
  bool reaped_ = false;
  std::string path_;
};

// The tool's end of the line, as plain termios.
class Port {
 public:
  explicit Port(const std::string& path) { fd_ = open(path.c_str(), O_RDWR | O_NOCTTY); }
  ~Port() { Close(); }
  bool IsOpen() const { return fd_ >= 0; }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  void Speed(speed_t speed) {
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    tcsetattr(fd_, TCSANOW, &tio);
  }
  void Send(const std::string& bytes) {
    ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  std::string Receive(size_t count) {
    std::string got;
    char buf[512];
    pollfd p{fd_, POLLIN, 0};
    while (got.size() < count && poll(&p, 1, kWaitMs) == 1) {
      const ssize_t n = read(fd_, buf, std::min(sizeof buf, count - got.size()));
      if (n <= 0) break;
      got.append(buf, static_cast<size_t>(n));
    }
    return got;
  }

 private:
  int fd_ = -1;
};

std::string Reply64(uint8_t sub, uint8_t status, uint8_t b5 = 0, uint8_t b6 = 0) {
  return ModbusRequest({0x00, 0x64, 0x01, sub, status, b5, b6});
}

TEST(PlcSimProcess, AnswersProbeAndIdAtTheModbusSpeedOnly) {
  PlcSimProcess sim({"--model", "KT4-RV4", "--verbose"});
  ASSERT_EQ(sim.Path().rfind("/dev/", 0), 0u) << sim.Path();
  Port port(sim.Path());
  ASSERT_TRUE(port.IsOpen());
  port.Speed(B9600);
  port.Send(kProbe);
  EXPECT_EQ(port.Receive(19), Reply64(0x59, 0x05));
  // At 19200 the probe is noise: the next answer is the ID's, at 9600 again.
  port.Speed(B19200);
  port.Send(kProbe);
  ASSERT_TRUE(sim.WaitForDiagnostic("15 bytes at 19200 baud ignored (listening at 9600)"));
  port.Speed(B9600);
  port.Send(kIdRequest);
  EXPECT_EQ(port.Receive(19), Reply64(0x59, 0x06, 0x00, 0x0C));
  sim.Signal(SIGTERM);
  EXPECT_EQ(sim.Wait(), 0);
}

TEST(PlcSimProcess, ReplugBringsUpTheBootloaderAndKeepsState) {
  PlcSimProcess sim({"--model", "VM500", "--id", "3010"});
  {
    Port port(sim.Path());
    port.Speed(B38400);  // a USB model does not care
    port.Send(kEraseRequest);
    EXPECT_EQ(port.Receive(19), Reply64(0x59, 0x06));
    port.Send(kEraseConfirm);
    port.Send(kProbe);
    EXPECT_EQ(port.Receive(19), Reply64(0x59, 0x05)) << "not before the replug";
  }
  Port port(sim.Path());
  port.Send(kProbe);
  EXPECT_EQ(port.Receive(19), Reply64(0x59, 0x06));
  port.Send("ID");
  EXPECT_EQ(port.Receive(3), Bin({0x06, 0x30, 0x10}));
}

TEST(PlcSimProcess, OnceEndsWithTheTransferAndWritesTheImage) {
  std::string dirName = ::testing::TempDir() + "plcsim-test-XXXXXX";
  char* dir = mkdtemp(dirName.data());
  ASSERT_NE(dir, nullptr);
  const std::string flash = std::string(dir) + "/flash.bin";
  PlcSimProcess sim({"--model", "LM4", "--boot", "--once", "--flash-out", flash, "--verbose"});
  Port port(sim.Path());
  port.Speed(B9600);
  port.Send("UPDATE");
  EXPECT_EQ(port.Receive(1), Bin({0x06}));
  std::vector<uint8_t> block1(128), block2(128);
  for (int i = 0; i < 128; ++i) {
    block1[i] = static_cast<uint8_t>(i);
    block2[i] = static_cast<uint8_t>(255 - i);
  }
  // Block 1 at the old speed is noise: block 2 is then out of sequence.
  port.Send(BlockFrame(1, block1));
  ASSERT_TRUE(sim.WaitForDiagnostic("133 bytes at 9600 baud ignored (listening at 115200)"));
  port.Speed(B115200);
  port.Send(BlockFrame(2, block2));
  EXPECT_EQ(port.Receive(1), Bin({0x15}));
  port.Send(BlockFrame(1, block1));
  EXPECT_EQ(port.Receive(1), Bin({0x06}));
  port.Send(BlockFrame(2, block2));
  EXPECT_EQ(port.Receive(1), Bin({0x06}));
  port.Send(Bin({0x04}));
  EXPECT_EQ(port.Receive(1), Bin({0x06}));
  port.Close();
  EXPECT_EQ(sim.Wait(), 0);
  std::ifstream in(flash, std::ios::binary);
  const std::vector<uint8_t> got((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
  std::vector<uint8_t> want = block1;
  want.insert(want.end(), block2.begin(), block2.end());
  EXPECT_EQ(got, want);
  (void)std::remove(flash.c_str());
  rmdir(dir);
}

TEST(PlcSimProcess, OnceFailsWhenTheToolGivesUpOnTheTransfer) {
  PlcSimProcess sim({"--model", "VM400", "--boot", "--once"});
  {
    Port port(sim.Path());
    port.Send("UPDATE");
    EXPECT_EQ(port.Receive(1), Bin({0x06}));
  }
  EXPECT_EQ(sim.Wait(), 1);
}

TEST(PlcSimProcess, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--model", "VM5000"},
      {"--model", "VM500", "--fault", "silent:nothing"},
      {"--model", "VM500", "--id", "12345"},
      {"--model", "VM500", "--bogus"},
  };
  for (const auto& args : cases) {
    PlcSimProcess sim(args);
    EXPECT_EQ(sim.Path(), "");
    EXPECT_EQ(sim.Wait(), 2) << (args.empty() ? "" : args.back());
  }
}

}  // namespace
