#include <windows.h>

#include "ui/console/record_file.h"

namespace plc {

RecordFile OpenRecordFile(const char* path) {
  if (path == nullptr || path[0] == '\0') return kNoRecordFile;
  // Append access alone (no FILE_WRITE_DATA): every write goes to the end
  // of the file as one piece, whoever else writes to it.
  HANDLE h = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? kNoRecordFile : reinterpret_cast<RecordFile>(h);
}

bool AppendRecord(RecordFile file, const char* text, size_t length) {
  if (file == kNoRecordFile || length > MAXDWORD) return false;
  HANDLE h = reinterpret_cast<HANDLE>(file);
  DWORD written = 0;
  if (!WriteFile(h, text, static_cast<DWORD>(length), &written, nullptr) || written != length) {
    // Where a byte still fits, the next record's line stays whole.
    if (written > 0) (void)WriteFile(h, "\n", 1, &written, nullptr);
    return false;
  }
  // A pipe or the console (--log CON) has no disk to flush to.
  return GetFileType(h) != FILE_TYPE_DISK || FlushFileBuffers(h) != 0;
}

void CloseRecordFile(RecordFile& file) {
  if (file != kNoRecordFile) CloseHandle(reinterpret_cast<HANDLE>(file));
  file = kNoRecordFile;
}

}  // namespace plc
