#include <windows.h>

#include <cctype>
#include <cstring>

#include "port/ports_win32.h"
#include "ui/console/record_file.h"

namespace plc {

namespace {

bool StartsWithNoCase(const char* text, const char* prefix) {
  for (; *prefix != '\0'; ++text, ++prefix) {
    if (std::tolower(static_cast<unsigned char>(*text)) !=
        std::tolower(static_cast<unsigned char>(*prefix))) {
      return false;
    }
  }
  return true;
}

}  // namespace

// A COM port (COM3, \\.\COM12) or a device path of the USB device
// (\\?\usb#...): opening either would send the record to the PLC.
bool RecordPathIsADevice(const char* path, std::string* why) {
  if (path == nullptr) return false;
  const char* name = path;
  if (StartsWithNoCase(name, "\\\\.\\")) name += 4;
  bool port = StartsWithNoCase(name, "COM") && name[3] != '\0';
  for (const char* c = name + 3; port && *c != '\0'; ++c) {
    port = std::isdigit(static_cast<unsigned char>(*c)) != 0 || (*c == ':' && c[1] == '\0');
  }
  if (!port && !StartsWithNoCase(path, "\\\\?\\usb#")) return false;
  *why = std::string(path) +
         " is a device, not a file: the record would be sent to it (a PLC's port?)";
  return true;
}

RecordFile RecordFile::Open(const char* path, std::string* why) {
  if (path == nullptr || path[0] == '\0') return {};
  if (std::strcmp(path, "-") == 0) {
    HANDLE out = nullptr;
    const HANDLE self = GetCurrentProcess();
    if (!DuplicateHandle(self, GetStdHandle(STD_OUTPUT_HANDLE), self, &out, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
      return {};
    }
    return RecordFile(reinterpret_cast<intptr_t>(out));
  }
  // Append access alone (no FILE_WRITE_DATA): every write goes to the end
  // of the file as one piece, whoever else writes to it.
  HANDLE h = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE && why != nullptr) *why = SystemMessage(GetLastError());
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
