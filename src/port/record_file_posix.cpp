#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "port/record_file.h"

RecordFile OpenRecordFile(const char* path) {
  if (path == nullptr || path[0] == '\0') return kNoRecordFile;
  const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  return fd < 0 ? kNoRecordFile : static_cast<RecordFile>(fd);
}

bool AppendRecord(RecordFile file, const char* text, size_t length) {
  if (file == kNoRecordFile) return false;
  const int fd = static_cast<int>(file);
  // O_APPEND puts each write at the end as one piece.  Only a short write
  // (a full disk) makes a second one.
  size_t done = 0;
  while (done < length) {
    const ssize_t n = write(fd, text + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return fsync(fd) == 0;
}

void CloseRecordFile(RecordFile& file) {
  if (file != kNoRecordFile) close(static_cast<int>(file));
  file = kNoRecordFile;
}
