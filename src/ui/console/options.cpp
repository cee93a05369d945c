#include "ui/console/options.h"

#include <CLI/CLI.hpp>
#include <string>
#include <utility>
#include <vector>

#include "state/models.h"
#include "state/nearest.h"
#include "ui/port_option.h"

namespace plc {

namespace {

// The options of plcfw, declared once for the parser and for --help.  A
// value option takes "--name VALUE", "--name=VALUE", "-n VALUE" and "-nVALUE";
// it may be given without a value so that the parser, not CLI11, says what
// is missing.  Given twice, the last one counts.
struct Declared {
  CLI::Option* port;
  CLI::Option* all;
  CLI::Option* model;
  CLI::Option* image;
  CLI::Option* log;
  CLI::Option* check;
  std::vector<std::pair<CLI::Option*, ConsoleAction>> actions;
};

// The flags --yes and --trace go straight into options.
Declared Declare(CLI::App& app, ConsoleOptions& options) {
  app.set_help_flag("-h,--help", "print this help and exit");
  app.allow_extras();
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.get_formatter()->column_width(24);
  app.footer(
      "Burns the firmware image built into this program into a PLC.  Every message\n"
      "is printed to standard output as one line, \"Caption: text\".  Without --yes a\n"
      "prompt waits for Enter on a terminal.  Progress goes to standard error.\n"
      "\n"
      "Exit status: 0 the update succeeded (--check: it would go ahead), 1 it failed\n"
      "and the PLC's program was not touched (see the ERROR line), 2 usage error,\n"
      "3 interrupted, 4 it failed after the erase (the PLC has no working program:\n"
      "switch it off and on, then run again), 5 another run or program holds the\n"
      "PLC (nothing was sent: try later).");
  auto value = [&app](const char* names, const char* type, const char* help) {
    return app.add_option(names)->description(help)->type_name(type)->expected(0, 1);
  };
  Declared d{};
  // Every --port counts: each names a PLC of the run.
  d.port = AddPortOption(app, "NAME|PATH",
                         "serial models: a listed port name (ttyUSB0) or a device path;\n"
                         "default: the first listed port.  USB models: the device path\n"
                         "to use instead of searching for the PLC's USB device.\n"
                         "Given several times: burns those PLCs in one run");
  d.all = app.add_flag("--all",
                       "USB models: burn every PLC of the model that the USB search\n"
                       "finds, in one run");
  d.model = value("-m,--model", "NAME",
                  "the model to burn or identify; another model than the\n"
                  "built-in image's needs --image (service use)");
  d.image =
      value("-i,--image", "FILE", "burn another image (service use); every check still applies");
  app.add_flag("-y,--yes", options.yes, "answer the replug and power-cycle prompts at once");
  app.add_flag("--trace", options.trace,
               "print every request and reply on the link to standard error");
  d.actions.emplace_back(app.add_flag("--identify",
                                      "tell which PLC is connected, changing nothing on it: one\n"
                                      "fact a line; exit 0 when it fits the model, else 1"),
                         ConsoleAction::kIdentify);
  d.check = app.add_flag("--check",
                         "a dry run: every check of a burn up to its first writing\n"
                         "request (image, port, probe, device, bootloader), nothing after");
  d.log = value("--log", "FILE", "append a record of the run to FILE (one JSON object a line)");
  app.add_flag("--json", options.json,
               "standard output is one JSON object (the messages in it), on\n"
               "every path; progress and notes stay on standard error");
  d.actions.emplace_back(app.add_flag("--list-ports",
                                      "print the present serial ports (a PLC's USB device with\n"
                                      "its stable /dev/serial/by-path name) and exit"),
                         ConsoleAction::kListPorts);
  d.actions.emplace_back(
      app.add_flag("--list-models",
                   "print the supported models with their link, device type ID,\n"
                   "largest image and what follows the erase command, and exit"),
      ConsoleAction::kListModels);
  d.actions.emplace_back(
      app.add_flag("-V,--version", "print the program and image versions and exit"),
      ConsoleAction::kVersion);
  // For the test tools: every text a box can show.  Not in --help.
  d.actions.emplace_back(app.add_flag("--list-messages")->group(""), ConsoleAction::kListMessages);
  return d;
}

// An argument that is no option: for a mistyped long option the nearest
// ones ("unknown option --prot; did you mean --port?").
std::string Unexpected(const CLI::App& app, const std::string& arg) {
  if (arg.rfind("--", 0) != 0 || arg.size() == 2) return "unexpected argument " + arg;
  std::vector<std::string> names;
  for (const CLI::Option* option : app.get_options()) {
    for (const std::string& name : option->get_lnames()) names.push_back(name);
  }
  const std::string typed = arg.substr(2, arg.find('=') - 2);
  std::vector<std::string> nearest = NearestNames(typed, names);
  std::string text = "unknown option " + arg;
  if (nearest.empty()) return text;
  for (std::string& name : nearest) name.insert(0, "--");
  return text + "; did you mean " + OneOf(nearest) + "?";
}

// The value of an option that was given; false when it came without one
// (or with an empty one).
bool TakeValue(const CLI::Option* option, std::string* value) {
  *value = option->as<std::string>();
  return !value->empty();
}

}  // namespace

std::string ModelNameList() {
  std::string names;
  for (int row = 0; row < kPlcCount; ++row) {
    if (row > 0) names += ", ";
    names += PlcName(row);
  }
  return names;
}

std::string ConsoleUsage() {
  CLI::App app("", "plcfw");
  ConsoleOptions unused;
  Declare(app, unused);
  return app.help();
}

bool ParseConsoleOptions(int argc, const char* const* argv, const char* defaultModel,
                         ConsoleOptions* options, std::string* error) {
  *options = ConsoleOptions{};
  CLI::App app("", "plcfw");
  // On Windows CLI11 would take "/dev/..." or "/x" for an option.
  app.allow_windows_style_options(false);
  const Declared d = Declare(app, *options);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    options->action = ConsoleAction::kHelp;
    return true;
  } catch (const CLI::ParseError& e) {
    *error = e.what();
    return false;
  }
  for (const std::string& arg : app.remaining()) {
    if (arg == "--") continue;
    *error = Unexpected(app, arg);
    return false;
  }

