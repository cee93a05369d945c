// Stable names for the PLC's USB devices: the /dev/serial/by-path links that
// udev keeps bound to the physical USB port.  A ttyACM node may change its
// number when the PLC re-enumerates after the erase/enter-boot command; the
// by-path link then points at the new node.
#include <dirent.h>
#include <unistd.h>

#include <cstring>

#include "port/friendly_name.h"
#include "port/link_posix.h"
#include "port/sysfs_linux.h"

namespace plc {

bool ByPathNameIn(const char* byPathDir, const char* ttyPath, char* out, size_t outSize) {
  if (out == nullptr || outSize == 0) return false;
  out[0] = '\0';
  if (byPathDir == nullptr || ttyPath == nullptr) return false;
  DIR* dir = opendir(byPathDir);
  if (dir == nullptr) return false;
  const char* tty = LastPart(ttyPath);
  char best[kUsbPortPathSize] = {};
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    char link[4096];
    char target[4096];
    if (!FormatPath(link, sizeof link, "%s/%s", byPathDir, entry->d_name)) continue;
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0) continue;
    target[n] = '\0';
    if (std::strcmp(LastPart(target), tty) != 0) continue;
    // Several links may name one port (with and without the USB revision):
    // the first in name order, so that the answer does not change.
    if (std::strlen(entry->d_name) >= sizeof best) continue;
    if (best[0] == '\0' || std::strcmp(entry->d_name, best) < 0) {
      std::memcpy(best, entry->d_name, std::strlen(entry->d_name) + 1);
    }
  }
  closedir(dir);
  return best[0] != '\0' && FormatPath(out, outSize, "%s/%s", byPathDir, best);
}

void ListPlcUsbPortsIn(const char* sysRoot, const char* byPathDir, UsbPortList* out) {
  ListUsbTtysIn(sysRoot, out);
  if (out == nullptr) return;
  for (int i = 0; i < out->count; ++i) {
    ByPathNameIn(byPathDir, out->nodes[i], out->stable[i], kUsbPortPathSize);
  }
}

void ListPlcUsbPorts(UsbPortList* out) {
  ListPlcUsbPortsIn("/sys", "/dev/serial/by-path", out);
}

}  // namespace plc
