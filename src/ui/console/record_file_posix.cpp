#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "ui/console/record_file.h"

namespace plc {

namespace {

bool WriteAll(int fd, const char* text, size_t length) {
  size_t done = 0;
  while (done < length) {
    const ssize_t n = write(fd, text + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Character devices a record may go to: the memory devices (null, full),
// the controlling terminal, and whatever the standard descriptors are on
// (/dev/stdout, the terminal the user sees).
bool AllowedDevice(dev_t device) {
  if (major(device) == 1 || device == makedev(5, 0)) return true;
  for (int fd = 0; fd <= 2; ++fd) {
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == device) return true;
  }
  return false;
}

}  // namespace

bool RecordPathIsADevice(const char* path, std::string* why) {
  struct stat st {};
  if (path == nullptr || stat(path, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  if (AllowedDevice(st.st_rdev)) return false;
  *why = std::string(path) +
         " is a device, not a file: the record would be sent to it (a PLC's port?)";
  return true;
}

RecordFile RecordFile::Open(const char* path, std::string* why) {
  if (path == nullptr || path[0] == '\0') return {};
  if (std::strcmp(path, "-") == 0) {
    const int out = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    return out < 0 ? RecordFile() : RecordFile(out);
  }
  // Read access too where it is allowed: the append looks at the last byte.
  int fd = open(path, O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0 && errno == EACCES) {
    fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  }
  if (fd < 0 && why != nullptr) *why = std::strerror(errno);
  return fd < 0 ? RecordFile() : RecordFile(fd);
}

bool RecordFile::Append(const char* text, size_t length) {
  if (!IsOpen()) return false;
  const int fd = static_cast<int>(native_);
  struct stat st {};
  // A pipe or a terminal (--log /dev/stdout) cannot be flushed to a disk,
  // nor read back.
  const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  // A record that a full disk cut short left its line open: this one starts
  // on a line of its own.
  char last = '\n';
  if (regular && st.st_size > 0 && pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n') {
    (void)WriteAll(fd, "\n", 1);
  }
  // O_APPEND puts each write at the end as one piece.  Only a short write
  // (a full disk) makes a second one.
  if (!WriteAll(fd, text, length)) {
    // Where a byte still fits, the next record's line stays whole.
    (void)WriteAll(fd, "\n", 1);
    return false;
  }
  return !regular || fsync(fd) == 0;
}

void RecordFile::Close() {
  if (IsOpen()) (void)close(static_cast<int>(Release()));
}

}  // namespace plc
