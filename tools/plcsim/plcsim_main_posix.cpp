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
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "plcsim_line_posix.h"
#include "plcsim_options.h"
#include "sim_device.h"

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

// Time on the line for count characters of 10 bits at the applied speed.
uint64_t LineTimeUs(const SimServer& srv, uint64_t count) {
  return srv.baud > 1 ? count * 10u * 1000000u / srv.baud : 0;
}

void QueueReplies(SimServer& srv, const SimOptions& opt, uint64_t now) {
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

void FlushReplies(SimServer& srv, uint64_t now) {
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
bool HandleInput(SimServer& srv, const SimOptions& opt, uint64_t now) {
  uint8_t buf[4096];
  const ssize_t n = read(srv.master, buf, sizeof buf);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
  if (n <= 0) {
    if (opt.device == nullptr) return true;
    // The device hung up (its gadget was unbound elsewhere, the PLC lost
    // its power): it serves again once it is back, started afresh.
    close(srv.master);
    poll(nullptr, 0, 100);
    if (opt.verbose) (void)std::fprintf(stderr, "plcsim: %s hung up\n", opt.device);
    if (!OpenDevice(srv, opt.device)) return false;
    PowerCycle(srv, opt);
    return true;
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

// Written beside the file and renamed over it: a reader sees the last
// transfer's image whole, never one half rewritten by the next.
bool WriteImage(const char* path, const PlcSim& sim) {
  char temp[4096];
  if (std::snprintf(temp, sizeof temp, "%s.part", path) >= static_cast<int>(sizeof temp)) {
    return false;
  }
  FILE* f = std::fopen(temp, "wb");
  if (f == nullptr) return false;
  const size_t n = std::fwrite(sim.image.data(), 1, sim.imageLength, f);
  const bool ok = std::fclose(f) == 0 && n == sim.imageLength;
  if (!ok || std::rename(temp, path) != 0) {
    (void)std::remove(temp);
    return false;
  }
  return true;
}

// With --once, waits (briefly) until the tool has read the final ACK, so that
// our exit does not hang up the line under it.
void DrainBeforeExit(SimServer& srv) {
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
int Serve(SimServer& srv, SimOptions& opt, const sigset_t& waitMask) {
  bool transferStarted = false;
  while (!stopRequested) {
    if (unplugRequested) {
      unplugRequested = 0;
      if (srv.master >= 0) Unplug(srv, opt.link);
      if (opt.verbose) (void)std::fprintf(stderr, "plcsim: unplugged\n");
    }
    if (plugRequested) {
      plugRequested = 0;
      if (srv.master < 0) {
        PowerCycle(srv, opt);
        if (!PlugIn(srv, opt)) return 1;
      }
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
    // Before the replies go out: the acknowledgement of the signal's frame
    // follows the signal.
    SignalWhenDue(opt.signal, srv.sim->counters.frames);
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
      srv.finalAcksSeen = srv.sim->finalAcks;
      // Once a transfer: the final ACK's resends leave the image as it is.
      if (srv.sim->finishedTransfers != srv.transfersWritten) {
        srv.transfersWritten = srv.sim->finishedTransfers;
        if (opt.flashOut && !WriteImage(opt.flashOut, *srv.sim)) {
          (void)std::fprintf(stderr, "plcsim: cannot write %s\n", opt.flashOut);
        }
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
  SimOptions opt;
  const int parsed = ParseOptions(argc, argv, opt);
  if (parsed >= 0) return parsed;

  static PlcSim sim;
  SimInit(sim, opt.config);
  static SimServer srv;
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
    (void)std::fprintf(stderr, "plcsim: %u writing requests\n", SimWritingRequests(sim));
  }
  if (opt.signal.sent) {
    (void)std::fprintf(stderr, "plcsim: %u block frames after the signal\n",
                       sim.counters.frames - opt.signal.framesAtSignal);
  }
  Unplug(srv, opt.link);
  return status;
}
