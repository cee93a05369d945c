#include "ui/console/plcfw.h"

#include <cstdio>
#include <string>

#include "state/image.h"
#include "state/models.h"
#include "ui/console/burn_command.h"
#include "ui/console/identify_command.h"
#include "ui/console/list_command.h"
#include "ui/console/options.h"
#include "ui/console/record.h"
#include "ui/console/several_command.h"
#include "ui/console/terminal.h"

namespace plc {

#ifndef PLC_VERSION
#define PLC_VERSION "unknown"
#endif

int PlcfwMain(int argc, const char* const* argv) {
  OpenMissingStandardDescriptors();
  const char* imageName = EmbeddedFirmwareName();
  char defaultModel[kPlcNameSize] = {};
  ModelPrefixOf(imageName, defaultModel, sizeof defaultModel);

  ConsoleOptions options;
  std::string error;
  if (!ParseConsoleOptions(argc, argv, defaultModel, &options, &error) ||
      PromptRefused(options, &error)) {
    (void)std::fprintf(stderr, "plcfw: %s\nTry 'plcfw --help' for more information.\n",
                       error.c_str());
    return kExitUsage;
  }
  const bool recorded =
      options.action == ConsoleAction::kBurn || options.action == ConsoleAction::kIdentify;
  // Before anything touches the PLC: a record that cannot be kept is a usage error.
  if (recorded && !options.log.empty() && !BurnLogOpen(options.log.c_str(), &error)) {
    (void)std::fprintf(stderr, "plcfw: %s\n", error.c_str());
    return kExitUsage;
  }
  switch (options.action) {
    case ConsoleAction::kIdentify:
      return RunIdentify(options);
    case ConsoleAction::kHelp:
      (void)std::fputs(ConsoleUsage().c_str(), stdout);
      return kExitSuccess;
    case ConsoleAction::kVersion:
      std::printf("plcfw %s\nbuilt-in image %s (%u bytes) for %s\n", PLC_VERSION, imageName,
                  EmbeddedFirmwareImage().length, defaultModel);
      return kExitSuccess;
    case ConsoleAction::kListModels:
      ListModels();
      return kExitSuccess;
    case ConsoleAction::kListPorts:
      ListPorts();
      return kExitSuccess;
    case ConsoleAction::kListMessages:
      ListMessages();
      return kExitSuccess;
    case ConsoleAction::kBurn:
      break;
  }
  return SeveralPlcs(options) ? RunSeveral(options) : RunBurn(options);
}

}  // namespace plc
