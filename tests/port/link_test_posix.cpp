// The POSIX link against a pseudo-terminal pair that the test holds: the far
// side is the master, and the test keeps a slave descriptor of its own (as
// the simulator does) to look at the line settings the link applied.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "port/link_posix.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class Pty : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(grantpt(master_), 0);
    ASSERT_EQ(unlockpt(master_), 0);
    slavePath_ = ptsname(master_);
    slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave_, 0);
  }
  void TearDown() override {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
  }

  void FarSideSends(const std::string& text) {
    ASSERT_EQ(write(master_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  std::string FarSideReceives(size_t count) {
    std::string got;
    auto start = Clock::now();
    while (got.size() < count && MsSince(start) < 2000) {
      char buf[256];
      ssize_t n = read(master_, buf, std::min(sizeof buf, count - got.size()));
      if (n > 0) got.append(buf, static_cast<size_t>(n));
    }
    return got;
  }
  termios FarSideTermios() {
    termios t{};
    EXPECT_EQ(tcgetattr(slave_, &t), 0);
    return t;
  }

  bool TtyExclusive() {
    int exclusive = 0;
    EXPECT_EQ(ioctl(slave_, TIOCGEXCL, &exclusive), 0);
    return exclusive != 0;
  }

  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

TEST_F(Pty, LineSettingsOfEachPhaseAreInForceOnTheFarSide) {
  LinkHandle link = OpenComPort(slavePath_.c_str());
  ASSERT_NE(link, kNoLink);
  termios opened = FarSideTermios();
  EXPECT_EQ(opened.c_lflag & (ICANON | ECHO | ISIG), 0u) << "raw mode at open";
  EXPECT_EQ(opened.c_oflag & OPOST, 0u);

  struct Phase {
    const char* what;
    void (*apply)(LinkHandle);
    speed_t speed;
  };
  const Phase phases[] = {
      {"probe of the first pass", SetModbusLineSettings, B9600},
      {"after the update request", SetTransferLineSettings, B115200},
      {"probe of the next run on the same port", SetModbusLineSettings, B9600},
      {"the same 7E1 request again (the pty refuses it)", SetModbusLineSettings, B9600},
      {"transfer again", SetTransferLineSettings, B115200},
  };
  for (const Phase& p : phases) {
    SCOPED_TRACE(p.what);
    p.apply(link);
    termios t = FarSideTermios();
    EXPECT_EQ(cfgetospeed(&t), p.speed);
    EXPECT_EQ(cfgetispeed(&t), p.speed);
    // The line still carries bytes both ways after every change.
    const uint8_t hello[] = {':', '0', '1', '\r', '\n'};
    EXPECT_EQ(LinkWrite(link, hello, sizeof hello), sizeof hello);
    EXPECT_EQ(FarSideReceives(sizeof hello), std::string(":01\r\n"));
  }
  CloseLink(link);
  EXPECT_EQ(link, kNoLink);
}

TEST(LineTermios, ChangesOnlySpeedSizeParityAndStopBits) {
  termios plain{};
  cfmakeraw(&plain);
  plain.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&plain, B38400);
  cfsetospeed(&plain, B38400);
  // A port the user had set up with flow control, parity checking and two
  // stop bits, odd parity, 5 bits.
  termios busy = plain;
  busy.c_iflag |= IXON | IXOFF | INPCK;
  busy.c_cflag |= CRTSCTS | HUPCL | CSTOPB | PARENB | PARODD;
  busy.c_cflag = (busy.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS5;
  busy.c_cc[VSTART] = 0x11;

  struct Case {
    const char* what;
    termios from;
    LineSettings settings;
    tcflag_t size;
    bool parity;
    bool odd;
    bool twoStops;
    speed_t speed;
  };
  const Case cases[] = {
      {"Modbus on a plain port", plain, kModbusLineSettings, CS7, true, false, false, B9600},
      {"transfer on a plain port", plain, kTransferLineSettings, CS8, false, false, false, B115200},
      {"Modbus on a busy port", busy, kModbusLineSettings, CS7, true, false, false, B9600},
      {"transfer on a busy port", busy, kTransferLineSettings, CS8, false, false, false, B115200},
      {"odd parity, two stop bits", plain, {19200, 8, 1, 2}, CS8, true, true, true, B19200},
      {"an unknown speed leaves the speed alone",
       plain,
       {12345, 7, 2, 0},
       CS7,
       true,
       false,
       false,
       B38400},
  };
  const tcflag_t changed = CSIZE | PARENB | PARODD | CSTOPB | CBAUD | CBAUDEX;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    termios t = LineTermios(c.from, c.settings);
    EXPECT_EQ(t.c_cflag & CSIZE, c.size);
    EXPECT_EQ((t.c_cflag & PARENB) != 0, c.parity);
    EXPECT_EQ((t.c_cflag & PARODD) != 0, c.odd);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStops);
    EXPECT_EQ(cfgetospeed(&t), c.speed);
    EXPECT_EQ(cfgetispeed(&t), c.speed);
    // Everything else is as the port had it.
    EXPECT_EQ(t.c_cflag & ~changed, c.from.c_cflag & ~changed);
    EXPECT_EQ(t.c_iflag, c.from.c_iflag);
    EXPECT_EQ(t.c_oflag, c.from.c_oflag);
    EXPECT_EQ(t.c_lflag, c.from.c_lflag);
    EXPECT_EQ(std::memcmp(t.c_cc, c.from.c_cc, sizeof t.c_cc), 0);
  }
}

TEST_F(Pty, AHeldPortCannotBeOpenedAgainAndReopensAfterClose) {
  LinkHandle first = OpenComPort(slavePath_.c_str());
  ASSERT_NE(first, kNoLink);
  EXPECT_EQ(OpenComPort(slavePath_.c_str()), kNoLink) << "a second exclusive open";
  EXPECT_TRUE(TtyExclusive()) << "held against programs without root, too";
  // Stale input from before the open is gone; input after it arrives.
  CloseLink(first);
  EXPECT_FALSE(TtyExclusive()) << "the exclusive mode would outlive the link on a pty";
  FarSideSends("stale");
  usleep(20 * 1000);
  // The replug: the same port opens again once the first link is closed,
  // although the far side kept the pty open all along.
  LinkHandle again = OpenComPort(slavePath_.c_str());
  ASSERT_NE(again, kNoLink);
  SetShortTimeouts(again);
  uint8_t buf[16];
  EXPECT_EQ(LinkRead(again, buf, sizeof buf), 0u) << "stale input discarded at open";
  FarSideSends("\x06");
  EXPECT_EQ(LinkRead(again, buf, 1), 1u);
  EXPECT_EQ(buf[0], 0x06);
  CloseLink(again);
  // A shared open (the USB device) does not hold the port.
  LinkHandle shared = OpenUsbPath(slavePath_.c_str());
  ASSERT_NE(shared, kNoLink);
  EXPECT_FALSE(TtyExclusive());
  LinkHandle held = OpenComPort(slavePath_.c_str());
  EXPECT_NE(held, kNoLink);
  CloseLink(held);
  CloseLink(shared);
}

void NoOp(int) {}

// The one test that waits for a real time-out: 10 of 19 characters come,
// and a signal interrupts the wait half-way.
TEST_F(Pty, AShortReadReturnsWhatArrivedAfterTheTotalTimeout) {
  LinkHandle link = OpenComPort(slavePath_.c_str());
  ASSERT_NE(link, kNoLink);
  struct sigaction action {};
  action.sa_handler = NoOp;  // no SA_RESTART: poll and read see EINTR
  struct sigaction old {};
  ASSERT_EQ(sigaction(SIGUSR1, &action, &old), 0);

  SetShortTimeouts(link);  // 200 ms
  FarSideSends("0123456789");
  pthread_t reader = pthread_self();
  std::thread interrupter([reader] {
    usleep(80 * 1000);
    pthread_kill(reader, SIGUSR1);
  });
  uint8_t buf[19] = {};
  auto start = Clock::now();
  uint32_t got = LinkRead(link, buf, 19);
  int64_t took = MsSince(start);
  interrupter.join();
  sigaction(SIGUSR1, &old, nullptr);

  EXPECT_EQ(got, 10u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 10), "0123456789");
  EXPECT_GE(took, 190);
  EXPECT_LT(took, 1500);
  CloseLink(link);
}

