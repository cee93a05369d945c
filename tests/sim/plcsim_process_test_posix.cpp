// plcsim as a process: its stop signal.  Its pty, its --once and its
// --flash-out serve every process test of plcfw.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Started through a shell that says its pid and execs plcsim in its place.
struct PlcSimProcess {
  explicit PlcSimProcess(const std::string& args)
      : out(popen(("echo $$; exec '" PLCSIM_PATH "' " + args + " 2>/dev/null").c_str(), "r")) {
    char line[32] = {};
    pid = std::fgets(line, sizeof line, out) ? std::atoi(line) : -1;
  }
  ~PlcSimProcess() {
    if (pid > 0) kill(pid, SIGKILL);
    pclose(out);
  }
  int Wait() {  // the exit status; -1 when it has not ended within 5 s
    int status = 0;
    for (int i = 0; i < 500 && pid > 0; ++i, usleep(10000))
      if (waitpid(pid, &status, WNOHANG) == pid) pid = -1;
    return pid < 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  FILE* out;
  pid_t pid;
};

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
  char pty[256] = {};
  ASSERT_TRUE(std::fgets(pty, sizeof pty, sim.out));  // it is up once it names its pty
  kill(sim.pid, SIGTERM);
  EXPECT_EQ(sim.Wait(), 0);
}

}  // namespace
