#include "port/link_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "port/port_hold.h"
#include "port/ports.h"

namespace plc {

namespace {

// Every open link with the settings its port had before, so that a process
// that ends in the middle of a run (Ctrl-C) can give the ports back as it
// found them.  A burn has one link at a time.  A slot holds -1 when free,
// kFilling while its settings are written, else the descriptor.
constexpr int kLinkSlots = 8;
constexpr int kFilling = -2;
struct OpenLinkSlot {
  std::atomic<int> fd{-1};
  bool comPort = false;
  termios saved{};
};
OpenLinkSlot openLinks[kLinkSlots];

void Remember(int fd, bool comPort, const termios& saved) {
  for (auto& slot : openLinks) {
    int expected = -1;
    if (!slot.fd.compare_exchange_strong(expected, kFilling)) continue;
    slot.comPort = comPort;
    slot.saved = saved;
    slot.fd.store(fd);
    return;
  }
}

void Forget(int fd) {
  for (auto& slot : openLinks) {
    int expected = fd;
    if (slot.fd.compare_exchange_strong(expected, -1)) return;
  }
}

int ControlCall(int fd, unsigned long request, int* value) {
  return ioctl(fd, request, value);
}

void PauseMs(int ms) {
  (void)poll(nullptr, 0, ms);
}

int64_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// A total time-out of 0 means "no limit" on a COM port, except for a read
// whose interval time-out is MAXDWORD: that one returns at once.
constexpr int64_t kForever = -1;

int64_t TotalMs(uint32_t multiplier, uint32_t constant, uint32_t count) {
  return static_cast<int64_t>(multiplier) * count + constant;
}

// Waits for the descriptor until the deadline (kForever: without one).
// Returns the poll result: >0 ready, 0 deadline passed, <0 a hard error.
int WaitFor(int fd, short events, int64_t deadline) {
  for (;;) {
    int waitMs = -1;
    if (deadline != kForever) {
      int64_t left = deadline - NowMs();
      if (left <= 0) return 0;
      waitMs = left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left);
    }
    pollfd p{fd, events, 0};
    int r = poll(&p, 1, waitMs);
    if (r < 0 && errno == EINTR) continue;
    if (r > 0 && (p.revents & (POLLERR | POLLNVAL)) != 0 && (p.revents & events) == 0) return -1;
    return r;
  }
}

speed_t SpeedOf(uint32_t baudRate) {
  switch (baudRate) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    default:
      return B0;
  }
}

// What a link has written may take this long to leave.  At 9600 baud a
// second carries 960 characters, many times what a run ever leaves queued
// (a request and its repeats); output still queued after it cannot leave.
constexpr int kDrainLimitMs = 1000;
constexpr int kDrainStepMs = 2;

// Puts a termios record in force once the output has left, so that neither
// a speed switch nor the restore at close cuts off a request on its way out
// ("UPDATE" sent a second time, the erase confirmation that the close
// follows).  Output that cannot leave (a wedged USB device, CTS held low on
// a port that kept hardware flow control) is discarded instead: waiting for
// it would hold the burn for ever and the close for the driver's 30 s.
void SetWhenDrained(int fd, const termios& t) {
  int queued = 0;
  for (int waited = 0; ttyCalls.control(fd, TIOCOUTQ, &queued) == 0 && queued > 0;
       waited += kDrainStepMs) {
    if (waited >= kDrainLimitMs) {
      (void)ttyCalls.flush(fd, TCOFLUSH);
      (void)ttyCalls.setAttr(fd, TCSANOW, &t);
      return;
    }
    ttyCalls.pause(kDrainStepMs);
  }
  // Waits further only for the few characters in the UART's own buffer.
  (void)ttyCalls.setAttr(fd, TCSADRAIN, &t);
}

// The errors with which a driver says that its device has left (the cable
// pulled, the adapter unplugged): the node will not work again.
bool DeviceGone(int error) {
  return error == EIO || error == ENODEV || error == ENXIO || error == EBADF;
}

void FlowControlOff(termios& t) {
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
}

}  // namespace

TtyCalls ttyCalls = {tcgetattr, tcsetattr, ControlCall, tcflush, PauseMs};

PosixLink::PosixLink(int fd, bool comPort, const termios& saved)
    : fd_(fd), comPort_(comPort), saved_(saved), timeouts_(kLongTimeouts) {
  Remember(fd_, comPort_, saved_);
}

PosixLink::~PosixLink() {
  if (fd_ < 0) return;
  // The port goes back to the settings it had before the open: a terminal
  // named by mistake stays usable, and the next program finds the port as
  // it left it.
  SetWhenDrained(fd_, saved_);
  // TIOCEXCL belongs to the tty, not to this descriptor: on a pty whose
  // other side stays open it would keep the port shut to the next open.
  if (comPort_) ioctl(fd_, TIOCNXCL);
  flock(fd_, LOCK_UN);
  Forget(fd_);
  close(fd_);
}

