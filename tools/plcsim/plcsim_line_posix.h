// The PLC's end of the line: a pseudo-terminal that the PLC is plugged into
// and pulled out of, or an existing tty such as a USB gadget's serial
// function, which re-enumerates by unbinding and binding its gadget.
#pragma once

#include <cstdint>

#include "plcsim_options.h"
#include "sim_device.h"

namespace plc {

struct SimServer {
  PlcSim* sim = nullptr;
  int master = -1;
  int slave = -1;
  int notify = -1;
  char slavePath[128] = {};
  uint32_t baud = 0;
  int toolOpens = 0;  // the tool's descriptors on the slave, as far as we saw
  bool sawClose = false;
  // Replies wait here until written (with --line-rate, until their time).
  uint8_t pending[kSimOutputSize] = {};
  uint32_t pendingLen = 0;
  uint64_t releaseAtUs = 0;
  uint64_t inputFreeAtUs = 0;
  uint64_t lastInputUs = 0;
  uint32_t finalAcksSeen = 0;
  uint32_t transfersWritten = 0;  // completed transfers written to --flash-out
  uint32_t lostReplyBytes = 0;
  bool finished = false;
  char udcName[64] = {};  // the UDC the gadget was bound to (--replug-udc)
};

// Monotonic microseconds.
uint64_t NowUs();

// A new pty for the PLC, printed as standard output's next line and put
// behind the --link; false (with the reason on standard error) when none
// can be had.
bool PlugIn(SimServer& srv, const SimOptions& opt);
// The pty (and the --link) go away, as a pulled cable takes the PLC away.
void Unplug(SimServer& srv, const char* link);
// Opens an existing tty (--device) raw, for the PLC's side of the line.
bool OpenDevice(SimServer& srv, const char* path);
// The UDC the gadget is bound to now, which the replug binds it to again.
bool ReadUdcName(SimServer& srv, const char* udcFile);
// The gadget leaves the bus (the cable pulled).
void UnbindGadget(SimServer& srv, const SimOptions& opt);
// The PLC resets into its bootloader and comes back on the bus, as a new
// device to the host; false when the gadget cannot be bound again.
bool Replug(SimServer& srv, const SimOptions& opt);

// The PLC starts again after a loss of power (the cable pulled and plugged in
// again, the gadget rebound): replies not yet sent are lost.
void PowerCycle(SimServer& srv, const SimOptions& opt);

// The speed the PLC listens at: what its mode expects, on a device that
// shows nothing of the host's speed; on a pty, the speed the tool applied.
void ListenAsExpected(SimServer& srv);
void ReadSpeed(SimServer& srv, const SimOptions& opt);
// The tool's opens and closes of the pty, as inotify reported them.
void HandleNotify(SimServer& srv, const SimOptions& opt);

}  // namespace plc
