#include "plcsim_options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "state/models.h"

namespace plc {

namespace {

const char kUsage[] =
    "Usage: plcsim --model NAME [options]\n"
    "\n"
    "A simulated PLC on a pseudo-terminal.  The first line of standard output is\n"
    "the path of the pty's slave: point the tool at it.  Serves until SIGTERM or\n"
    "SIGINT, or with --once until the first transfer ends.\n"
    "\n"
    "Options:\n"
    "  --model NAME        model to play (see --list-models)\n"
    "  --flash-out FILE    write the received image to FILE when the final EOT of a\n"
    "                      transfer is acknowledged, anew at every transfer (the\n"
    "                      data of every stored frame, the filler of the last frame\n"
    "                      included)\n"
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
    "  --signal-at N:SIG   at block frame N send the tool SIGSIG (INT, TERM, HUP or\n"
    "                      QUIT), wait until it has taken it, then acknowledge;\n"
    "                      the tool's process id is read from --tool-pid FILE.\n"
    "                      The block frames that arrive after it are reported\n"
    "  --tool-pid FILE     the file that holds the tool's process id\n"
    "  --list-models       print the 24 model names\n"
    "  --model-table       print every model's facts, tab-separated, one row a model\n"
    "  --help              this text\n"
    "\n"
    "SIGUSR1 unplugs the PLC: the pty and the --link go away.  SIGUSR2 plugs it\n"
    "in again on a new pty, whose path is printed as another line, with the\n"
    "--link made anew.  Plugging in is a power cycle: after an accepted erase,\n"
    "and after a transfer cut off, the PLC starts in its bootloader (ready for\n"
    "\"ID\"); after a complete transfer, in the new program.  The tool's own close\n"
    "and reopen of the link is no power cycle: a transfer cut off there waits\n"
    "for its next block.\n"
    "\n";

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

}  // namespace

int ParseOptions(int argc, char** argv, SimOptions& opt) {
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
    } else if (std::strcmp(a, "--signal-at") == 0) {
      if (!value(&v) || !ParseSignalPlan(v, &opt.signal))
        return UsageError("--signal-at needs FRAME:SIGNAL (INT, TERM, HUP, QUIT)", v);
    } else if (std::strcmp(a, "--tool-pid") == 0) {
      if (!value(&opt.signal.pidFile)) return UsageError("--tool-pid needs a file", nullptr);
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

}  // namespace plc
