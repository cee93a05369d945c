#include "ui/port_option.h"

#include <CLI/CLI.hpp>

namespace plc {

CLI::Option* AddPortOption(CLI::App& app, const char* typeName, const char* help) {
  return app.add_option("-p,--port")
      ->description(help)
      ->type_name(typeName)
      ->expected(0, 1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

}  // namespace plc
