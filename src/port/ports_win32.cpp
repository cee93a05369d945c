// COM ports on Windows: the list of present ports.
#include "port/ports_win32.h"

#include <cstring>

#include "port/friendly_name.h"
#include "port/owners_win32.h"

namespace plc {

namespace {

// Ports that Windows' serial drivers (and Wine) register by device name.
void ReadSerialCommPorts(PortList* out) {
  HKEY opened;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &opened) !=
      ERROR_SUCCESS) {
    return;
  }
  const RegistryKey owner(opened);
  const HKEY key = owner.get();
  for (DWORD index = 0;; ++index) {
    char valueName[256];
    DWORD valueNameSize = sizeof valueName;
    char data[kPortNameSize + 1];
    DWORD dataSize = sizeof data - 1;
    DWORD type = 0;
    std::memset(data, 0, sizeof data);
    LONG status = RegEnumValueA(key, index, valueName, &valueNameSize, nullptr, &type,
                                reinterpret_cast<BYTE*>(data), &dataSize);
    if (status == ERROR_NO_MORE_ITEMS) break;
    // A value that does not fit is passed over like an overlong cut.
    if (status != ERROR_SUCCESS || type != REG_SZ) continue;
    data[sizeof data - 1] = '\0';
    AddPortName(out, data);
  }
}

}  // namespace

bool FindComPorts(PortList* out) {
  std::memset(out, 0, sizeof *out);
  const DeviceSet owner = OwnDeviceSet(
      SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
  if (owner == nullptr) return false;
  const HDEVINFO devices = owner.get();
  SP_DEVINFO_DATA device;
  device.cbSize = sizeof device;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
    char friendlyName[1024];
    std::memset(friendlyName, 0, sizeof friendlyName);
    // One byte short of the buffer so that the name always ends in a NUL.
    if (!SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                                           reinterpret_cast<BYTE*>(friendlyName),
                                           sizeof friendlyName - 1, nullptr)) {
      continue;
    }
    char name[kPortNameSize];
    if (ComNameFromFriendlyName(friendlyName, name)) AddPortName(out, name);
  }
  // Wine, and some virtual-port drivers, register their ports only here,
  // also beside ordinary ports; a port found both ways is listed once.
  ReadSerialCommPorts(out);
  return true;
}

void ListComPorts(PortList* out) {
  if (out == nullptr) return;
  if (!FindComPorts(out)) out->count = 0;
}

}  // namespace plc
