// The POSIX link on a pseudo-terminal whose master is the far side (a slave
// descriptor of the test's own shows the line settings and the hold).  Whole
// burns through it are plcfw's process tests.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "port/link_posix.h"
#include "port/ports.h"
#include "port/sysfs_linux.h"

namespace plc {

namespace {

// The run-long holds' lock files go to a folder of the test's own, and the
// holds end with each test, as with each run.
class Pty : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0);
    path_ = ptsname(master_);
    slave_ = open(path_.c_str(), O_RDWR | O_NOCTTY);
    std::string pattern = ::testing::TempDir() + "locksXXXXXX";
    locks_ = mkdtemp(pattern.data());
    places_ = portPlaces;
    portPlaces.runLock = locks_.c_str();
  }
  void TearDown() override {
    ReleaseRunHolds();
    portPlaces = places_;
    std::filesystem::remove_all(locks_);
    close(slave_);
    close(master_);
  }
  // The lock files in the test's lock folder, each with whether another run
  // would find it held.
  std::vector<std::pair<std::string, bool>> LockFiles() const {
    std::vector<std::pair<std::string, bool>> files;
    for (const auto& entry : std::filesystem::directory_iterator(locks_)) {
      const int fd = open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
      const bool held = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0;
      if (fd >= 0) close(fd);
      files.emplace_back(entry.path().filename().string(), held);
    }
    return files;
  }
  bool Held() {
    int on = 0;
    return ioctl(slave_, TIOCGEXCL, &on) == 0 && on != 0;
  }
  void FarSideSends(const char* text) { EXPECT_GT(write(master_, text, strlen(text)), 0); }
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
  std::string locks_;
  PortPlaces places_{};
};

using Ints = std::pair<long, long>;

bool FlowControlOn(const termios& t) {
  return (t.c_iflag & (IXON | IXOFF | IXANY)) != 0 || (t.c_cflag & CRTSCTS) != 0;
}

// As another program may leave a port: XON/XOFF and RTS/CTS on (an LP4's
// boot ID 0x0013 is XOFF), another speed.
termios LeaveFlowControlOn(const char* path) {
  termios t{};
  const int fd = open(path, O_RDWR | O_NOCTTY);
  tcgetattr(fd, &t);
  t.c_iflag |= IXON | IXOFF | IXANY;
  t.c_cflag |= CRTSCTS;
  cfsetspeed(&t, B4800);
  tcsetattr(fd, TCSANOW, &t);
  tcgetattr(fd, &t);
  close(fd);
  return t;
}

TEST_F(Pty, LineSettingsOfEachPhaseAreInForceAndUndoneAtTheEnd) {
  const termios before = LeaveFlowControlOn(path_.c_str());
  ASSERT_TRUE(FlowControlOn(before) && (before.c_cflag & CRTSCTS) != 0);
  auto unchanged = [&] {
    termios t{};
    return tcgetattr(slave_, &t) == 0 && t.c_iflag == before.c_iflag &&
           t.c_cflag == before.c_cflag && t.c_lflag == before.c_lflag;
  };
  LinkHandle link = OpenComPort(path_.c_str()).link;
  ASSERT_NE(link, kNoLink);
  // The probe, the transfer, the next run's probe on the same port.
  for (const auto& [apply, speed] : {std::pair{SetModbusLineSettings, B9600},
                                     {SetTransferLineSettings, B115200},
                                     {SetModbusLineSettings, B9600}}) {
    LeaveFlowControlOn(path_.c_str());  // whatever came in between
    apply(link.get());
    termios t{};
    ASSERT_EQ(tcgetattr(slave_, &t), 0);
    EXPECT_EQ(Ints(cfgetospeed(&t), cfgetispeed(&t)), Ints(speed, speed));
    EXPECT_FALSE(FlowControlOn(t));
  }
  // The port is given back as it was found, by a process interrupted in the
  // middle of a run as by the close.
  ReleaseHeldPorts();
  EXPECT_TRUE(unchanged());
  EXPECT_EQ(LockFiles().size(), 0u) << "an interrupted run leaves its lock file";
  link.reset();
  EXPECT_TRUE(unchanged());
}

// A pty keeps its own framing, so the framing is read from the settings the
// link asks for: 7E1 and 8N1 whatever the port had.
TEST(LineTermios, FramingOfEachPhase) {
  termios other{};
  other.c_cflag = CS8 | PARODD | CSTOPB | CLOCAL;
  for (const auto& [settings, framing] :
       {std::pair{kModbusLineSettings, CS7 | PARENB}, {kTransferLineSettings, CS8}}) {
    const termios t = LineTermios(other, settings);
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB), static_cast<tcflag_t>(framing));
  }
}

