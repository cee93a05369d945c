#include "plcsim_line_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace plc {

uint64_t NowUs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

namespace {

uint32_t BaudOf(speed_t speed) {
  static const struct {
    speed_t code;
    uint32_t baud;
  } kSpeeds[] = {
      {B0, 0},         {B300, 300},       {B1200, 1200},     {B2400, 2400},
      {B4800, 4800},   {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
      {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800},
  };
  for (const auto& s : kSpeeds) {
    if (s.code == speed) return s.baud;
  }
  return 1;  // some other speed: no mode listens there
}

bool OpenPty(SimServer& srv) {
  srv.master = posix_openpt(O_RDWR | O_NOCTTY);
  if (srv.master < 0 || grantpt(srv.master) != 0 || unlockpt(srv.master) != 0) return false;
  const char* name = ptsname(srv.master);
  if (name == nullptr || std::strlen(name) >= sizeof srv.slavePath) return false;
  std::memcpy(srv.slavePath, name, std::strlen(name) + 1);
  srv.slave = open(srv.slavePath, O_RDWR | O_NOCTTY);
  if (srv.slave < 0) return false;
  // Raw from the start: no echo of our replies back to us, no line editing.
  termios tio{};
  if (tcgetattr(srv.slave, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(srv.slave, TCSANOW, &tio);
  }
  const int flags = fcntl(srv.master, F_GETFL);
  fcntl(srv.master, F_SETFL, flags | O_NONBLOCK);
  // Our own open is behind us: from now on every open is the tool's.
  srv.notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (srv.notify >= 0 && inotify_add_watch(srv.notify, srv.slavePath, IN_OPEN | IN_CLOSE) < 0) {
    close(srv.notify);
    srv.notify = -1;
  }
  if (srv.notify < 0) {
    (void)std::fprintf(stderr, "plcsim: cannot watch %s; reconnects go unnoticed\n", srv.slavePath);
  }
  return true;
}

}  // namespace

bool PlugIn(SimServer& srv, const SimOptions& opt) {
  if (!OpenPty(srv)) {
    std::perror("plcsim: cannot open a pseudo-terminal");
    return false;
  }
  if (opt.link != nullptr) {
    (void)unlink(opt.link);
    if (symlink(srv.slavePath, opt.link) != 0) std::perror("plcsim: cannot make the --link");
  }
  (void)std::printf("%s\n", srv.slavePath);
  (void)std::fflush(stdout);
  return true;
}

void Unplug(SimServer& srv, const char* link) {
  if (link != nullptr) (void)unlink(link);
  for (int* fd : {&srv.notify, &srv.slave, &srv.master}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
  srv.toolOpens = 0;
  srv.pendingLen = 0;
}

bool OpenDevice(SimServer& srv, const char* path) {
  srv.master = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (srv.master < 0) return false;
  termios tio{};
  if (tcgetattr(srv.master, &tio) == 0) {
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tcsetattr(srv.master, TCSANOW, &tio);
  }
  return true;
}

bool WriteAttribute(const char* path, const char* text) {
  const int fd = path != nullptr ? open(path, O_WRONLY | O_CLOEXEC) : -1;
  if (fd < 0) return false;
  const auto length = static_cast<ssize_t>(std::strlen(text));
  const bool written = write(fd, text, static_cast<size_t>(length)) == length;
  return close(fd) == 0 && written;
}

bool ReadUdcName(SimServer& srv, const char* udcFile) {
  FILE* f = std::fopen(udcFile, "r");
  if (f == nullptr) return false;
  const bool read = std::fgets(srv.udcName, sizeof srv.udcName, f) != nullptr;
  (void)std::fclose(f);
  srv.udcName[std::strcspn(srv.udcName, "\n")] = '\0';
  return read && srv.udcName[0] != '\0';
}

// The gadget leaves the bus.  Unbound first: closing a tty whose host still
// reads would wait for unsent output.
void UnbindGadget(SimServer& srv, const SimOptions& opt) {
  (void)WriteAttribute(opt.replugUdc, "\n");
  close(srv.master);
  srv.master = -1;
}

// The PLC resets into its bootloader and comes back on the bus, as a new
// device to the host.  The tool has its answer already; the pause lets the
// host take in what the gadget sent last.
bool Replug(SimServer& srv, const SimOptions& opt) {
  poll(nullptr, 0, 200);
  UnbindGadget(srv, opt);
  poll(nullptr, 0, 100);
  if (!WriteAttribute(opt.replugUdc, srv.udcName) || !OpenDevice(srv, opt.device)) return false;
  PowerCycle(srv, opt);
  if (opt.verbose) (void)std::fprintf(stderr, "plcsim: replugged on %s\n", srv.udcName);
  return true;
}

void PowerCycle(SimServer& srv, const SimOptions& opt) {
  SimPowerCycle(*srv.sim);
  srv.pendingLen = 0;
  if (opt.verbose) {
    const bool boot = srv.sim->mode == SimMode::kBoot;
    (void)std::fprintf(stderr, "plcsim: powered up in the %s\n",
                       boot ? "bootloader" : "application");
  }
}

// An existing device shows nothing of the speed the host applied (a gadget's
// tty) or is the PLC's own UART: either way it listens at the speed its mode
// expects.
void ListenAsExpected(SimServer& srv) {
  const uint32_t expected = SimExpectedBaud(*srv.sim);
  srv.baud = expected != 0 ? expected : 9600;
  SimSetLine(*srv.sim, LineSettings{srv.baud, 8, 0, 0}, false);
}

void ReadSpeed(SimServer& srv, const SimOptions& opt) {
  termios tio{};
  if (tcgetattr(srv.slave, &tio) != 0) return;
  const uint32_t baud = BaudOf(cfgetospeed(&tio));
  if (baud != srv.baud && opt.verbose)
    (void)std::fprintf(stderr, "plcsim: line at %u baud\n", baud);
  if (baud != srv.baud || !srv.sim->lineKnown) {
    srv.baud = baud;
    SimSetLine(*srv.sim, LineSettings{baud, 8, 0, 0}, false);
  }
}

void HandleNotify(SimServer& srv, const SimOptions& opt) {
  alignas(inotify_event) char buf[4096];
  for (;;) {
    const ssize_t n = read(srv.notify, buf, sizeof buf);
    if (n <= 0) return;
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
      if (e->mask & IN_OPEN) {
        ++srv.toolOpens;
        SimReconnect(*srv.sim);
        srv.pendingLen = 0;
        if (opt.verbose) (void)std::fprintf(stderr, "plcsim: link opened\n");
      }
      if (e->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
        if (srv.toolOpens > 0) --srv.toolOpens;
        srv.sawClose = true;
        if (opt.verbose) (void)std::fprintf(stderr, "plcsim: link closed\n");
      }
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
  }
}

}  // namespace plc
