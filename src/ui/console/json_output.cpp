#include "ui/console/json_output.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace plc {

namespace {

std::atomic<bool> jsonOn{false};
// The burn thread takes the lines while the main thread may end the run.
std::mutex takenLock;
JsonObject taken = JsonObject::array();

bool OptionsEnd(const char* arg) {
  return std::strcmp(arg, "--") == 0;
}

}  // namespace

void SetJsonOutput(bool on) {
  jsonOn = on;
}

bool JsonOutput() {
  return jsonOn;
}

bool JsonAsked(int argc, const char* const* argv) {
  for (int i = 1; i < argc && !OptionsEnd(argv[i]); ++i) {
    if (std::strcmp(argv[i], "--json") == 0) return true;
  }
  return false;
}

const char* JsonActionAsked(int argc, const char* const* argv) {
  static const char* const kActions[][2] = {{"--identify", "identify"},
                                            {"--check", "check"},
                                            {"--list-ports", "list-ports"},
                                            {"--list-models", "list-models"}};
  for (int i = 1; i < argc && !OptionsEnd(argv[i]); ++i) {
    for (const auto& action : kActions) {
      if (std::strcmp(argv[i], action[0]) == 0) return action[1];
    }
  }
  return "burn";
}

void JsonTakeMessage(const char* caption, const char* text) {
  std::lock_guard<std::mutex> hold(takenLock);
  taken.push_back({{"caption", caption}, {"text", text}});
}

JsonObject JsonDocument(const JsonEnd& end) {
  JsonObject doc;
  doc["schemaVersion"] = kJsonSchemaVersion;
  doc["action"] = end.action;
  doc["exitStatus"] = end.exitStatus;
  doc["result"] = end.result;
  doc["reason"] = end.reason;
  if (!end.error.empty()) doc["error"] = end.error;
  doc["plcs"] = JsonObject::array();
  return doc;
}

JsonObject JsonPlcEntry(const std::string& recordLine) {
  JsonObject entry = JsonObject::parse(recordLine, nullptr, false);
  if (!entry.is_object()) entry = JsonObject::object();
  // The record's own line names the port; the label is what a person
  // calls this PLC among several (today the same).
  if (entry.contains("port")) entry["label"] = entry["port"];
  std::lock_guard<std::mutex> hold(takenLock);
  entry["messages"] = taken;
  return entry;
}

void JsonPrint(const JsonObject& document) {
  // Texts from the command line or a device need not be UTF-8.
  const std::string text =
      document.dump(-1, ' ', false, JsonObject::error_handler_t::replace) + "\n";
  (void)std::fwrite(text.data(), 1, text.size(), stdout);
  (void)std::fflush(stdout);
}

}  // namespace plc
