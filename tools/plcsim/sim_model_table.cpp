// The model table as text, for scripts that drive plcsim: they learn each
// model's facts from the program instead of keeping their own lists.
#include <cinttypes>
#include <cstddef>
#include <cstdio>

#include "sim_device.h"
#include "state/models.h"

namespace plc {

namespace {

// Names by enumerator, in the enumerations' order.
const char* const kEraseNames[] = {"one-more", "round-up", "fixed"};
const char* const kReconnectNames[] = {"keep-open", "replug", "power-cycle"};
const char* const kRegisterNames[] = {"-", "d1386", "d1148"};

template <typename Enum, size_t N>
const char* NameOf(const char* const (&names)[N], Enum value) {
  const auto index = static_cast<size_t>(value);
  return index < N ? names[index] : "?";
}

}  // namespace

void SimPrintModelTable(std::FILE* out) {
  (void)std::fputs(
      "name\tid\tlink\taio\tframe\ttail\tlimit\terase\terase-unit\terase-once\tsilent-erase\t"
      "reconnect\tpause\tregister\tversion\n",
      out);
  for (int row = 0; row < kPlcCount; ++row) {
    const PlcModel& m = plcList[row];
    const uint32_t unit =
        m.erase.count == EraseCount::kFixed ? m.erase.fixedUnits : m.erase.unitBytes;
    const char* version = m.version.gated ? "gated" : (m.version.read ? "read" : "-");
    (void)std::fprintf(out,
                       "%s\t%04X\t%s\t%d\t%u\t%" PRIu32 "\t%" PRIu32 "\t%s\t%" PRIu32
                       "\t%d\t%d\t%s\t%d\t%s\t%s\n",
                       m.name, m.id, m.link == ModelLink::kUsb ? "usb" : "serial", m.aio ? 1 : 0,
                       unsigned{m.frameBytes}, m.reservedTail, m.size.limit,
                       NameOf(kEraseNames, m.erase.count), unit, m.eraseUnitOnce ? 1 : 0,
                       m.silentErase ? 1 : 0, NameOf(kReconnectNames, m.reconnect.kind),
                       m.reconnect.pauseSeconds, NameOf(kRegisterNames, m.tell.reg), version);
  }
}

}  // namespace plc
