// Holding a PLC against other programs.  Every device the tool opens is
// flock'ed, so that a second run on the same node is refused before it sends
// a byte.  A PLC's node is closed for the replug or the power cycle and may
// come back under another name, so a run also holds, until it ends, a lock
// file named after the USB port the PLC (or its serial adapter) is plugged
// into: another run cannot take the PLC while its node is closed or gone.
//
// The lock file is made readable by all, whatever the umask, so that every
// user's run can ask for it, and it is removed when the run ends.  The holder
// removes it while it still holds the flock, so a taker whose flock succeeds
// makes sure that the path still names the file it locked, and else takes
// the one made since.  Where no lock file can be had the open is refused:
// the PLC would be unheld during the pause.
#include <dirent.h>
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
#include <string>

#include "port/link_posix.h"
#include "port/port_hold.h"
#include "port/sysfs_linux.h"

namespace plc {

PortPlaces portPlaces = {"/sys", "/dev", "/run/lock", "/proc"};
void (*lockFileOpened)(const char* lockPath) = nullptr;

namespace {

// The folder for the lock files: /run/lock where this user may write there,
// else the user's runtime folder; nullptr when there is neither.
const char* LockFolder() {
  if (access(portPlaces.runLock, W_OK) == 0) return portPlaces.runLock;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime != nullptr && runtime[0] == '/' ? runtime : nullptr;
}

// Opens the lock file, creating it readable by all when it does not exist.
// In a sticky shared folder an existing file of another user cannot be
// opened with O_CREAT (protected_regular), hence the open without it first.
int OpenLockFile(const char* path) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    int fd = open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 || errno != ENOENT) return fd;
    fd = open(path, O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) {
      // The umask may have taken the others' read bit: put it back, or
      // another user's run could not open the file and ask for the lock.
      (void)fchmod(fd, 0644);
      return fd;
    }
    if (errno != EEXIST) return fd;
  }
  return -1;
}

bool SameFile(int fd, const char* path) {
  struct stat mine {};
  struct stat named {};
  return fstat(fd, &mine) == 0 && lstat(path, &named) == 0 && mine.st_dev == named.st_dev &&
         mine.st_ino == named.st_ino;
}

// Locks the file that path names, retrying while a holder removes it at
// the end of its run.  errno says why on kFailed.
Take TakeLockFile(const char* path, int* out) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    const int fd = OpenLockFile(path);
    if (fd < 0) return Take::kFailed;
    if (lockFileOpened != nullptr) lockFileOpened(path);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      close(fd);
      errno = error;
      return error == EWOULDBLOCK ? Take::kHeld : Take::kFailed;
    }
    if (SameFile(fd, path)) {
      *out = fd;
      return Take::kTaken;
    }
    close(fd);  // removed by its holder after the open: take the new one
  }
  errno = EAGAIN;
  return Take::kFailed;
}

}  // namespace

// Ends one hold: the file goes while its flock is still held, and only when
// the path still names it.  Another user's file in the sticky folder cannot
// be removed and is left.  Before an exit the descriptor stays: its lock
// ends with the process.
void EndSystemHold(const SystemHold& hold, bool beforeExit) {
  const int fd = static_cast<int>(hold.native);
  if (SameFile(fd, hold.place.c_str())) (void)unlink(hold.place.c_str());
  if (!beforeExit) close(fd);
}

Take TakeSystemHold(const std::string& key, const char* path, SystemHold* out, Refusal* why) {
  const char* folder = LockFolder();
  if (folder == nullptr) {
    *why = Refused(RefusalKind::kFailed,
                   "cannot hold %s for the run: neither %s nor $XDG_RUNTIME_DIR is writable; make "
                   "%s writable for this user or set XDG_RUNTIME_DIR",
                   path, portPlaces.runLock, portPlaces.runLock);
    return Take::kFailed;
  }
  char lockPath[4096];
  if (!FormatPath(lockPath, sizeof lockPath, "%s/plcfw-%s.lock", folder, key.c_str())) {
    *why = Refused(RefusalKind::kFailed,
                   "cannot hold %s for the run: the lock file's name is too long", path);
    return Take::kFailed;
  }
  int fd = -1;
  const Take take = TakeLockFile(lockPath, &fd);
  if (take == Take::kTaken) *out = {fd, lockPath};
  if (take == Take::kFailed) {
    *why = Refused(RefusalKind::kFailed, "cannot hold %s for the run: %s: %s", path, lockPath,
                   std::strerror(errno));
  }
  return take;
}

namespace {

// The USB device a tty belongs to ("usb-1-1.2"), or with byInterface the
// interface below it that the tty hangs from ("usb-1-1.2:1.0").
bool UsbPlaceOfTtyIn(const char* sysRoot, const char* ttyPath, bool byInterface, char* out,
                     size_t outSize) {
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
  // the bus.  The folder cut last is the interface.
  const char* below = nullptr;
  for (char* end = std::strrchr(device, '/'); end != nullptr && end != device;
       end = std::strrchr(device, '/')) {
    char attribute[PATH_MAX + 16];
    struct stat st {};
    if (FormatPath(attribute, sizeof attribute, "%s/idVendor", device) &&
        stat(attribute, &st) == 0) {
      if (byInterface && below == nullptr) return false;
      return FormatPath(out, outSize, "usb-%s", byInterface ? below : end + 1);
    }
    below = end + 1;
    *end = '\0';
  }
  return false;
}

}  // namespace

bool UsbPortOfTtyIn(const char* sysRoot, const char* ttyPath, char* out, size_t outSize) {
  return UsbPlaceOfTtyIn(sysRoot, ttyPath, false, out, outSize);
}

bool UsbInterfaceOfTtyIn(const char* sysRoot, const char* ttyPath, char* out, size_t outSize) {
  return UsbPlaceOfTtyIn(sysRoot, ttyPath, true, out, outSize);
}

// A node that is not on a USB device (a simulator's pseudo-terminal, a
// built-in serial port) is held by its own path and the time it was made: a
// later pseudo-terminal of the same number is another device.  A serial
// port on a USB adapter is held by the adapter's interface, so that the
// ports of a multi-port adapter are held each on its own.
bool HoldNodeForTheRun(const char* nodePath, bool comPort, Refusal* why) {
  char node[PATH_MAX];
  char key[kUsbPortPathSize];
  struct stat st {};
  if (realpath(nodePath, node) == nullptr) {
    *why = Refused(RefusalKind::kFailed, "cannot hold %s for the run: %s", nodePath,
                   std::strerror(errno));
    return false;
  }
  if (!(comPort ? UsbInterfaceOfTtyIn : UsbPortOfTtyIn)(portPlaces.sys, node, key, sizeof key)) {
    if (stat(node, &st) != 0 ||
        !FormatPath(key, sizeof key, "%s-%lld.%09ld", node + 1,
                    static_cast<long long>(st.st_ctim.tv_sec), st.st_ctim.tv_nsec)) {
      *why = Refused(RefusalKind::kFailed, "cannot hold %s for the run: its name is too long",
                     nodePath);
      return false;
    }
    for (char* c = key; *c != '\0'; ++c) {
      if (*c == '/') *c = '-';
    }
  }
  return HoldKeyForTheRun(key, nodePath, why);
}

bool HoldForTheRun(const char* devicePath, Refusal* why) {
  return HoldNodeForTheRun(devicePath, false, why);
}

}  // namespace plc
