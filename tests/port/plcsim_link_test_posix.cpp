// Whole burns through the real POSIX link against plcsim on a pty.  plcsim
// only understands the speed the model listens at (9600 in application mode
// for serial models, 115200 after "UPDATE"), so a burn that gets through
// shows the line settings of each phase in force on the far side; the
// reconnect closes the link and opens the same pty again.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/burn.h"
#include "engine/models.h"
#include "engine/run_state.h"
#include "port/link_posix.h"

namespace {

#ifdef PLCSIM_PATH

struct Sim {
  pid_t pid = -1;
  std::string pty;
  std::string flashOut;
};

// Starts plcsim --once and reads the pty path from its first line.
bool StartSim(const std::vector<std::string>& args, Sim* sim) {
  int out[2];
  if (pipe(out) != 0) return false;
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) dup2(devNull, STDERR_FILENO);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(PLCSIM_PATH));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(PLCSIM_PATH, argv.data());
    _exit(127);
  }
  close(out[1]);
  sim->pid = pid;
  char c = 0;
  while (read(out[0], &c, 1) == 1 && c != '\n') sim->pty += c;
  close(out[0]);
  return !sim->pty.empty();
}

// plcsim --once ends by itself after the transfer; a stuck one is stopped.
int StopSim(Sim& sim) {
  int status = 0;
  for (int i = 0; i < 100; ++i) {
    if (waitpid(sim.pid, &status, WNOHANG) == sim.pid) return WEXITSTATUS(status);
    usleep(50 * 1000);
  }
  kill(sim.pid, SIGTERM);
  waitpid(sim.pid, &status, 0);
  return -1;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  int c = 0;
  while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
  (void)std::fclose(f);
  return bytes;
}

// The burn's host with the real port layer behind it.  Pauses are cut to a
// fifth of a second: enough for plcsim to see the link closed and opened
// again (it learns of opens from the file system, apart from the data).
class PtyHost : public Host {
 public:
  explicit PtyHost(std::string pty, std::vector<uint8_t> image)
      : pty_(std::move(pty)), image_(std::move(image)) {}
  void ShowMessage(const char* text, const char* caption, BoxIcon) override {
    messages.push_back(std::string(caption) + ": " + text);
  }
  void EnableStartButton(bool) override {}
  void KillElapsedTimer() override {}
  void PauseSeconds(int) override { usleep(200 * 1000); }
  LinkHandle OpenComLink(const char*) override {
    ++opens;
    return OpenComPort(pty_.c_str());
  }
  LinkHandle OpenUsbLink() override {
    ++opens;
    return OpenUsbPath(pty_.c_str());
  }
  FirmwareImage LoadFirmwareImage() override {
    return {image_.data(), static_cast<uint32_t>(image_.size())};
  }

  std::vector<std::string> messages;
  int opens = 0;

 private:
  std::string pty_;
  std::vector<uint8_t> image_;
};

struct BurnCase {
  const char* model;
  std::vector<std::string> simArgs;
  uint32_t imageSize;
  uint32_t kept;  // bytes at the end of the image the model does not receive
  int opens;      // 2: the reconnect closed and reopened the link
  const char* success;
};

TEST(PosixLinkAgainstPlcsim, BurnsThroughTheRealLinkAndReopensAfterTheReconnect) {
  const BurnCase cases[] = {
      {"KT4-W", {"--d1386", "4138"}, 3000, 0, 2, "INFORMATION: Firmware update is SUCCESSFUL"},
      {"LM4", {}, 5000, 0, 1, "INFORMATION: Firmware update is SUCCESSFUL"},
      {"VM500",
       {},
       64 * 1024,
       4096,
       2,
       "Information: Firmware update is SUCCESSFUL!, please REPLUG the USB cable"},
  };
  for (const BurnCase& c : cases) {
    SCOPED_TRACE(c.model);
    std::vector<uint8_t> image(c.imageSize);
    for (uint32_t i = 0; i < c.imageSize; ++i) image[i] = static_cast<uint8_t>(i * 7 + i / 256);
    Sim sim;
    sim.flashOut = ::testing::TempDir() + "plcsim_link_flash_" + c.model + ".bin";
    std::vector<std::string> args{"--model", c.model, "--once", "--flash-out", sim.flashOut};
    args.insert(args.end(), c.simArgs.begin(), c.simArgs.end());
    ASSERT_TRUE(StartSim(args, &sim));

    const int row = PlcIndexByName(c.model);
    SelectModel(row);
    SetSelectedComPort("pty");
    PtyHost host(sim.pty, image);
    EXPECT_EQ(StartBurn(host), 0);
    EXPECT_EQ(StopSim(sim), 0) << "plcsim did not receive a complete image";

    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back(), c.success);
    EXPECT_EQ(host.opens, c.opens);
    std::vector<uint8_t> received = ReadFile(sim.flashOut);
    std::vector<uint8_t> sent(image.begin(), image.end() - c.kept);
    ASSERT_GE(received.size(), sent.size());
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), received.begin()));
    (void)std::remove(sim.flashOut.c_str());
  }
}

#else

TEST(PosixLinkAgainstPlcsim, NeedsPlcsim) {
  GTEST_SKIP() << "plcsim is not built";
}

#endif

}  // namespace
