#include "plcsim_options.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <string>
#include <tuple>
#include <vector>

#include "state/models.h"
#include "state/nearest.h"

namespace plc {

namespace {

const char kAbout[] =
    "A simulated PLC on a pseudo-terminal.  The first line of standard output is\n"
    "the path of the pty's slave: point the tool at it.  Serves until SIGTERM or\n"
    "SIGINT, or with --once until the first transfer ends.\n"
    "\n"
    "SIGUSR1 unplugs the PLC: the pty and the --link go away.  SIGUSR2 plugs it\n"
    "in again on a new pty, whose path is printed as another line, with the\n"
    "--link made anew.  Plugging in is a power cycle: after an accepted erase,\n"
    "and after a transfer cut off, the PLC starts in its bootloader (ready for\n"
    "\"ID\"); after a complete transfer, in the new program.  The tool's own close\n"
    "and reopen of the link is no power cycle: a transfer cut off there waits\n"
    "for its next block.\n"
    "\n";

// The options, for the parser and for --help.  A value option may come
// without its value, so that the parser says what is missing; given twice,
// the last one counts (--fault adds one fault each time).
struct Declared {
  CLI::Option* model;
  CLI::Option* flashOut;
  CLI::Option* fault;
  CLI::Option* seed;
  CLI::Option* id;
  CLI::Option* bootId;
  CLI::Option* d1386;
  CLI::Option* d1148;
  CLI::Option* version;
  CLI::Option* link;
  CLI::Option* device;
  CLI::Option* replugUdc;
  CLI::Option* pullAtFrame;
  CLI::Option* signalAt;
  CLI::Option* toolPid;
  CLI::Option* listModels;
  CLI::Option* modelTable;
};

Declared Declare(CLI::App& app, SimOptions& opt, bool& noWakeUp, bool& boot) {
  app.set_help_flag("-h,--help", "this text");
  app.allow_extras();
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.get_formatter()->column_width(22);
  app.footer(std::string(kAbout) + kSimFaultGrammar);
  auto value = [&app](const char* names, const char* type, const char* help) {
    return app.add_option(names)->description(help)->type_name(type)->expected(0, 1);
  };
  Declared d{};
  d.model = value("-m,--model", "NAME", "model to play (see --list-models)");
  d.flashOut = value("--flash-out", "FILE",
                     "write the received image to FILE when the final EOT of a\n"
                     "transfer is acknowledged, anew at every transfer (the\n"
                     "data of every stored frame, the filler of the last frame\n"
                     "included)");
  d.fault = value("--fault", "SPEC", "commit a fault (repeatable; grammar below)")
                ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  d.seed = value("--seed", "N", "seed of the random faults (default 1)");
  app.add_flag("--line-rate", opt.lineRate,
               "every character takes its time on a real line at the\n"
               "applied speed (10 bit times)");
  app.add_flag("--once", opt.once,
               "end after the first transfer: exit 0 when the image\n"
               "arrived complete with every CRC good, 1 when the tool\n"
               "closed the link between \"UPDATE\" and the final EOT");
  d.id = value("--id", "HEX", "device type ID reported in application mode");
  d.bootId = value("--boot-id", "HEX", "device type ID reported by the bootloader");
  d.d1386 = value("--d1386", "HEX", "value of register D1386 (default 0)");
  d.d1148 = value("--d1148", "HEX", "value of register D1148 (default 0)");
  d.version = value("--version", "HEX", "version byte (default 10, i.e. V1.0)");
  app.add_flag("--no-wakeup-answer", noWakeUp, "do not answer the wake-up frames");
  app.add_flag("--boot", boot, "power up in the bootloader");
  d.link = value("--link", "PATH", "keep PATH a symbolic link to the pty while plugged in");
  app.add_flag("--verbose", opt.verbose, "report reconnects, speeds and the outcome on stderr");
  d.device = value("--device", "PATH",
                   "serve this tty (a USB gadget's /dev/ttyGS0, say) instead\n"
                   "of a new pty");
  d.replugUdc = value("--replug-udc", "FILE",
                      "with --device: the gadget's UDC file in configfs; the\n"
                      "PLC re-enumerates after the erase/enter-boot command by\n"
                      "unbinding the gadget and binding it to its UDC again");
  d.pullAtFrame = value("--pull-at-frame", "N",
                        "with --replug-udc: unbind the gadget at block frame N\n"
                        "and leave it unbound (the cable pulled mid-transfer)");
  d.signalAt = value("--signal-at", "N:SIG",
                     "at block frame N send the tool SIGSIG (INT, TERM, HUP or\n"
                     "QUIT), wait until it has taken it, then acknowledge;\n"
                     "the tool's process id is read from --tool-pid FILE.\n"
                     "The block frames that arrive after it are reported");
  d.toolPid = value("--tool-pid", "FILE", "the file that holds the tool's process id");
  d.listModels = app.add_flag("--list-models", "print the 24 model names");
  d.modelTable =
      app.add_flag("--model-table", "print every model's facts, tab-separated, one row a model");
  return d;
}

// The value of a given option, kept for the program's life (the options
// hold plain pointers); nullptr when it came without one.
const char* Kept(const CLI::Option* option) {
  static std::list<std::string> kept;
  std::string value = option->as<std::string>();
  if (value.empty()) return nullptr;
  return kept.emplace_back(std::move(value)).c_str();
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

}  // namespace

int ParseOptions(int argc, char** argv, SimOptions& opt) {
  bool noWakeUp = false, boot = false;
  CLI::App app("", "plcsim");
  const Declared d = Declare(app, opt, noWakeUp, boot);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    (void)std::fputs(app.help().c_str(), stdout);
    return 0;
  } catch (const CLI::ParseError& e) {
    return UsageError(e.what(), nullptr);
  }
  for (const std::string& arg : app.remaining()) {
    if (arg == "--") continue;
    // A mistyped long option: the nearest ones ("--modle": --model).
    std::vector<std::string> names;
    for (const CLI::Option* option : app.get_options()) {
      for (const std::string& name : option->get_lnames()) names.push_back(name);
    }
    const std::string typed = arg.rfind("--", 0) == 0 ? arg.substr(2, arg.find('=') - 2) : "";
    std::vector<std::string> nearest = NearestNames(typed, names);
    for (std::string& name : nearest) name.insert(0, "--");
    const std::string text = nearest.empty() ? arg : arg + "; did you mean " + OneOf(nearest) + "?";
    return UsageError("unknown option", text.c_str());
  }
  if (d.listModels->count() > 0) {
    for (int row = 0; row < kPlcCount; ++row) (void)std::printf("%s\n", PlcName(row));
    return 0;
  }
  if (d.modelTable->count() > 0) {
    SimPrintModelTable(stdout);
    return 0;
  }

