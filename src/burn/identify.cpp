#include "burn/identify.h"

#include <string>

#include "port/ports.h"
#include "protocol/app_commands.h"
#include "protocol/boot_commands.h"
#include "protocol/probe.h"
#include "state/run.h"

namespace plc {

namespace {

// The register a device of this ID is told apart by.  A device that passes
// the selected model's ID rule without sharing its ID (13 for the ID-12
// models) is checked as a burn would check it: by the selected ID.
ModelRegister RegisterFor(int row, uint16_t id) {
  const ModelRegister own = ModelCheckRegister(id);
  if (own != ModelRegister::kNone) return own;
  return RowTakesId(row, id, false) ? ModelCheckRegister(plcList[row].id) : ModelRegister::kNone;
}

void ReadApplicationMode(Run& run, int row, DeviceIdentity& d) {
  d.idFailure = ReadID_A(run, &d.id);
  d.idRead = d.idFailure == kResultOk;
  if (!d.idRead) return;
  d.reg = RegisterFor(row, d.id);
  d.registerRead = ReadModelRegister_A(run, d.reg, &d.registerValue);
  // The version-read IDs are matched in all 16 bits, so the ID alone says.
  d.versionAsked = IsVersionReadId(d.id);
  if (d.versionAsked) d.versionRead = ReadVersion_A(run, &d.version);
}

void ReadBootMode(Run& run, DeviceIdentity& d) {
  d.idRead = ReadID_B(run, &d.id);
  if (!d.idRead) return;
  d.versionAsked = IsVersionReadId(d.id);  // USB models only: all 16 bits
  if (d.versionAsked) d.versionRead = ReadVersion_B(run, &d.version);
}

}  // namespace

DeviceIdentity IdentifyDevice(Run& run, Host& host) {
  DeviceIdentity d{};
  const int row = run.selectedPLCIdx;
  const std::string port = run.SelectedComPort();
  run.hSerial = IsUsbModel(row) ? host.OpenUsbLink(port) : host.OpenComLink(port);
  d.opened = run.hSerial != kNoLink;
  if (!d.opened) return d;
  DummyComm(run);
  d.probe = ConfirmComm(run);
  if (d.probe == kResultAppMode) {
    d.mode = DeviceMode::kApplication;
    ReadApplicationMode(run, row, d);
  } else if (d.probe == kResultBootMode) {
    d.mode = DeviceMode::kBoot;
    ReadBootMode(run, d);
  }
  run.hSerial.reset();
  ReleaseRunHolds();
  // As at the end of a run: the counters are back at 0.
  run.ClearStatusValues();
  return d;
}

bool IdentityFits(int row, const DeviceIdentity& d) {
  if (!d.idRead || !RowTakesId(row, d.id, d.mode == DeviceMode::kBoot)) return false;
  // Models told apart by a register: only in application mode, as in a burn.
  if (d.mode == DeviceMode::kApplication &&
      ModelCheckRegister(plcList[row].id) != ModelRegister::kNone) {
    if (!d.registerRead || d.reg != ModelCheckRegister(plcList[row].id)) return false;
    if (ModelCheckMismatch(row, d.registerValue) != nullptr) return false;
  }
  if (IsVersionReadId(plcList[row].id)) {
    if (!d.versionRead) return false;
    if (VersionGateRefusal(row, d.version) != nullptr) return false;
  }
  return true;
}

}  // namespace plc
