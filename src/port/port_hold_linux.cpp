// Holding a PLC against other programs.  Every device the tool opens is
// flock'ed, so that a second run on the same node is refused before it sends
// a byte.  A USB PLC's node goes away at the replug and may come back under
// another name, so a run also holds, until it ends, a lock file named after
// the USB port the PLC is plugged into: another run cannot take the PLC
// while its node is gone.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "port/link_posix.h"
#include "port/sysfs_linux.h"

namespace plc {

namespace {

// The run-long holds this process has taken: a key is taken once and kept
// until the process ends (the descriptor closes with it).
constexpr int kMaxRunHolds = 8;
char heldKeys[kMaxRunHolds][kUsbPortPathSize];
int heldCount = 0;

// The folder for the lock files: /run/lock where this user may write there,
// else the user's runtime folder; nullptr when there is neither.
const char* LockFolder() {
  if (access("/run/lock", W_OK) == 0) return "/run/lock";
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime != nullptr && runtime[0] == '/' ? runtime : nullptr;
}

// Opens the lock file, creating it when it does not exist.  In a sticky
// shared folder an existing file of another user cannot be opened with
// O_CREAT (protected_regular), hence the open without it first.
int OpenLockFile(const char* path) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    int fd = open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 || errno != ENOENT) return fd;
    fd = open(path, O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

bool UsbPortOfTtyIn(const char* sysRoot, const char* ttyPath, char* out, size_t outSize) {
  if (out == nullptr || outSize == 0) return false;
  out[0] = '\0';
  if (sysRoot == nullptr || ttyPath == nullptr) return false;
  const char* slash = std::strrchr(ttyPath, '/');
  const char* name = slash != nullptr ? slash + 1 : ttyPath;
  char link[4096];
  char device[PATH_MAX];
  if (!FormatPath(link, sizeof link, "%s/class/tty/%s/device", sysRoot, name) ||
      realpath(link, device) == nullptr) {
    return false;
  }
  // Up from the interface (or the USB serial port below it) to the USB
  // device, the folder with an idVendor; its name ("1-1.2") is its place on
  // the bus.
  for (char* end = std::strrchr(device, '/'); end != nullptr && end != device;
       end = std::strrchr(device, '/')) {
    char attribute[PATH_MAX + 16];
    struct stat st {};
    if (FormatPath(attribute, sizeof attribute, "%s/idVendor", device) &&
        stat(attribute, &st) == 0) {
      return FormatPath(out, outSize, "usb-%s", end + 1);
    }
    *end = '\0';
  }
  return false;
}

// A node that is not on a USB device (a simulator's pseudo-terminal) is held
// by its own path and the time it was made: a later pseudo-terminal of the
// same number is another device.  The lock files live in /run/lock, or in
// the user's runtime folder where /run/lock is not writable.
bool HoldForTheRun(const char* nodePath) {
  char node[PATH_MAX];
  if (realpath(nodePath, node) == nullptr) return true;  // the open says why
  char key[kUsbPortPathSize];
  struct stat st {};
  if (!UsbPortOfTtyIn("/sys", node, key, sizeof key)) {
    if (stat(node, &st) != 0 ||
        !FormatPath(key, sizeof key, "%s-%lld.%09ld", node + 1,
                    static_cast<long long>(st.st_ctim.tv_sec), st.st_ctim.tv_nsec)) {
      return true;
    }
    for (char* c = key; *c != '\0'; ++c) {
      if (*c == '/') *c = '-';
    }
  }
  for (int i = 0; i < heldCount; ++i) {
    if (std::strcmp(heldKeys[i], key) == 0) return true;
  }
  const char* folder = LockFolder();
  char lockPath[4096];
  if (folder == nullptr || heldCount == kMaxRunHolds ||
      !FormatPath(lockPath, sizeof lockPath, "%s/plcfw-%s.lock", folder, key)) {
    return true;  // no place for a lock: the device's own lock still holds
  }
  const int fd = OpenLockFile(lockPath);
  if (fd < 0) return true;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool held = errno == EWOULDBLOCK;
    close(fd);
    if (held) NotePortRefusal(nodePath, "locked");
    return !held;
  }
  (void)std::snprintf(heldKeys[heldCount++], kUsbPortPathSize, "%s", key);
  return true;
}

}  // namespace plc
