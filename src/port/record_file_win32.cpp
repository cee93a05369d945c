#include <windows.h>

#include "port/record_file.h"

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
  if (!WriteFile(h, text, static_cast<DWORD>(length), &written, nullptr) || written != length)
    return false;
  return FlushFileBuffers(h) != 0;
}

void CloseRecordFile(RecordFile& file) {
  if (file != kNoRecordFile) CloseHandle(reinterpret_cast<HANDLE>(file));
  file = kNoRecordFile;
}