uint32_t PosixLink::Write(const uint8_t* data, uint32_t count) {
  if (data == nullptr || count == 0 || gone_) return 0;
  int64_t total =
      TotalMs(timeouts_.writeTotalTimeoutMultiplier, timeouts_.writeTotalTimeoutConstant, count);
  int64_t deadline = total == 0 ? kForever : NowMs() + total;
  uint32_t sent = 0;
  while (sent < count) {
    ssize_t n = write(fd_, data + sent, count - sent);
    if (n > 0) {
      sent += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      gone_ = DeviceGone(errno);
      break;
    }
    if (WaitFor(fd_, POLLOUT, deadline) <= 0) break;
  }
  return sent;
}

uint32_t PosixLink::Read(uint8_t* buffer, uint32_t count) {
  if (buffer == nullptr || count == 0 || gone_) return 0;
  int64_t total =
      TotalMs(timeouts_.readTotalTimeoutMultiplier, timeouts_.readTotalTimeoutConstant, count);
  bool returnAtOnce = total == 0 && timeouts_.readIntervalTimeout == 0xFFFFFFFFu;
  int64_t start = NowMs();
  int64_t deadline = returnAtOnce ? start : (total == 0 ? kForever : start + total);
  // An interval time-out other than 0 and MAXDWORD ends a read whose next
  // character is late, once the first one has come.
  bool useInterval =
      timeouts_.readIntervalTimeout != 0 && timeouts_.readIntervalTimeout != 0xFFFFFFFFu;
  uint32_t got = 0;
  while (got < count) {
    int64_t until = deadline;
    if (useInterval && got > 0) {
      int64_t gap = NowMs() + timeouts_.readIntervalTimeout;
      if (until == kForever || gap < until) until = gap;
    }
    // Poll first: the reply is rarely there yet when the read starts, so a
    // one-byte ACK costs one poll and one read.
    int ready = returnAtOnce ? 1 : WaitFor(fd_, POLLIN, until);
    if (ready <= 0) break;
    ssize_t n = read(fd_, buffer + got, count - got);
    if (n > 0) {
      got += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && !returnAtOnce) continue;
    // End of file (a tty that was hung up) or a hard error: nothing more
    // will come, and from a device that has left never again.
    gone_ = n == 0 || DeviceGone(errno);
    break;
  }
  return got;
}

termios LineTermios(const termios& current, const LineSettings& settings) {
  termios t = current;
  speed_t speed = SpeedOf(settings.baudRate);
  if (speed != B0) {
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
  }
  FlowControlOff(t);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
  switch (settings.byteSize) {
    case 5:
      t.c_cflag |= CS5;
      break;
    case 6:
      t.c_cflag |= CS6;
      break;
    case 7:
      t.c_cflag |= CS7;
      break;
    default:
      t.c_cflag |= CS8;
      break;
  }
  if (settings.parity == 1) t.c_cflag |= PARENB | PARODD;
  if (settings.parity == 2) t.c_cflag |= PARENB;
  if (settings.stopBits != 0) t.c_cflag |= CSTOPB;
  return t;
}

void PosixLink::ApplyLineSettings(const LineSettings& settings) {
  // Results are not looked at: a pty refuses 7E1 with EINVAL and has no
  // modem lines (ENOTTY), and neither may stop a burn.
  termios current{};
  if (ttyCalls.getAttr(fd_, &current) == 0) SetWhenDrained(fd_, LineTermios(current, settings));
  if (!comPort_) return;
  int lines = TIOCM_DTR | TIOCM_RTS;
  (void)ttyCalls.control(fd_, TIOCMBIC, &lines);
}

void PosixLink::ApplyTimeouts(const Timeouts& timeouts) {
  timeouts_ = timeouts;
}

std::string PermissionWayOut(bool comPort, const char* nodeGroup) {
  if (comPort) return "add the user to the port's group (dialout) and log in again";
  // A node still root's has had no rule applied; a node that the rule gave
  // away is opened by the members of its group, and the rule is there.
  if (nodeGroup == nullptr || nodeGroup[0] == '\0' || std::strcmp(nodeGroup, "root") == 0) {
    return "install the udev rule contrib/70-plcfw.rules, which gives the PLC to the user at the "
           "seat, and plug the PLC in again";
  }
  return std::string("the udev rule gives the PLC to the group ") + nodeGroup +
         ": add the user to it and log in again";
}

