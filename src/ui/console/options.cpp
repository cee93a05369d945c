#include "ui/console/options.h"

#include <cstring>
#include <string>

#include "state/models.h"

namespace plc {

namespace {

// "--name value" or "--name=value".  Returns false when the option is not
// name; sets missing when the value is absent.
bool TakeValue(int argc, const char* const* argv, int& i, const char* name, std::string* value,
               bool* missing) {
  const char* arg = argv[i];
  size_t n = std::strlen(name);
  if (std::strncmp(arg, name, n) != 0) return false;
  if (arg[n] == '=') {
    *value = arg + n + 1;
    return true;
  }
  if (arg[n] != '\0') return false;
  if (i + 1 >= argc) {
    *missing = true;
    return true;
  }
  *value = argv[++i];
  return true;
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

const char* ConsoleUsage() {
  return "Usage: plcfw [OPTION]...\n"
         "Burns the firmware image built into this program into a PLC.\n"
         "\n"
         "  --port NAME|PATH  serial models: a listed port name (ttyUSB0) or a device path;\n"
         "                    default: the first listed port.  USB models: the device path\n"
         "                    to use instead of searching for the PLC's USB device\n"
         "  --model NAME      burn for another model than the image's (service use)\n"
         "  --image FILE      burn another image (service use); every check still applies\n"
         "  --yes             answer the replug and power-cycle prompts at once\n"
         "  --trace           print every request and reply on the link to standard error\n"
         "  --identify        tell which PLC is connected, changing nothing on it: one fact\n"
         "                    a line; exit 0 when it fits the model, else 1\n"
         "  --log FILE        append a record of the run to FILE (one JSON object a line)\n"
         "  --list-ports      print the present serial ports (a PLC's USB device with its\n"
         "                    stable /dev/serial/by-path name) and exit\n"
         "  --list-models     print the supported models and exit\n"
         "  --version         print the program and image versions and exit\n"
         "  --help            print this help and exit\n"
         "\n"
         "Every message is printed to standard output as one line, \"Caption: text\".\n"
         "Without --yes a prompt waits for Enter on a terminal.  Progress goes to\n"
         "standard error.\n"
         "\n"
         "Exit status: 0 the update succeeded, 1 it failed (see the ERROR line),\n"
         "2 usage error, 3 interrupted.\n";
}

bool ParseConsoleOptions(int argc, const char* const* argv, const char* defaultModel,
                         ConsoleOptions* options, std::string* error) {
  *options = ConsoleOptions{};
  std::string modelName;
  bool modelGiven = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    std::string value;
    bool missing = false;
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      options->action = ConsoleAction::kHelp;
    } else if (std::strcmp(arg, "--version") == 0) {
      options->action = ConsoleAction::kVersion;
    } else if (std::strcmp(arg, "--list-ports") == 0) {
      options->action = ConsoleAction::kListPorts;
    } else if (std::strcmp(arg, "--list-models") == 0) {
      options->action = ConsoleAction::kListModels;
    } else if (std::strcmp(arg, "--list-messages") == 0) {
      options->action = ConsoleAction::kListMessages;
    } else if (std::strcmp(arg, "--yes") == 0 || std::strcmp(arg, "-y") == 0) {
      options->yes = true;
    } else if (std::strcmp(arg, "--trace") == 0) {
      options->trace = true;
    } else if (std::strcmp(arg, "--identify") == 0) {
      options->action = ConsoleAction::kIdentify;
    } else if (TakeValue(argc, argv, i, "--log", &value, &missing)) {
      if (missing || value.empty()) {
        *error = "--log needs a file";
        return false;
      }
      options->log = value;
    } else if (TakeValue(argc, argv, i, "--port", &value, &missing)) {
      if (missing) {
        *error = "--port needs a port name or a device path";
        return false;
      }
      if (value.empty()) {
        *error = "--port needs a port name or a device path, not an empty text";
        return false;
      }
      options->portGiven = true;
      options->port = value;
    } else if (TakeValue(argc, argv, i, "--model", &value, &missing)) {
      if (missing) {
        *error = "--model needs a model name; the models are: " + ModelNameList();
        return false;
      }
      modelGiven = true;
      modelName = value;
    } else if (TakeValue(argc, argv, i, "--image", &value, &missing)) {
      if (missing || value.empty()) {
        *error = "--image needs a file";
        return false;
      }
      options->imageGiven = true;
      options->image = value;
    } else {
      *error = std::string(arg[0] == '-' ? "unknown option " : "unexpected argument ") + arg;
      return false;
    }
  }
  if (modelGiven) {
    options->model = PlcIndexByName(modelName.c_str());
    if (options->model < 0) {
      *error = "unknown model '" + modelName + "'; the models are: " + ModelNameList();
      return false;
    }
  } else {
    options->model = PlcIndexByName(defaultModel);
    if (options->model < 0 &&
        (options->action == ConsoleAction::kBurn || options->action == ConsoleAction::kIdentify)) {
      *error = std::string("the built-in image names no known model ('") + defaultModel +
               "'); choose one with --model: " + ModelNameList();
      return false;
    }
  }
  return true;
}

}  // namespace plc
