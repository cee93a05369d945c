// plcsim: a simulated PLC behind a pseudo-terminal.
//
// The tool opens the pty's slave as if it were the PLC's serial port (or its
// USB device).  We keep a slave descriptor of our own open, so the tool's
// close and reopen (the replug, the power cycle) neither hangs up the pty nor
// loses the device's state; inotify on the slave's path tells us when the
// tool opens or closes it.  The line speed the tool applied is read back from
// the slave's termios whenever data arrives: the PLC only understands the
// speed its mode listens at.
//
// With --device it serves an existing tty instead, such as the device end of
// a USB gadget's serial function (/dev/ttyGS0): the tool then reaches it
// through the host's real driver.  Such a device cannot see the tool open or
// close its end, nor the speed the host applied, so the PLC listens at the
// speed its mode expects; with --replug-udc it re-enumerates as a USB PLC
// does after the erase/enter-boot command, by unbinding and binding the
// gadget again.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "sim_device.h"
#include "state/models.h"

// The entry point is global; what it calls is the project's.
using namespace plc;

namespace {

volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t unplugRequested = 0;
volatile std::sig_atomic_t plugRequested = 0;

void OnStopSignal(int) {
  stopRequested = 1;
}

void OnPlugSignal(int signo) {
  if (signo == SIGUSR1) unplugRequested = 1;
  if (signo == SIGUSR2) plugRequested = 1;
}

const char kUsage[] =
    "Usage: plcsim --model NAME [options]\n"
    "\n"
    "A simulated PLC on a pseudo-terminal.  The first line of standard output is\n"
    "the path of the pty's slave: point the tool at it.  Serves until SIGTERM or\n"
    "SIGINT, or with --once until the first transfer ends.\n"
    "\n"
    "Options:\n"
    "  --model NAME        model to play (see --list-models)\n"
    "  --flash-out FILE    write the received image to FILE when the final EOT is\n"
    "                      acknowledged (the data of every stored frame, the filler\n"
    "                      of the last frame included)\n"
    "  --fault SPEC        commit a fault (repeatable; grammar below)\n"
    "  --seed N            seed of the random faults (default 1)\n"
    "  --line-rate         every character takes its time on a real line at the\n"
    "                      applied speed (10 bit times)\n"
    "  --once              end after the first transfer: exit 0 when the image\n"
    "                      arrived complete with every CRC good, 1 when the tool\n"
    "                      closed the link between \"UPDATE\" and the final EOT\n"
    "  --id HEX            device type ID reported in application mode\n"
    "  --boot-id HEX       device type ID reported by the bootloader\n"
    "  --d1386 HEX         value of register D1386 (default 0)\n"
    "  --d1148 HEX         value of register D1148 (default 0)\n"
    "  --version HEX       version byte (default 10, i.e. V1.0)\n"
    "  --no-wakeup-answer  do not answer the wake-up frames\n"
    "  --boot              power up in the bootloader\n"
    "  --link PATH         keep PATH a symbolic link to the pty while plugged in\n"
    "  --verbose           report reconnects, speeds and the outcome on stderr\n"
    "  --device PATH       serve this tty (a USB gadget's /dev/ttyGS0, say) instead\n"
    "                      of a new pty\n"
    "  --replug-udc FILE   with --device: the gadget's UDC file in configfs; the\n"
    "                      PLC re-enumerates after the erase/enter-boot command by\n"
    "                      unbinding the gadget and binding it to its UDC again\n"
    "  --pull-at-frame N   with --replug-udc: unbind the gadget at block frame N\n"
    "                      and leave it unbound (the cable pulled mid-transfer)\n"
    "  --list-models       print the 24 model names\n"
    "  --model-table       print every model's facts, tab-separated, one row a model\n"
    "  --help              this text\n"
    "\n"
    "SIGUSR1 unplugs the PLC: the pty and the --link go away.  SIGUSR2 plugs it\n"
    "in again on a new pty, whose path is printed as another line, with the\n"
    "--link made anew; the PLC keeps its state (after an accepted erase its\n"
    "bootloader answers).\n"
    "\n";

struct Options {
  SimConfig config;
  const char* flashOut = nullptr;
  const char* link = nullptr;
  bool lineRate = false;
  bool once = false;
  bool verbose = false;
  const char* device = nullptr;
  const char* replugUdc = nullptr;
  uint32_t pullAtFrame = 0;
};

struct Server {
  PlcSim* sim = nullptr;
  int master = -1;
  int slave = -1;
  int notify = -1;
  char slavePath[128] = {};
  uint32_t baud = 0;
  int toolOpens = 0;  // the tool's descriptors on the slave, as far as we saw
  bool sawClose = false;
  // Replies wait here until written (with --line-rate, until their time).
  uint8_t pending[kSimOutputSize] = {};
  uint32_t pendingLen = 0;
  uint64_t releaseAtUs = 0;
  uint64_t inputFreeAtUs = 0;
  uint64_t lastInputUs = 0;
  uint32_t finalAcksSeen = 0;
  uint32_t lostReplyBytes = 0;
  bool finished = false;
  char udcName[64] = {};  // the UDC the gadget was bound to (--replug-udc)
};

uint64_t NowUs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

bool ParseHex(const char* text, uint32_t max, uint32_t* value) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  unsigned long v = std::strtoul(text, &end, 16);
  if (errno != 0 || *end != '\0' || v > max || text[0] == '-') return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

int UsageError(const char* what, const char* arg) {
  (void)std::fprintf(stderr, "plcsim: %s%s%s\nTry 'plcsim --help'.\n", what, arg ? ": " : "",
                     arg ? arg : "");
  return 2;
}

// Returns -1 to go on, else the exit status.
int ParseOptions(int argc, char** argv, Options& opt) {
  const char* model = nullptr;
  const char* faults[kSimMaxFaults] = {};
  int faultCount = 0;
  uint32_t id = 0, bootId = 0, d1386 = 0, d1148 = 0, version = 0x10;
  bool idSet = false, bootIdSet = false, noWakeUp = false, boot = false;
  unsigned long long seed = 1;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    auto value = [&](const char** out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    const char* v = nullptr;
    if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
      (void)std::fputs(kUsage, stdout);
      (void)std::fputs(kSimFaultGrammar, stdout);
      return 0;
    } else if (std::strcmp(a, "--list-models") == 0) {
      for (int row = 0; row < kPlcCount; ++row) (void)std::printf("%s\n", PlcName(row));
      return 0;
    } else if (std::strcmp(a, "--model-table") == 0) {
      SimPrintModelTable(stdout);
      return 0;
    } else if (std::strcmp(a, "--model") == 0) {
      if (!value(&model)) return UsageError("--model needs a name", nullptr);
    } else if (std::strcmp(a, "--flash-out") == 0) {
      if (!value(&opt.flashOut)) return UsageError("--flash-out needs a file", nullptr);
    } else if (std::strcmp(a, "--link") == 0) {
      if (!value(&opt.link)) return UsageError("--link needs a path", nullptr);
    } else if (std::strcmp(a, "--fault") == 0) {
      if (!value(&v)) return UsageError("--fault needs a fault", nullptr);
      if (faultCount == kSimMaxFaults) return UsageError("too many faults", v);
      faults[faultCount++] = v;
    } else if (std::strcmp(a, "--seed") == 0) {
      char* end = nullptr;
      if (!value(&v) || (seed = std::strtoull(v, &end, 10), *end != '\0') || v[0] == '-') {
        return UsageError("--seed needs a number", v);
      }
    } else if (std::strcmp(a, "--id") == 0) {
      if (!value(&v) || !ParseHex(v, 0xFFFF, &id)) return UsageError("--id needs a hex ID", v);
      idSet = true;
    } else if (std::strcmp(a, "--boot-id") == 0) {
      if (!value(&v) || !ParseHex(v, 0xFFFF, &bootId)) {
        return UsageError("--boot-id needs a hex ID", v);
      }
      bootIdSet = true;
    } else if (std::strcmp(a, "--d1386") == 0) {
      if (!value(&v) || !ParseHex(v, 0xFFFF, &d1386)) return UsageError("bad --d1386", v);
    } else if (std::strcmp(a, "--d1148") == 0) {
      if (!value(&v) || !ParseHex(v, 0xFFFF, &d1148)) return UsageError("bad --d1148", v);
    } else if (std::strcmp(a, "--version") == 0) {
      if (!value(&v) || !ParseHex(v, 0xFF, &version)) return UsageError("bad --version", v);
    } else if (std::strcmp(a, "--no-wakeup-answer") == 0) {
      noWakeUp = true;
    } else if (std::strcmp(a, "--boot") == 0) {
      boot = true;
    } else if (std::strcmp(a, "--line-rate") == 0) {
      opt.lineRate = true;
    } else if (std::strcmp(a, "--once") == 0) {
      opt.once = true;
    } else if (std::strcmp(a, "--verbose") == 0) {
      opt.verbose = true;
    } else if (std::strcmp(a, "--device") == 0) {
      if (!value(&opt.device)) return UsageError("--device needs a path", nullptr);
    } else if (std::strcmp(a, "--replug-udc") == 0) {
      if (!value(&opt.replugUdc)) return UsageError("--replug-udc needs a file", nullptr);
    } else if (std::strcmp(a, "--pull-at-frame") == 0) {
      char* end = nullptr;
      unsigned long frame = 0;
      if (!value(&v) || (frame = std::strtoul(v, &end, 10), *end != '\0') || frame == 0 ||
          frame > 0xFFFFFF || v[0] == '-') {
        return UsageError("--pull-at-frame needs a frame number", v);
      }
      opt.pullAtFrame = static_cast<uint32_t>(frame);
    } else {
      return UsageError("unknown option", a);
    }
  }
  if (model == nullptr) return UsageError("--model is required", nullptr);
  if (opt.replugUdc != nullptr && opt.device == nullptr) {
    return UsageError("--replug-udc needs --device", nullptr);
  }
  if (opt.pullAtFrame != 0 && opt.replugUdc == nullptr) {
    return UsageError("--pull-at-frame needs --replug-udc", nullptr);
  }
  const int row = PlcIndexByName(model);
  if (row < 0) {
    (void)std::fprintf(stderr, "plcsim: unknown model: %s\nModels:", model);
    for (int r = 0; r < kPlcCount; ++r) (void)std::fprintf(stderr, " %s", PlcName(r));
    (void)std::fprintf(stderr, "\n");
    return 2;
  }
  opt.config = SimDefaultConfig(row);
  if (idSet) opt.config.appId = static_cast<uint16_t>(id);
  if (bootIdSet) opt.config.bootId = static_cast<uint16_t>(bootId);
  opt.config.d1386 = static_cast<uint16_t>(d1386);
  opt.config.d1148 = static_cast<uint16_t>(d1148);
  opt.config.version = static_cast<uint8_t>(version);
  opt.config.answerWakeUp = !noWakeUp;
  opt.config.startInBoot = boot;
  opt.config.seed = seed;
  // A pty always reports 8 bits and no parity: only the speed can be checked.
  opt.config.checkFraming = false;
  for (int i = 0; i < faultCount; ++i) {
    char error[160] = {};
    if (!SimAddFault(opt.config, faults[i], error, sizeof error)) {
      return UsageError("bad fault", error);
    }
  }
  return -1;
}

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