  // Each given option's value, or why it is refused.
  auto given = [](const CLI::Option* option) { return option->count() > 0; };
  const char* model = nullptr;
  if (given(d.model) && (model = Kept(d.model)) == nullptr) {
    return UsageError("--model needs a name", nullptr);
  }
  if (given(d.flashOut) && (opt.flashOut = Kept(d.flashOut)) == nullptr) {
    return UsageError("--flash-out needs a file", nullptr);
  }
  if (given(d.link) && (opt.link = Kept(d.link)) == nullptr) {
    return UsageError("--link needs a path", nullptr);
  }
  if (given(d.device) && (opt.device = Kept(d.device)) == nullptr) {
    return UsageError("--device needs a path", nullptr);
  }
  if (given(d.replugUdc) && (opt.replugUdc = Kept(d.replugUdc)) == nullptr) {
    return UsageError("--replug-udc needs a file", nullptr);
  }
  if (given(d.toolPid) && (opt.signal.pidFile = Kept(d.toolPid)) == nullptr) {
    return UsageError("--tool-pid needs a file", nullptr);
  }
  const std::vector<std::string> faults = d.fault->results();
  if (faults.size() > static_cast<size_t>(kSimMaxFaults)) {
    return UsageError("too many faults", faults[kSimMaxFaults].c_str());
  }
  for (const std::string& fault : faults) {
    if (fault.empty()) return UsageError("--fault needs a fault", nullptr);
  }
  unsigned long long seed = 1;
  if (given(d.seed)) {
    const std::string v = d.seed->as<std::string>();
    char* end = nullptr;
    seed = std::strtoull(v.c_str(), &end, 10);
    if (v.empty() || *end != '\0' || v[0] == '-')
      return UsageError("--seed needs a number", v.c_str());
  }
  // A hex option: its value, or the usage error's text.
  uint32_t id = 0, bootId = 0, d1386 = 0, d1148 = 0, version = 0x10;
  const std::tuple<CLI::Option*, uint32_t, uint32_t*, const char*> hexes[] = {
      {d.id, 0xFFFF, &id, "--id needs a hex ID"},
      {d.bootId, 0xFFFF, &bootId, "--boot-id needs a hex ID"},
      {d.d1386, 0xFFFF, &d1386, "bad --d1386"},
      {d.d1148, 0xFFFF, &d1148, "bad --d1148"},
      {d.version, 0xFF, &version, "bad --version"},
  };
  for (const auto& [option, max, out, refusal] : hexes) {
    const std::string v = given(option) ? option->as<std::string>() : "";
    if (given(option) && !ParseHex(v.c_str(), max, out)) return UsageError(refusal, v.c_str());
  }
  if (given(d.pullAtFrame)) {
    const std::string v = d.pullAtFrame->as<std::string>();
    char* end = nullptr;
    const unsigned long frame = std::strtoul(v.c_str(), &end, 10);
    if (v.empty() || *end != '\0' || frame == 0 || frame > 0xFFFFFF || v[0] == '-') {
      return UsageError("--pull-at-frame needs a frame number", v.c_str());
    }
    opt.pullAtFrame = static_cast<uint32_t>(frame);
  }
  if (given(d.signalAt)) {
    const std::string v = d.signalAt->as<std::string>();
    if (!ParseSignalPlan(v.c_str(), &opt.signal)) {
      return UsageError("--signal-at needs FRAME:SIGNAL (INT, TERM, HUP, QUIT)", v.c_str());
    }
  }
  if (model == nullptr) return UsageError("--model is required", nullptr);
  if (opt.replugUdc != nullptr && opt.device == nullptr) {
    return UsageError("--replug-udc needs --device", nullptr);
  }
  if (opt.pullAtFrame != 0 && opt.replugUdc == nullptr) {
    return UsageError("--pull-at-frame needs --replug-udc", nullptr);
  }
  const int row = PlcIndexByTypedName(model);
  if (row < 0) {
    const std::string nearest = NearestPlcNames(model);
    const std::string hint = nearest.empty() ? "" : "; did you mean " + nearest + "?";
    (void)std::fprintf(stderr, "plcsim: unknown model: %s%s\nModels:", model, hint.c_str());
    for (int r = 0; r < kPlcCount; ++r) (void)std::fprintf(stderr, " %s", PlcName(r));
    (void)std::fprintf(stderr, "\n");
    return 2;
  }
  opt.config = SimDefaultConfig(row);
  if (given(d.id)) opt.config.appId = static_cast<uint16_t>(id);
  if (given(d.bootId)) opt.config.bootId = static_cast<uint16_t>(bootId);
  opt.config.d1386 = static_cast<uint16_t>(d1386);
  opt.config.d1148 = static_cast<uint16_t>(d1148);
  opt.config.version = static_cast<uint8_t>(version);
  opt.config.answerWakeUp = !noWakeUp;
  opt.config.startInBoot = boot;
  opt.config.seed = seed;
  // A pty always reports 8 bits and no parity: only the speed can be checked.
  opt.config.checkFraming = false;
  for (const std::string& fault : faults) {
    std::string why;
    if (!SimAddFault(opt.config, fault.c_str(), &why)) {
      return UsageError("bad fault", why.c_str());
    }
  }
  return -1;
}

}  // namespace plc
