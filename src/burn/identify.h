// Identifying the connected PLC without changing it: the link is opened as a
// burn opens it, the probe runs, and then only read requests follow (the
// device ID, the register that tells models apart, the version).  The
// erase/enter-boot request, its confirmation, "ERASE", "UPDATE", blocks and
// EOT are never sent.
#pragma once

#include <cstdint>

#include "burn/host.h"
#include "protocol/protocol_result.h"
#include "state/models.h"
#include "state/run.h"

namespace plc {

enum class DeviceMode { kNone, kApplication, kBoot };

// What the PLC reported.  A read that was not asked for stays false.
struct DeviceIdentity {
  bool opened;           // the link could be opened
  ProtocolResult probe;  // ConfirmComm's result (5, 6 or a failure code)
  DeviceMode mode;
  bool idRead;
  ProtocolResult idFailure;  // application mode: CheckID_A's failure code when no ID came
  uint16_t id;
  ModelRegister reg;  // the register that was read (kNone: none)
  bool registerRead;
  uint16_t registerValue;
  bool versionAsked;
  bool versionRead;
  uint8_t version;
};

// Opens the link of the run's model and port through host, probes, reads
// and closes it again.  Uses the run's hSerial for the length of the call and
// leaves its status values as they were (0 between runs).
DeviceIdentity IdentifyDevice(Run& run, Host& host);

// True when a burn for the row would accept this device: its ID rule, the
// register check and the version gate.  A read that was needed and got no
// answer fits nothing.
bool IdentityFits(int row, const DeviceIdentity& device);

}  // namespace plc
