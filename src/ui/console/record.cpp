// The burn record (--log FILE): one JSON object per run on one line, written
// with one append when the run ends and flushed to the disk before the
// program exits, so that runs sharing a file never mix their lines.
#include "ui/console/record.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

#include "state/models.h"
#include "state/run.h"
#include "ui/console/json_output.h"
#include "ui/console/output.h"
#include "ui/console/record_file.h"
#include "ui/console/sha256.h"
#include "ui/console/version.h"

namespace plc {

namespace {

using Json = nlohmann::ordered_json;

// The record of the run under way.  The burn thread notes messages while the
// main thread may end the run (Ctrl-C), hence the lock.
std::mutex recordLock;
RecordFile recordFile;

}  // namespace

struct PendingRecord {
  Json record;
  std::chrono::steady_clock::time_point started;
  bool pending = false;
  std::string line;  // as written, once it is
  // The run the record is of, from BurnLogBegin on.
  const Run* run = nullptr;
};

namespace {

// The one record of a run of one PLC; in a run of several, each worker's
// thread fills its PLC's own.
PendingRecord oneRun;
thread_local PendingRecord* plcRecord = nullptr;

PendingRecord& Current() {
  return plcRecord != nullptr ? *plcRecord : oneRun;
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
#ifdef _WIN32
  (void)gmtime_s(&utc, &now);
#else
  (void)gmtime_r(&now, &utc);
#endif
  char text[32];
  (void)std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string HexDigest(const uint8_t* data, uint32_t length) {
  uint8_t digest[kSha256Size];
  if (!Sha256(data, length, digest)) return "";
  std::string hex;
  for (uint8_t b : digest) {
    char two[3];
    (void)std::snprintf(two, sizeof two, "%02x", b);
    hex += two;
  }
  return hex;
}

std::string LineLocked(const PendingRecord& of, const char* result, int exitStatus) {
  Json line = of.record;
  line["end"] = UtcNow();
  line["result"] = result;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - of.started).count();
  line["elapsedSeconds"] = std::round(seconds * 10.0) / 10.0;
  line["exitStatus"] = exitStatus;
  // Texts from the command line need not be UTF-8: replace what is not.
  return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

bool BurnLogOpen(const char* path, std::string* error) {
  std::lock_guard<std::mutex> hold(recordLock);
  if (RecordPathIsADevice(path, error)) return false;
  std::string why;
  recordFile = RecordFile::Open(path, &why);
  if (!recordFile.IsOpen()) {
    *error = std::string("cannot open the log file ") + path + (why.empty() ? "" : ": " + why);
    return false;
  }
  return true;
}

void BurnLogBegin(const char* action, int model, const std::string& port, const Run& run) {
  std::lock_guard<std::mutex> hold(recordLock);
  Current().run = &run;
  Current().started = std::chrono::steady_clock::now();
  Json& record = Current().record = Json::object();
  record["start"] = UtcNow();
  record["end"] = nullptr;  // keeps its place in the line
  record["action"] = action;
  record["version"] = ToolVersion();
  record["model"] = PlcName(model);
  record["port"] = port;
  Current().pending = true;
}

void BurnLogImage(const std::string& name, const uint8_t* data, uint32_t length) {
  std::lock_guard<std::mutex> hold(recordLock);
  // Neither --log nor --json: no digest to compute.
  if (!recordFile.IsOpen() && !JsonOutput()) return;
  Json& record = Current().record;
  record["image"] = name;
  if (data == nullptr) return;  // could not be loaded: no length, no digest
  record["imageLength"] = length;
  record["imageSha256"] = HexDigest(data, length);
}

void BurnLogFacts(const std::vector<ReportFact>& facts) {
  std::lock_guard<std::mutex> hold(recordLock);
  Json& out = Current().record["facts"] = Json::object();
  for (const ReportFact& fact : facts) out[fact.key] = fact.text;
}

namespace {

void OutcomeLocked(Json& record, const PlcOutcome& outcome) {
  record["reason"] = ReasonName(outcome.reason);
  record["erased"] = outcome.erased;
  if (!outcome.transfer) return;
  record["failedBlock"] = outcome.failedBlock;
  record["blocksAcknowledged"] = outcome.blocksAcknowledged;
  record["blocks"] = outcome.blocks;
}

}  // namespace

void BurnLogOutcome(const PlcOutcome& outcome) {
  std::lock_guard<std::mutex> hold(recordLock);
  OutcomeLocked(Current().record, outcome);
}

namespace {

// Appends the record (once); closes the file when this is the last one.
void EndRecord(PendingRecord& of, const char* result, int exitStatus, const char* caption,
               const char* message, bool last) {
  bool written = true;
  std::string line;
  {
    std::lock_guard<std::mutex> hold(recordLock);
    if (!of.pending) return;
    of.pending = false;
    if (!recordFile.IsOpen() && !JsonOutput()) return;
    if (caption != nullptr && message != nullptr) {
      of.record["caption"] = caption;
      of.record["message"] = message;
      of.record["totalErrCounter"] =
          of.run != nullptr ? static_cast<int32_t>(of.run->totalErrCounter) : 0;
    }
    line = LineLocked(of, result, exitStatus);
    of.line = line;
    if (recordFile.IsOpen()) {
      const std::string withEnd = line + "\n";
      written = recordFile.Append(withEnd.data(), withEnd.size());
      if (last) recordFile.Close();
    }
  }
  // A run of several PLCs prints its document once, with every PLC.
  if (last && JsonOutput()) {
    JsonObject plc = JsonPlcEntry(line);
    JsonObject doc = JsonDocument({plc.value("action", "burn").c_str(), exitStatus, result,
                                   plc.value("reason", "unknown").c_str(), ""});
    doc["plcs"].push_back(std::move(plc));
    JsonPrint(doc);
  }
  // Through the output queue and without the lock: a stalled standard error
  // must not hold up the thread that watches for Ctrl-C.
  if (!written) ConsolePrintNote("plcfw: the record could not be written to the log file");
}

}  // namespace

void BurnLogEnd(const char* result, int exitStatus, const char* caption, const char* message) {
  EndRecord(oneRun, result, exitStatus, caption, message, true);
}

PlcRecord::PlcRecord() : data_(std::make_unique<PendingRecord>()) {}
PlcRecord::~PlcRecord() = default;

void PlcRecord::UseOnThisThread() {
  plcRecord = data_.get();
}

void PlcRecord::End(const char* result, int exitStatus, const char* caption, const char* message) {
  EndRecord(*data_, result, exitStatus, caption, message, false);
}

void PlcRecord::Outcome(const PlcOutcome& outcome) {
  std::lock_guard<std::mutex> hold(recordLock);
  OutcomeLocked(data_->record, outcome);
}

std::string PlcRecord::Line() const {
  std::lock_guard<std::mutex> hold(recordLock);
  return data_->line;
}

void BurnLogClose() {
  std::lock_guard<std::mutex> hold(recordLock);
  if (recordFile.IsOpen()) recordFile.Close();
}

void RecordingHost::ShowMessage(const char* text, const char* caption, BoxIcon icon) {
  {
    std::lock_guard<std::mutex> hold(recordLock);
    Json& record = Current().record;
    record["caption"] = caption != nullptr ? caption : "";
    record["message"] = text != nullptr ? text : "";
    // Noted at the box: the finish that follows it clears the count.
    record["totalErrCounter"] = static_cast<int32_t>(run_.totalErrCounter);
  }
  inner_.ShowMessage(text, caption, icon);
}

void RecordingHost::RunEnds(BurnOutcome outcome) {
  outcome_ = outcome;
  inner_.RunEnds(outcome);
}

FirmwareImage RecordingHost::LoadFirmwareImage() {
  const FirmwareImage image = inner_.LoadFirmwareImage();
  if (imageIsFile_ && image.data != nullptr &&
      image.length > SizeRuleOf(run_.selectedPLCIdx).limit) {
    // An --image file is read only up to one byte past the limit: record
    // the file's own length, and no digest of a part of it.
    std::error_code failed;
    const auto size = std::filesystem::file_size(imageName_, failed);
    std::lock_guard<std::mutex> hold(recordLock);
    Json& record = Current().record;
    record["image"] = imageName_;
    record["imageLength"] = failed ? Json() : Json(size);
    record["imageSha256"] = nullptr;
  } else {
    BurnLogImage(imageName_, image.data, image.length);
  }
  return image;
}

const char* RecordingHost::Result() const {
  switch (outcome_.load()) {
    case BurnOutcome::kSuccess:
      return "success";
    case BurnOutcome::kRefused:
      return "refused";
    case BurnOutcome::kReady:
      return "ready";
    case BurnOutcome::kFailed:
      break;
  }
  return "failed";
}

}  // namespace plc