// The tty calls of a link: "flush", "set" or "drain+set" to 115200 or back,
// "lines off".  The port's output queue holds `queued` characters that
// cannot leave.
std::string ttyLog;
int queued = 0;
const TtyCalls realCalls = ttyCalls;
const TtyCalls kRecording = {
    realCalls.getAttr,
    [](int fd, int when, const termios* t) {
      ttyLog += when == TCSADRAIN ? "|drain+set " : "|set ";
      ttyLog += cfgetospeed(t) == B115200 ? "115200" : "back";
      return realCalls.setAttr(fd, when, t);
    },
    [](int fd, unsigned long request, int* value) {
      if (request == TIOCOUTQ) return *value = queued, 0;
      return ttyLog += "|lines off", realCalls.control(fd, request, value);
    },
    [](int fd, int queue) { return ttyLog += "|flush", realCalls.flush(fd, queue); }, [](int) {}};

// Flow control is off from the open on (the USB device's link gets no other
// line settings before the transfer), and the USB device's link keeps its
// modem lines.  The switch to 115200 and the restore at close wait until the
// output has left; output that cannot leave is discarded rather than waited
// for (the driver would wait 30 s at the close).
TEST_F(Pty, TheSpeedSwitchAndTheCloseWaitForTheOutputOrDiscardIt) {
  const std::tuple<OpenedLink (*)(const char*), int, const char*> cases[] = {
      {OpenComPort, 0, "|drain+set 115200|lines off|drain+set back"},
      {OpenUsbPath, 0, "|drain+set 115200|drain+set back"},
      {OpenComPort, 5, "|flush|set 115200|lines off|flush|set back"},
  };
  for (const auto& [open, stuck, expected] : cases) {
    LeaveFlowControlOn(path_.c_str());
    LinkHandle link = open(path_.c_str()).link;
    ASSERT_NE(link, kNoLink);
    termios t{};
    EXPECT_FALSE(tcgetattr(slave_, &t) != 0 || FlowControlOn(t)) << "off from the open on";
    ttyCalls = kRecording;
    ttyLog.clear();
    queued = stuck;
    SetTransferLineSettings(link.get());
    link.reset();
    ttyCalls = realCalls;
    EXPECT_EQ(ttyLog, expected);
  }
}

TEST_F(Pty, AHeldPortCannotBeOpenedAgainAndReopensAfterClose) {
  LinkHandle first = OpenComPort(path_.c_str()).link;
  ASSERT_NE(first, kNoLink);
  EXPECT_EQ(OpenComPort(path_.c_str()).link, kNoLink) << "a second open of a held port";
  const OpenedLink usb = OpenUsbPath(path_.c_str());
  EXPECT_EQ(usb.link, kNoLink) << "the USB device's link asks the same";
  EXPECT_EQ(usb.refusal.kind, RefusalKind::kBusy);
  EXPECT_NE(usb.refusal.text.find(" is in use by another program ("), std::string::npos);
  EXPECT_EQ(OpenComPort("/dev/null").link, kNoLink) << "not a tty";
  EXPECT_TRUE(Held()) << "held against programs without root, too";
  first.reset();
  EXPECT_FALSE(Held()) << "the hold would outlive the link on a pty";
  // The replug: the port opens again although the far side kept it open, and
  // what came before the open is gone.
  FarSideSends("stale\n");  // a whole line: the port is back in canonical mode
  pollfd p{slave_, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 2000), 1);
  LinkHandle again = OpenComPort(path_.c_str()).link;
  ASSERT_NE(again, kNoLink);
  FarSideSends("\x06");
  uint8_t c = 0x15;
  // An interrupted run stops every link: nothing more goes out or comes in.
  StopAllLinks(true);
  EXPECT_EQ(LinkWrite(again.get(), &c, 1) + LinkRead(again.get(), &c, 1), 0u);
  StopAllLinks(false);
  char echoed[64] = {};
  pollfd sent{master_, POLLIN, 0};
  const ssize_t n = poll(&sent, 1, 50) == 1 ? read(master_, echoed, sizeof echoed) : 0;
  EXPECT_EQ(memchr(echoed, 0x15, n > 0 ? n : 0), nullptr) << "a stopped link wrote";
  EXPECT_EQ(LinkRead(again.get(), &c, 1), 1u);
  EXPECT_EQ(c, 0x06);
  again.reset();
}

// The cable pulled: the device's node fails with EIO.  Whatever comes to sit
// behind the same descriptor later (here another pty, raw) is neither
// written to nor read from.
TEST_F(Pty, ADeviceThatLeftIsNotTouchedAgain) {
  LinkHandle link = OpenUsbPath(path_.c_str()).link;
  ASSERT_NE(link, kNoLink);
  close(master_);
  master_ = -1;
  const uint8_t frame[3] = {0x02, 0x01, 0xFE};
  EXPECT_EQ(LinkWrite(link.get(), frame, 3), 0u);
  const int other = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(other >= 0 && grantpt(other) == 0 && unlockpt(other) == 0);
  const int otherSlave = open(ptsname(other), O_RDWR | O_NOCTTY);
  termios t{};
  ASSERT_EQ(tcgetattr(otherSlave, &t), 0);
  cfmakeraw(&t);
  ASSERT_EQ(tcsetattr(otherSlave, TCSANOW, &t), 0);
  ASSERT_GE(dup2(otherSlave, static_cast<PosixLink*>(link.get())->Descriptor()), 0);
  SetShortTimeouts(link.get());
  EXPECT_EQ(LinkWrite(link.get(), frame, 3), 0u) << "written again after EIO";
  ASSERT_EQ(write(other, "\x06", 1), 1);
  uint8_t c = 0;
  EXPECT_EQ(LinkRead(link.get(), &c, 1), 0u) << "read after the device left";
  link.reset();
  close(otherSlave);
  close(other);
}