bool ResolvePortPath(const char* nameOrPath, char* out, size_t outSize) {
  if (nameOrPath == nullptr || nameOrPath[0] == '\0' || out == nullptr || outSize == 0) {
    return false;
  }
  return FormatPath(out, outSize, "%s%s", nameOrPath[0] == '/' ? "" : "/dev/", nameOrPath);
}

namespace {

// The name of the group that owns path, or "" when it is not known.
std::string GroupOf(const char* path) {
  struct stat st {};
  if (stat(path, &st) != 0) return "";
  group entry{};
  group* found = nullptr;
  char names[4096];
  if (getgrgid_r(st.st_gid, &entry, names, sizeof names, &found) != 0 || found == nullptr)
    return "";
  return found->gr_name;
}

// Opens a tty for reading and writing, raw, with stale input discarded, and
// keeps the settings it had in saved.  Anything that is not a tty is
// refused: it could not carry the protocol.  An exclusive open claims the
// port before it touches its settings, so that a port that another program
// holds is left as that program has it.  Every port is held for the run
// (the platform's holdForTheRun) once it is known to be a tty that this
// process has: the node is closed for the replug or the power cycle, and
// the hold keeps another run off the PLC until the run ends.
// Why an open of path failed, in the system's words, with the way out where
// there is one: a user may only open a serial port as a member of its group,
// and the PLC's USB device once the udev rule gives it to the user at the
// seat and to the members of its group.
Refusal OpenFailure(const char* path, int error, bool comPort, const TtyPlatform& platform) {
  if (error == EBUSY) return platform.busyRefusal(path);
  if (error == EACCES || error == EPERM) {
    return Refused(RefusalKind::kDenied, "%s: %s; %s", path, std::strerror(error),
                   PermissionWayOut(comPort, GroupOf(path).c_str()).c_str());
  }
  const RefusalKind kind = error == ENOENT || error == ENODEV || error == ENXIO
                               ? RefusalKind::kMissing
                               : RefusalKind::kFailed;
  return Refused(kind, "%s: %s", path, std::strerror(error));
}

int OpenTty(const char* nameOrPath, bool exclusive, const TtyPlatform& platform, termios* saved,
            Refusal* why) {
  char path[4096];
  if (!ResolvePortPath(nameOrPath, path, sizeof path)) {
    *why = Refused(RefusalKind::kMissing, "%s: no such port (a listed name or a device path)",
                   nameOrPath);
    return -1;
  }
  int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *why = OpenFailure(path, errno, exclusive, platform);
    return -1;
  }
  termios t{};
  if (!isatty(fd) || tcgetattr(fd, &t) != 0) {
    close(fd);
    *why = Refused(RefusalKind::kFailed,
                   "%s: not a terminal (a serial port or the PLC's USB device is one)", path);
    return -1;
  }
  // flock stops another program that asks the same, root included, on a
  // serial port and on the USB device alike; TIOCEXCL stops every other
  // open of a serial port by a program without CAP_SYS_ADMIN.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) *why = InUseRefusal(path, "locked");
    close(fd);
    return -1;
  }
  // Before TIOCEXCL, which would outlive this descriptor on a refusal.
  if (!platform.holdForTheRun(path, exclusive, why)) {
    close(fd);
    return -1;
  }
  if (exclusive && ioctl(fd, TIOCEXCL) != 0) {
    close(fd);
    return -1;
  }
  *saved = t;
  cfmakeraw(&t);
  FlowControlOff(t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  (void)tcsetattr(fd, TCSANOW, &t);
  (void)tcflush(fd, TCIFLUSH);
  return fd;
}

}  // namespace

OpenedLink OpenTtyLink(const char* nameOrPath, bool comPort, const TtyPlatform& platform) {
  termios saved{};
  Refusal why{RefusalKind::kFailed, ""};
  const int fd = OpenTty(nameOrPath, comPort, platform, &saved, &why);
  if (fd < 0) return why;
  return OpenedLink(LinkHandle(new PosixLink(fd, comPort, saved)));
}

void ReleaseHeldPorts() {
  for (auto& slot : openLinks) {
    int fd = slot.fd.load();
    if (fd < 0) continue;
    // At once: the process is about to end, and its close must not wait
    // for output that may never leave.
    (void)tcflush(fd, TCOFLUSH);
    (void)tcsetattr(fd, TCSANOW, &slot.saved);
    if (slot.comPort) (void)ioctl(fd, TIOCNXCL);
  }
  RemoveRunLockFilesBeforeExit();
}

}  // namespace plc

// Outside the namespace block: the static analyser loses track of va_start
// in a variadic function defined inside one.
bool plc::FormatPath(char* out, size_t outSize, const char* format, ...) {
  va_list args;
  va_start(args, format);
  // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): started just above
  int n = std::vsnprintf(out, outSize, format, args);
  va_end(args);
  return n >= 0 && static_cast<size_t>(n) < outSize;
}
