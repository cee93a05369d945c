// The port list from sysfs: every tty with a device behind it, named as the
// kernel names it.  Driver names are not looked at, since they change
// between kernel versions; a legacy ttyS slot is left out when it reports
// no UART, which is what the 8250 driver's unused slots do.  And the opens:
// the POSIX link with the Linux hold.
#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "port/link_posix.h"
#include "port/sysfs_linux.h"

namespace plc {

namespace {

bool Exists(const char* path) {
  struct stat st {};
  return lstat(path, &st) == 0;
}

// Reads a small sysfs attribute as text without its trailing newline.
bool ReadAttribute(const char* path, char* out, size_t outSize) {
  FILE* f = std::fopen(path, "r");
  if (f == nullptr) return false;
  size_t n = std::fread(out, 1, outSize - 1, f);
  (void)std::fclose(f);
  out[n] = '\0';
  while (n > 0 && (out[n - 1] == '\n' || out[n - 1] == ' ')) out[--n] = '\0';
  return true;
}

enum class Uart { kPresent, kAbsent, kUnknown };

Uart UartOf(const char* sysRoot, const char* devRoot, const char* name) {
  char path[4096];
  char text[32];
  if (FormatPath(path, sizeof path, "%s/class/tty/%s/type", sysRoot, name) &&
      ReadAttribute(path, text, sizeof text) && text[0] != '\0') {
    return std::strtol(text, nullptr, 10) == 0 ? Uart::kAbsent : Uart::kPresent;
  }
  if (devRoot == nullptr || std::strncmp(name, "ttyS", 4) != 0) return Uart::kUnknown;
  if (!FormatPath(path, sizeof path, "%s/%s", devRoot, name)) return Uart::kUnknown;
  int fd = open(path, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Uart::kUnknown;
  serial_struct info{};
  Uart result = Uart::kUnknown;
  if (ioctl(fd, TIOCGSERIAL, &info) == 0) {
    result = info.type == PORT_UNKNOWN ? Uart::kAbsent : Uart::kPresent;
  }
  close(fd);
  return result;
}

// Puts name into the sorted list; past kMaxListedPorts the last in text
// order falls off.
void InsertSorted(PortList* out, const char* name) {
  int at = 0;
  while (at < out->count && std::strcmp(out->names[at], name) < 0) ++at;
  if (at < out->count && std::strcmp(out->names[at], name) == 0) return;
  if (at >= kMaxListedPorts) return;
  int last = out->count < kMaxListedPorts ? out->count : kMaxListedPorts - 1;
  for (int i = last; i > at; --i) std::memcpy(out->names[i], out->names[i - 1], kPortNameSize);
  std::memset(out->names[at], 0, kPortNameSize);
  std::memcpy(out->names[at], name, std::strlen(name));
  if (out->count < kMaxListedPorts) ++out->count;
}

}  // namespace

void ListComPortsIn(const char* sysRoot, const char* devRoot, PortList* out) {
  if (out == nullptr) return;
  std::memset(out, 0, sizeof *out);
  if (sysRoot == nullptr) return;
  char dirPath[4096];
  if (!FormatPath(dirPath, sizeof dirPath, "%s/class/tty", sysRoot)) return;
  DIR* dir = opendir(dirPath);
  if (dir == nullptr) return;
  while (dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] == '.') continue;
    // The port name has room for 9 characters; a longer one could not be
    // selected as it is listed.
    if (std::strlen(name) > kPortNameSize - 1) continue;
    char device[4096];
    if (!FormatPath(device, sizeof device, "%s/%s/device", dirPath, name) || !Exists(device))
      continue;  // virtual consoles, pty masters and the like
    if (UartOf(sysRoot, devRoot, name) == Uart::kAbsent) continue;
    InsertSorted(out, name);
  }
  closedir(dir);
}

void ListComPorts(PortList* out) {
  ListComPortsIn("/sys", "/dev", out);
}

namespace {

Refusal BusyRefusal(const char* path) {
  return BusyRefusalIn(portPlaces.proc, path);
}

// A Linux tty is held by its USB port (or interface) through a lock file,
// and a busy one is explained from /proc.
constexpr TtyPlatform kLinuxTty{HoldNodeForTheRun, BusyRefusal};

}  // namespace

OpenedLink OpenComPort(const char* nameOrPath) {
  return OpenTtyLink(nameOrPath, true, kLinuxTty);
}

OpenedLink OpenUsbPath(const char* path) {
  return OpenTtyLink(path, false, kLinuxTty);
}

}  // namespace plc