  // One action a run: two are a mistake, not the last one winning.
  std::string given;
  for (const auto& [flag, action] : d.actions) {
    if (flag->count() == 0) continue;
    const std::string name = "--" + flag->get_lnames().front();
    if (!given.empty()) {
      *error = given;
      *error += " and " + name + " cannot go together: give one of them";
      return false;
    }
    given = name;
    options->action = action;
  }

  if (d.check->count() > 0) {
    if (options->action != ConsoleAction::kBurn) {
      *error = given + " and --check cannot go together: give one of them";
      return false;
    }
    options->check = true;
  }
  if (d.log->count() > 0 && !TakeValue(d.log, &options->log)) {
    *error = "--log needs a file";
    return false;
  }
  if (options->json && options->log == "-") {
    *error = "--log - and --json both write standard output: give the record a file";
    return false;
  }
  if (d.port->count() > 0) {
    options->portGiven = true;
    for (const std::string& port : d.port->results()) {
      if (port.empty()) {
        *error = "--port needs a port name or a device path";
        return false;
      }
      // Two workers on one PLC: the second would find it held by the first.
      for (const std::string& earlier : options->ports) {
        if (earlier == port) {
          *error = "--port " + port + " is given twice";
          return false;
        }
      }
      options->ports.push_back(port);
    }
    options->port = options->ports.front();
  }
  options->all = d.all->count() > 0;
  if (options->all && options->portGiven) {
    *error = "--all and --port cannot go together: give one of them";
    return false;
  }
  if (SeveralPlcs(*options) && options->action == ConsoleAction::kIdentify) {
    *error = "--identify takes one PLC: give one --port";
    return false;
  }
  if (d.image->count() > 0) {
    options->imageGiven = true;
    if (!TakeValue(d.image, &options->image)) {
      *error = "--image needs a file";
      return false;
    }
  }

  const int imageModel = PlcIndexByName(defaultModel);
  if (d.model->count() > 0) {
    std::string typed;
    if (!TakeValue(d.model, &typed)) {
      *error = "--model needs a model name; the models are: " + ModelNameList();
      return false;
    }
    // From here on the row's own name counts, never what was typed.
    options->model = PlcIndexByTypedName(typed.c_str());
    if (options->model < 0) {
      const std::string nearest = NearestPlcNames(typed.c_str());
      *error = "unknown model '" + typed + "'; " +
               (nearest.empty() ? "the" : "did you mean " + nearest + "? The") +
               " models are: " + ModelNameList();
      return false;
    }
    // The built-in image is made for its own model: burnt into another
    // model's PLC it would break it, so another model needs its image.
    if (options->action == ConsoleAction::kBurn && !options->imageGiven && imageModel >= 0 &&
        options->model != imageModel) {
      *error = std::string("--model ") + PlcName(options->model) +
               " needs --image: the built-in image is for " + defaultModel;
      return false;
    }
  } else {
    options->model = imageModel;
    if (options->model < 0 &&
        (options->action == ConsoleAction::kBurn || options->action == ConsoleAction::kIdentify)) {
      *error = std::string("the built-in image names no known model ('") + defaultModel +
               "'); choose one with --model: " + ModelNameList();
      return false;
    }
  }
  // A serial port does not say what is attached to it: probing them all
  // would send frames to whatever else is there.
  if (options->all && options->model >= 0 && !IsUsbModel(options->model)) {
    *error = std::string("--all searches for USB PLCs and ") + PlcName(options->model) +
             " is a serial model: probing every serial port would send frames to whatever "
             "else is attached; name its ports with --port";
    return false;
  }
  return true;
}

}  // namespace plc
