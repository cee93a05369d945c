#include <windows.h>

#include "ui/console/record_file.h"

namespace plc {

RecordFile RecordFile::Open(const char* path) {
  if (path == nullptr || path[0] == '\0') return {};
  // Append access alone (no FILE_WRITE_DATA): every write goes to the end
  // of the file as one piece, whoever else writes to it.
  HANDLE h = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? RecordFile() : RecordFile(reinterpret_cast<intptr_t>(h));
}

bool RecordFile::Append(const char* text, size_t length) {
  if (!IsOpen() || length > MAXDWORD) return false;
  // The handle is kept as the integer the header can name without windows.h.
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  HANDLE h = reinterpret_cast<HANDLE>(native_);
  DWORD written = 0;
  if (!WriteFile(h, text, static_cast<DWORD>(length), &written, nullptr) || written != length) {
    // Where a byte still fits, the next record's line stays whole.
    if (written > 0) (void)WriteFile(h, "\n", 1, &written, nullptr);
    return false;
  }
  // A pipe or the console (--log CON) has no disk to flush to.
  return GetFileType(h) != FILE_TYPE_DISK || FlushFileBuffers(h) != 0;
}

void RecordFile::Close() {
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  if (IsOpen()) (void)CloseHandle(reinterpret_cast<HANDLE>(Release()));
}

}  // namespace plc
