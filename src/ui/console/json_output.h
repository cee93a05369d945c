// plcfw --json: standard output carries one JSON object and nothing else,
// whatever way the run ends.  The message lines go into the object; notes,
// progress and the trace stay on standard error.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace plc {

using JsonObject = nlohmann::ordered_json;

inline constexpr int kJsonSchemaVersion = 1;

// Set once, before any output, from the command line.
void SetJsonOutput(bool on);
bool JsonOutput();
// Whether the arguments ask for --json, for a command line that cannot be
// parsed; "--" ends the options.
bool JsonAsked(int argc, const char* const* argv);
// The action a command line asks for, as the document names it ("burn"
// unless one of the others is given), for a command line that cannot be
// parsed.
const char* JsonActionAsked(int argc, const char* const* argv);

// A message line taken instead of printed (any thread).
void JsonTakeMessage(const char* caption, const char* text);

// The document: its head, then what the action adds (plcs, ports, models).
struct JsonEnd {
  const char* action;
  int exitStatus;
  const char* result;
  const char* reason;
  std::string error;  // a usage error's text; empty for none
};
JsonObject JsonDocument(const JsonEnd& end);
// One PLC's entry from its record (a JSON line), with the message lines
// taken so far.
JsonObject JsonPlcEntry(const std::string& recordLine);
// Writes the document to standard output with one write.
void JsonPrint(const JsonObject& document);

}  // namespace plc
