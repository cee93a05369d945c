// The model table as text, for scripts that drive plcsim: they learn each
// model's facts from the program instead of keeping their own lists.
#include <cinttypes>
#include <cstdio>

#include "sim_device.h"
#include "state/models.h"

namespace {

const char* EraseName(EraseCount count) {
  switch (count) {
    case EraseCount::kOneMore:
      return "one-more";
    case EraseCount::kRoundUp:
      return "round-up";
    case EraseCount::kFixed:
      return "fixed";
  }
  return "?";
}

const char* ReconnectName(ReconnectKind kind) {
  switch (kind) {
    case ReconnectKind::kKeepOpen:
      return "keep-open";
    case ReconnectKind::kReplugUsb:
      return "replug";
    case ReconnectKind::kPowerCycle:
      return "power-cycle";
  }
  return "?";
}

const char* RegisterName(ModelRegister reg) {
  switch (reg) {
    case ModelRegister::kNone:
      return "-";
    case ModelRegister::kD1386:
      return "d1386";
    case ModelRegister::kD1148:
      return "d1148";
  }
  return "?";
}

}  // namespace

void SimPrintModelTable(std::FILE* out) {
  (void)std::fputs(
      "name\tid\tlink\taio\tframe\ttail\tlimit\terase\terase-unit\terase-once\tsilent-erase\t"
      "reconnect\tpause\tregister\tversion\n",
      out);
  for (const PlcModel& m : plcList) {
    const uint32_t unit =
        m.erase.count == EraseCount::kFixed ? m.erase.fixedUnits : m.erase.unitBytes;
    const char* version = m.version.gated ? "gated" : (m.version.read ? "read" : "-");
    (void)std::fprintf(
        out,
        "%s\t%04X\t%s\t%d\t%u\t%" PRIu32 "\t%" PRIu32 "\t%s\t%" PRIu32 "\t%d\t%d\t%s\t%d\t%s\t%s\n",
        m.name, m.id, m.link == ModelLink::kUsb ? "usb" : "serial", m.aio ? 1 : 0,
        unsigned{m.frameBytes}, m.reservedTail, m.size.limit, EraseName(m.erase.count), unit,
        m.eraseUnitOnce ? 1 : 0, m.silentErase ? 1 : 0, ReconnectName(m.reconnect.kind),
        m.reconnect.pauseSeconds, RegisterName(m.tell.reg), version);
  }
}