TEST_F(Pty, ReadsAndWritesReturnAsSoonAsTheCountIsDone) {
  LinkHandle link = OpenComPort(slavePath_.c_str());
  ASSERT_NE(link, kNoLink);
  SetLongTimeouts(link);  // 3 s: a read that waited for it would show
  std::thread farSide([this] {
    usleep(20 * 1000);
    FarSideSends(":0164");
    usleep(20 * 1000);
    FarSideSends("9B\r\n");
  });
  uint8_t buf[9] = {};
  auto start = Clock::now();
  EXPECT_EQ(LinkRead(link, buf, 9), 9u);
  EXPECT_LT(MsSince(start), 1500);
  farSide.join();
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 9), ":01649B\r\n");

  std::vector<uint8_t> block(260, 0x5A);
  EXPECT_EQ(LinkWrite(link, block.data(), 260), 260u);
  EXPECT_EQ(FarSideReceives(260), std::string(260, 'Z'));
  CloseLink(link);
}

TEST_F(Pty, AWriteThatCannotGoOutGivesUpAfterTheWriteTimeout) {
  LinkHandle link = OpenComPort(slavePath_.c_str());
  ASSERT_NE(link, kNoLink);
  // The far side reads nothing: once the pty's buffers are full, the write
  // waits for its total time-out (kept short here) and reports what went out.
  link->ApplyTimeouts({0xFFFFFFFFu, 0, 20, 0, 20});
  std::vector<uint8_t> lots(1 << 20, 'x');
  auto start = Clock::now();
  uint32_t sent = LinkWrite(link, lots.data(), static_cast<uint32_t>(lots.size()));
  EXPECT_LT(sent, lots.size());
  EXPECT_GT(sent, 0u);
  EXPECT_LT(MsSince(start), 1500);
  CloseLink(link);
}

