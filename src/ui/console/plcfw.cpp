#include "ui/console/plcfw.h"

#include <cstdio>
#include <string>

#include "state/image.h"
#include "state/models.h"
#include "ui/console/burn_command.h"
#include "ui/console/identify_command.h"
#include "ui/console/json_output.h"
#include "ui/console/list_command.h"
#include "ui/console/options.h"
#include "ui/console/record.h"
#include "ui/console/several_command.h"
#include "ui/console/terminal.h"
#include "ui/console/version.h"

namespace plc {

namespace {

// A usage error: the line on standard error, and under --json the document
// that says so (the action as far as the arguments tell it).
int UsageError(int argc, const char* const* argv, const std::string& error, bool hint) {
  (void)std::fprintf(stderr, "plcfw: %s\n%s", error.c_str(),
                     hint ? "Try 'plcfw --help' for more information.\n" : "");
  if (JsonAsked(argc, argv)) {
    JsonPrint(JsonDocument(
        {JsonActionAsked(argc, argv), kExitUsage, "usage", ReasonName(Reason::kUsage), error}));
  }
  return kExitUsage;
}

// A list under --json: the document with what was listed.
int ListedJson(const char* action, const char* key, JsonObject list) {
  JsonObject doc = JsonDocument({action, kExitSuccess, "listed", ReasonName(Reason::kOk), ""});
  doc[key] = std::move(list);
  JsonPrint(doc);
  return kExitSuccess;
}

}  // namespace

int PlcfwMain(int argc, const char* const* argv) {
  OpenMissingStandardDescriptors();
  const char* imageName = EmbeddedFirmwareName();
  char defaultModel[kPlcNameSize] = {};
  ModelPrefixOf(imageName, defaultModel, sizeof defaultModel);

  ConsoleOptions options;
  std::string error;
  if (!ParseConsoleOptions(argc, argv, defaultModel, &options, &error) ||
      PromptRefused(options, &error)) {
    return UsageError(argc, argv, error, true);
  }
  SetJsonOutput(options.json);
  const bool recorded =
      options.action == ConsoleAction::kBurn || options.action == ConsoleAction::kIdentify;
  // Before anything touches the PLC: a record that cannot be kept is a usage error.
  if (recorded && !options.log.empty() && !BurnLogOpen(options.log.c_str(), &error)) {
    return UsageError(argc, argv, error, false);
  }
  switch (options.action) {
    case ConsoleAction::kIdentify:
      return RunIdentify(options);
    case ConsoleAction::kHelp:
      (void)std::fputs(ConsoleUsage().c_str(), stdout);
      return kExitSuccess;
    case ConsoleAction::kVersion:
      std::printf("plcfw %s\nbuilt-in image %s (%u bytes) for %s\n", ToolVersion(), imageName,
                  EmbeddedFirmwareImage().length, defaultModel);
      return kExitSuccess;
    case ConsoleAction::kListModels:
      if (options.json) return ListedJson("list-models", "models", ModelListJson());
      ListModels();
      return kExitSuccess;
    case ConsoleAction::kListPorts:
      if (options.json) return ListedJson("list-ports", "ports", PortListJson());
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