bool OpenPty(Server& srv) {
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

// The PLC comes and goes with its pty: printed, and behind the --link.
bool PlugIn(Server& srv, const Options& opt) {
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

void Unplug(Server& srv, const char* link) {
  if (link != nullptr) (void)unlink(link);
  for (int* fd : {&srv.notify, &srv.slave, &srv.master}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
  srv.toolOpens = 0;
  srv.pendingLen = 0;
}

bool OpenDevice(Server& srv, const char* path) {
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

// The UDC the gadget is bound to now, which the replug binds it to again.
bool ReadUdcName(Server& srv, const char* udcFile) {
  FILE* f = std::fopen(udcFile, "r");
  if (f == nullptr) return false;
  const bool read = std::fgets(srv.udcName, sizeof srv.udcName, f) != nullptr;
  (void)std::fclose(f);
  srv.udcName[std::strcspn(srv.udcName, "\n")] = '\0';
  return read && srv.udcName[0] != '\0';
}

// The gadget leaves the bus.  Unbound first: closing a tty whose host still
// reads would wait for unsent output.
void UnbindGadget(Server& srv, const Options& opt) {
  (void)WriteAttribute(opt.replugUdc, "\n");
  close(srv.master);
  srv.master = -1;
}

// The PLC resets into its bootloader and comes back on the bus, as a new
// device to the host.  The tool has its answer already; the pause lets the
// host take in what the gadget sent last.
bool Replug(Server& srv, const Options& opt) {
  poll(nullptr, 0, 200);
  UnbindGadget(srv, opt);
  poll(nullptr, 0, 100);
  if (!WriteAttribute(opt.replugUdc, srv.udcName) || !OpenDevice(srv, opt.device)) return false;
  SimReconnect(*srv.sim);
  srv.pendingLen = 0;
  if (opt.verbose) (void)std::fprintf(stderr, "plcsim: replugged on %s\n", srv.udcName);
  return true;
}

// An existing device shows nothing of the speed the host applied (a gadget's
// tty) or is the PLC's own UART: either way it listens at the speed its mode
// expects.
void ListenAsExpected(Server& srv) {
  const uint32_t expected = SimExpectedBaud(*srv.sim);
  srv.baud = expected != 0 ? expected : 9600;
  SimSetLine(*srv.sim, LineSettings{srv.baud, 8, 0, 0}, false);
}

void ReadSpeed(Server& srv, const Options& opt) {
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

// Time on the line for count characters of 10 bits at the applied speed.
uint64_t LineTimeUs(const Server& srv, uint64_t count) {
  return srv.baud > 1 ? count * 10u * 1000000u / srv.baud : 0;
}

void HandleNotify(Server& srv, const Options& opt) {
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

void QueueReplies(Server& srv, const Options& opt, uint64_t now) {
  const uint32_t before = srv.pendingLen;
  srv.pendingLen += SimTakeOutput(*srv.sim, srv.pending + srv.pendingLen,
                                  static_cast<uint32_t>(sizeof srv.pending) - srv.pendingLen);
  const uint32_t added = srv.pendingLen - before;
  if (added == 0) return;
  if (opt.lineRate) {
    // The reply goes out once the request is in, and takes its own time.
    const uint64_t start =
        srv.releaseAtUs > srv.inputFreeAtUs ? srv.releaseAtUs : srv.inputFreeAtUs;
    srv.releaseAtUs = (start > now ? start : now) + LineTimeUs(srv, added);
  } else {
    srv.releaseAtUs = now;
  }
}

void FlushReplies(Server& srv, uint64_t now) {
  if (srv.pendingLen == 0 || now < srv.releaseAtUs) return;
  // One write per reply burst.  What the line cannot take is lost, as from a
  // UART whose reader does not read: a tool that stops reading must not make
  // us spin.
  const ssize_t n = write(srv.master, srv.pending, srv.pendingLen);
  if (n < static_cast<ssize_t>(srv.pendingLen)) {
    srv.lostReplyBytes += srv.pendingLen - static_cast<uint32_t>(n > 0 ? n : 0);
  }
  srv.pendingLen = 0;
}

// False when the device is gone for good.
bool HandleInput(Server& srv, const Options& opt, uint64_t now) {
  uint8_t buf[4096];
  const ssize_t n = read(srv.master, buf, sizeof buf);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
  if (n <= 0) {
    if (opt.device == nullptr) return true;
    // The device hung up (its gadget was unbound elsewhere): it serves again
    // once it is back.
    close(srv.master);
    poll(nullptr, 0, 100);
    if (opt.verbose) (void)std::fprintf(stderr, "plcsim: %s hung up\n", opt.device);
    return OpenDevice(srv, opt.device);
  }
  if (opt.device != nullptr) {
    ListenAsExpected(srv);
  } else {
    ReadSpeed(srv, opt);
  }
  if (opt.lineRate) {
    const uint64_t start = srv.inputFreeAtUs > now ? srv.inputFreeAtUs : now;
    srv.inputFreeAtUs = start + LineTimeUs(srv, static_cast<uint64_t>(n));
  }
  srv.lastInputUs = now;
  const uint32_t listening = SimExpectedBaud(*srv.sim);
  if (opt.verbose && listening != 0 && listening != srv.baud) {
    (void)std::fprintf(stderr, "plcsim: %zd bytes at %u baud ignored (listening at %u)\n", n,
                       srv.baud, listening);
  }
  SimFeed(*srv.sim, buf, static_cast<uint32_t>(n));
  QueueReplies(srv, opt, now);
  return true;
}

bool WriteImage(const char* path, const PlcSim& sim) {
  FILE* f = std::fopen(path, "wb");
  if (f == nullptr) return false;
  const size_t n = std::fwrite(sim.image.data(), 1, sim.imageLength, f);
  const bool ok = std::fclose(f) == 0 && n == sim.imageLength;
  return ok;
}

// With --once, waits (briefly) until the tool has read the final ACK, so that
// our exit does not hang up the line under it.
void DrainBeforeExit(Server& srv) {
  const uint64_t deadline = NowUs() + 5000000u;
  while (!stopRequested && NowUs() < deadline) {
    FlushReplies(srv, NowUs());
    int queued = 0;
    if (srv.pendingLen == 0 &&
        (srv.toolOpens == 0 || (ioctl(srv.slave, FIONREAD, &queued) == 0 && queued == 0))) {
      break;
    }
    poll(nullptr, 0, 5);
  }
  poll(nullptr, 0, 20);
}

// waitMask is the signal mask inside ppoll, the only place where the stop
// signals are let through: one that comes after the stop check waits for
// the next ppoll, which takes it at once, rather than for the next event.
int Serve(Server& srv, const Options& opt, const sigset_t& waitMask) {
  bool transferStarted = false;
  while (!stopRequested) {
    if (unplugRequested) {
      unplugRequested = 0;
      if (srv.master >= 0) Unplug(srv, opt.link);
      if (opt.verbose) (void)std::fprintf(stderr, "plcsim: unplugged\n");
    }
    if (plugRequested) {
      plugRequested = 0;
      if (srv.master < 0 && !PlugIn(srv, opt)) return 1;
    }
    const uint64_t now = NowUs();
    // Wake for a reply that is due, or to drop a half-received request once
    // the line has been quiet; otherwise sleep until something happens.
    uint64_t waitUs = UINT64_MAX;
    if (SimHasPartialInput(*srv.sim)) {
      const uint64_t quietAt = srv.lastInputUs + kSimInterFrameGapMs * 1000u;
      waitUs = quietAt > now ? quietAt - now : 0;
    }
    if (srv.pendingLen > 0) {
      const uint64_t due = srv.releaseAtUs > now ? srv.releaseAtUs - now : 0;
      if (due < waitUs) waitUs = due;
    }
    const timespec timeout{static_cast<time_t>(waitUs / 1000000u),
                           static_cast<long>(waitUs % 1000000u) * 1000};
    pollfd fds[2] = {{srv.notify, POLLIN, 0}, {srv.master, POLLIN, 0}};
    const int ready = ppoll(fds, 2, waitUs == UINT64_MAX ? nullptr : &timeout, &waitMask);
    if (ready < 0 && errno != EINTR) {
      std::perror("plcsim: poll");
      return 1;
    }
    const uint64_t t = NowUs();
    // Opens first: bytes the tool wrote after opening follow its open.
    if (ready > 0 && (fds[0].revents & POLLIN)) HandleNotify(srv, opt);
    if (ready > 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
      if (!HandleInput(srv, opt, t)) {
        std::perror("plcsim: cannot open the device again");
        return 1;
      }
    } else if (SimHasPartialInput(*srv.sim) && t - srv.lastInputUs >= kSimInterFrameGapMs * 1000u) {
      SimIdle(*srv.sim, static_cast<uint32_t>((t - srv.lastInputUs) / 1000u));
    }
    if (opt.pullAtFrame != 0 && srv.sim->counters.frames >= opt.pullAtFrame) {
      UnbindGadget(srv, opt);
      if (opt.verbose) (void)std::fprintf(stderr, "plcsim: cable pulled\n");
      return 1;
    }
    FlushReplies(srv, NowUs());
    if (opt.replugUdc != nullptr && srv.sim->bootAtReconnect && srv.pendingLen == 0 &&
        !Replug(srv, opt)) {
      std::perror("plcsim: cannot bind the gadget again");
      return 1;
    }
    if (srv.sim->mode == SimMode::kBoot && srv.sim->phase == SimBootPhase::kTransfer) {
      transferStarted = true;
    }
    if (srv.sim->finalAcks != srv.finalAcksSeen && srv.pendingLen == 0) {
      const bool first = srv.finalAcksSeen == 0;
      srv.finalAcksSeen = srv.sim->finalAcks;
      if (first && opt.flashOut && !WriteImage(opt.flashOut, *srv.sim)) {
        (void)std::fprintf(stderr, "plcsim: cannot write %s\n", opt.flashOut);
      }
      if (opt.once) {
        srv.finished = true;
        DrainBeforeExit(srv);
        return SimTransferOk(*srv.sim) ? 0 : 1;
      }
    }
    if (opt.once && transferStarted && srv.sawClose && srv.toolOpens == 0 &&
        !srv.sim->transferDone) {
      return 1;  // the tool gave up on the transfer
    }
    srv.sawClose = false;
  }
  return opt.once ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  const int parsed = ParseOptions(argc, argv, opt);
  if (parsed >= 0) return parsed;

  static PlcSim sim;
  SimInit(sim, opt.config);
  static Server srv;
  srv.sim = &sim;
  if (opt.replugUdc != nullptr && !ReadUdcName(srv, opt.replugUdc)) {
    (void)std::fprintf(stderr, "plcsim: the gadget of %s is not bound\n", opt.replugUdc);
    return 1;
  }
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sa.sa_handler = OnPlugSignal;
  sigaction(SIGUSR1, &sa, nullptr);
  sigaction(SIGUSR2, &sa, nullptr);
  (void)std::signal(SIGPIPE, SIG_IGN);
  // Blocked from here on, whatever mask we were started with, except in
  // Serve's ppoll.
  sigset_t handled;
  sigset_t waitMask;
  sigemptyset(&handled);
  for (int signo : {SIGTERM, SIGINT, SIGUSR1, SIGUSR2}) sigaddset(&handled, signo);
  sigprocmask(SIG_BLOCK, &handled, &waitMask);
  sigdelset(&waitMask, SIGTERM);
  sigdelset(&waitMask, SIGINT);
  sigdelset(&waitMask, SIGUSR1);
  sigdelset(&waitMask, SIGUSR2);

  if (opt.device != nullptr) {
    if (!OpenDevice(srv, opt.device)) {
      std::perror(opt.device);
      return 1;
    }
    (void)std::snprintf(srv.slavePath, sizeof srv.slavePath, "%s", opt.device);
    (void)std::printf("%s\n", srv.slavePath);
    (void)std::fflush(stdout);
  } else if (!PlugIn(srv, opt)) {
    return 1;
  }
  const int status = Serve(srv, opt, waitMask);
  if (opt.verbose) {
    const SimCounters& c = sim.counters;
    (void)std::fprintf(stderr,
                       "plcsim: %s; %u frames (%u stored, %u repeated), %u NAKs, %u erase units, "
                       "%u bytes received, %u garbage bytes, %u reply bytes lost\n",
                       SimTransferOk(sim) ? "transfer complete" : "no complete transfer", c.frames,
                       c.framesStored, c.duplicates, c.naks, c.eraseUnits, sim.imageLength,
                       c.garbageBytes, srv.lostReplyBytes);
  }
  Unplug(srv, opt.link);
  return status;
}
