// plcsim as a process, its pty opened with plain termios.  Traffic that must
// be ignored is confirmed through the diagnostics, never by a time-out.
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

#include "sim_test_util.h"

namespace {

// Up to count bytes, or a line when count is 0; gives up after 5 s of silence.
std::string ReadFrom(int fd, size_t count) {
  std::string got;
  pollfd p{fd, POLLIN, 0};
  char c = 0;
  while ((count == 0 ? got.empty() || got.back() != '\n' : got.size() < count) &&
         poll(&p, 1, 5000) == 1 && read(fd, &c, 1) == 1)
    got += c;
  return got;
}

// Its diagnostics joined to its output, after the pid (the shell's, plcsim
// execs in its place) and plcsim's first line, the pty's path.
struct PlcSimProcess {
  explicit PlcSimProcess(const std::string& args)
      : out(popen(("echo $$; exec '" PLCSIM_PATH "' " + args + " 2>&1").c_str(), "r")),
        pid(std::atoi(ReadFrom(fileno(out), 0).c_str())),
        path(ReadFrom(fileno(out), 0)) {
    if (!path.empty()) path.pop_back();
  }
  ~PlcSimProcess() {
    if (pid > 0) kill(pid, SIGKILL);
    pclose(out);
  }
  bool WaitForDiagnostic(const std::string& text) {
    for (std::string line; !(line = ReadFrom(fileno(out), 0)).empty();)
      if (line.find(text) != std::string::npos) return true;
    return false;
  }
  int Wait() {  // the exit status; -1 when it has not ended within 5 s
    int status = 0;
    for (int i = 0; i < 500 && pid > 0; ++i, usleep(10000))
      if (waitpid(pid, &status, WNOHANG) == pid) pid = -1;
    return pid < 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  FILE* out;
  pid_t pid;
  std::string path;
};

// Sends at the given speed, as the tool's end of the line.
void Send(int fd, speed_t speed, const std::string& bytes) {
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  cfsetspeed(&t, speed);
  tcsetattr(fd, TCSADRAIN, &t);
  ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

TEST(PlcSimProcess, OnceEndsWithTheTransferAndWritesTheFlashFile) {
  const std::string flash = ::testing::TempDir() + "plcsim_process_flash.bin";
  PlcSimProcess sim("--model LM4 --boot --once --verbose --flash-out '" + flash + "'");
  ASSERT_EQ(sim.path.rfind("/dev/", 0), 0u) << sim.path;
  const int port = open(sim.path.c_str(), O_RDWR | O_NOCTTY);
  Send(port, B9600, "UPDATE");
  EXPECT_EQ(ReadFrom(port, 1), Bin({0x06}));
  const std::string block1 = BlockFrame(1, std::vector<uint8_t>(128, 0x11));
  const std::string block2 = BlockFrame(2, std::vector<uint8_t>(128, 0x22));
  // Block 1 at the old speed is noise: block 2 is then out of sequence.
  Send(port, B9600, block1);
  ASSERT_TRUE(sim.WaitForDiagnostic("133 bytes at 9600 baud ignored (listening at 115200)"));
  for (const auto& [frame, reply] :
       {std::pair{block2, 0x15}, {block1, 0x06}, {block2, 0x06}, {Bin({0x04}), 0x06}}) {
    Send(port, B115200, frame);
    EXPECT_EQ(ReadFrom(port, 1), Bin({reply}));
  }
  close(port);
  EXPECT_EQ(sim.Wait(), 0);
  std::ifstream flashed(flash, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(flashed), {}),
            std::string(128, 0x11) + std::string(128, 0x22));
  (void)std::remove(flash.c_str());
}

// The stop signals are let through only inside its wait, whatever mask it
// was started with: an idle simulator ends on SIGTERM at once.
TEST(PlcSimProcess, AnIdleSimulatorEndsOnSigtermAlthoughStartedWithItBlocked) {
  sigset_t term;
  sigset_t old;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &term, &old);
  PlcSimProcess sim("--model LM4");
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  ASSERT_GT(sim.pid, 0);
  kill(sim.pid, SIGTERM);
  EXPECT_EQ(sim.Wait(), 0);
}

TEST(PlcSimProcess, UsageErrorsExitWithTwo) {
  for (const char* args : {"", "--model VM5000", "--model VM500 --fault silent:nothing",
                           "--model VM500 --id 12345", "--model VM500 --bogus"}) {
    EXPECT_EQ(PlcSimProcess(args).Wait(), 2) << args;
  }
}

}  // namespace