// A serial port (a power-cycle model) is held for the run like the USB
// device: its node is closed in the pause, and the hold keeps a second run
// off it until the run ends.  The hold is taken once the node is open and a
// tty, so that a failed open leaves no lock file; the run's end removes it.
TEST_F(Pty, EveryPortIsHeldForTheWholeRunAndTheHoldEndsWithIt) {
  using Files = std::vector<std::pair<std::string, bool>>;
  for (OpenedLink (*open)(const char*) : {OpenComPort, OpenUsbPath}) {
    EXPECT_EQ(open("/dev/null").link, kNoLink);
    EXPECT_EQ(open("/dev/pts/nonexistent").link, kNoLink);
    EXPECT_EQ(LockFiles(), Files{}) << "a lock file for a node that is no tty";
    LinkHandle link = open(path_.c_str()).link;
    ASSERT_NE(link, kNoLink);
    link.reset();  // the power cycle or the replug
    const Files files = LockFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].first.rfind("plcfw-dev-pts-", 0), 0u) << files[0].first;
    EXPECT_TRUE(files[0].second) << "the port is not held while it is closed";
    link = open(path_.c_str()).link;
    EXPECT_NE(link, kNoLink) << "the run takes its own port again";
    link.reset();
    ReleaseRunHolds();
    EXPECT_EQ(LockFiles(), Files{}) << "the run's end left its lock file";
  }
}

// Where no lock can be had the port is not touched, and not left in
// exclusive mode either.
TEST_F(Pty, APortThatCannotBeHeldIsRefusedAndLeftAsItWas) {
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  const std::string xdgBefore = xdg != nullptr ? xdg : "";
  unsetenv("XDG_RUNTIME_DIR");
  portPlaces.runLock = "/nonexistent/lock";
  const OpenedLink refused = OpenComPort(path_.c_str());
  EXPECT_EQ(refused.link, kNoLink);
  EXPECT_EQ(refused.refusal.text.rfind("cannot hold " + path_ + " for the run: ", 0), 0u)
      << refused.refusal.text;
  EXPECT_FALSE(Held());
  if (!xdgBefore.empty()) setenv("XDG_RUNTIME_DIR", xdgBefore.c_str(), 1);
}

void NoOp(int) {}

// The one test that waits for a real time-out: 10 of 19 characters come,
// and a signal interrupts the wait half-way.
// The way out follows the node's group: a USB tty still root's has had no
// udev rule applied; one that the rule gave to a group needs its membership.
TEST(PermissionWayOut, FollowsTheNodesGroup) {
  const struct {
    bool comPort;
    const char* group;
    const char* wayOut;
  } cases[] = {
      {false, "root", "install the udev rule contrib/70-plcfw.rules"},
      {false, "", "install the udev rule contrib/70-plcfw.rules"},
      {false, "plugdev", "to the group plugdev: add the user to it and log in again"},
      {true, "dialout", "add the user to the port's group (dialout) and log in again"},
  };
  for (const auto& c : cases) {
    EXPECT_NE(PermissionWayOut(c.comPort, c.group).find(c.wayOut), std::string::npos)
        << c.group << ": " << PermissionWayOut(c.comPort, c.group);
  }
}

TEST_F(Pty, AShortReadReturnsWhatArrivedAfterTheTotalTimeout) {
  LinkHandle link = OpenComPort(path_.c_str()).link;
  ASSERT_NE(link, kNoLink);
  struct sigaction action {};
  action.sa_handler = NoOp;  // no SA_RESTART: poll and read see EINTR
  struct sigaction old {};
  ASSERT_EQ(sigaction(SIGUSR1, &action, &old), 0);
  SetShortTimeouts(link.get());  // 200 ms
  FarSideSends("0123456789");
  std::thread interrupter([reader = pthread_self()] {
    usleep(80 * 1000);
    pthread_kill(reader, SIGUSR1);
  });
  uint8_t buf[19] = {};
  const auto start = std::chrono::steady_clock::now();
  const uint32_t got = LinkRead(link.get(), buf, 19);
  const auto took = std::chrono::steady_clock::now() - start;
  interrupter.join();
  sigaction(SIGUSR1, &old, nullptr);
  EXPECT_EQ(std::string(buf, buf + got), "0123456789");
  EXPECT_GE(took, std::chrono::milliseconds(190));
  EXPECT_LT(took, std::chrono::milliseconds(1500));
  link.reset();
}

}  // namespace

}  // namespace plc
