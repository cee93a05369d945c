#include "plcsim_signal_posix.h"

#include <poll.h>
#include <signal.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace plc {

namespace {

// Whether the process-wide pending set (or any thread's) of pid holds signo;
// false when the process is gone.
bool Pending(long pid, int signo) {
  char path[64];
  (void)std::snprintf(path, sizeof path, "/proc/%ld/status", pid);
  FILE* f = std::fopen(path, "r");
  if (f == nullptr) return false;
  char line[256];
  bool pending = false;
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (std::strncmp(line, "ShdPnd:", 7) != 0 && std::strncmp(line, "SigPnd:", 7) != 0) continue;
    const unsigned long long mask = std::strtoull(line + 7, nullptr, 16);
    if ((mask >> (signo - 1)) & 1u) pending = true;
  }
  (void)std::fclose(f);
  return pending;
}

}  // namespace

bool ParseSignalPlan(const char* text, SimSignalPlan* plan) {
  if (text == nullptr || text[0] == '-') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long frame = std::strtoul(text, &end, 10);
  if (errno != 0 || end == text || *end != ':' || frame == 0 || frame > 0xFFFFFF) return false;
  const struct {
    const char* name;
    int signo;
  } names[] = {{"INT", SIGINT}, {"TERM", SIGTERM}, {"HUP", SIGHUP}, {"QUIT", SIGQUIT}};
  for (const auto& n : names) {
    if (std::strcmp(end + 1, n.name) == 0) {
      plan->atFrame = static_cast<uint32_t>(frame);
      plan->signo = n.signo;
      return true;
    }
  }
  return false;
}

void SignalWhenDue(SimSignalPlan& plan, uint32_t frames) {
  if (plan.atFrame == 0 || plan.sent || frames < plan.atFrame || plan.pidFile == nullptr) return;
  long pid = 0;
  if (FILE* f = std::fopen(plan.pidFile, "r")) {
    if (std::fscanf(f, "%ld", &pid) != 1) pid = 0;
    (void)std::fclose(f);
  }
  plan.sent = true;
  plan.framesAtSignal = frames;
  if (pid <= 1 || kill(static_cast<pid_t>(pid), plan.signo) != 0) {
    std::perror("plcsim: cannot signal the tool");
    return;
  }
  for (int i = 0; i < 5000 && Pending(pid, plan.signo); ++i) (void)poll(nullptr, 0, 1);
}

}  // namespace plc