TEST(OpenComPort, RefusesWhatIsNotAPort) {
  char file[] = "/tmp/notaportXXXXXX";
  int fd = mkstemp(file);
  ASSERT_GE(fd, 0);
  close(fd);
  const char* cases[] = {"", "ttyDoesNotExist9", "/dev/ttyDoesNotExist9", file, "/dev/null", "/"};
  for (const char* name : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(OpenComPort(name), kNoLink);
    EXPECT_EQ(OpenUsbPath(name), kNoLink);
  }
  EXPECT_EQ(OpenComPort(nullptr), kNoLink);
  unlink(file);
}

TEST(ResolvePortPath, ListedNamesLiveInDevAndPathsAreTakenAsTheyAre) {
  struct Case {
    const char* in;
    const char* out;  // nullptr: refused
    size_t size;
  };
  const Case cases[] = {
      {"ttyUSB0", "/dev/ttyUSB0", 64},
      {"ttyACM12", "/dev/ttyACM12", 64},
      {"/dev/pts/3", "/dev/pts/3", 64},
      {"/dev/serial/by-id/usb-Vemora_PLC-if00", "/dev/serial/by-id/usb-Vemora_PLC-if00", 64},
      {"", nullptr, 64},
      {"ttyUSB0", "/dev/ttyUSB0", 13},
      {"ttyUSB0", nullptr, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    char out[64] = {};
    bool ok = ResolvePortPath(c.in, out, c.size);
    EXPECT_EQ(ok, c.out != nullptr);
    if (c.out != nullptr) {
      EXPECT_STREQ(out, c.out);
    }
  }
}

}  // namespace
