// A record file (plcfw --log): records are appended whole, one write each,
// and on the disk before the call returns, so that several processes can
// share one file without their lines running into each other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace plc {

// Owns the open file (a descriptor, or a handle on Windows) and closes it
// once, whichever way its owner ends.
class RecordFile {
 public:
  RecordFile() = default;
  // Opens (or creates) the file for appending only, or for "-" takes a copy
  // of standard output; not open when it cannot be opened.
  // why: the system's reason when it is not open.
  static RecordFile Open(const char* path, std::string* why = nullptr);
  // Takes over a file the platform already opened (a pipe, in the tests).
  static RecordFile Adopt(intptr_t native) { return RecordFile(native); }

  RecordFile(RecordFile&& other) noexcept : native_(other.Release()) {}
  RecordFile& operator=(RecordFile&& other) noexcept {
    if (this != &other) {
      Close();
      native_ = other.Release();
    }
    return *this;
  }
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;
  ~RecordFile() { Close(); }

  bool IsOpen() const { return native_ != kNone; }
  // Appends text with one write at the end of the file and flushes it to
  // the disk; false when it did not all get there (or the file is not open).
  bool Append(const char* text, size_t length);
  void Close();

 private:
  static constexpr intptr_t kNone = -1;
  explicit RecordFile(intptr_t native) : native_(native) {}
  intptr_t Release() {
    const intptr_t native = native_;
    native_ = kNone;
    return native;
  }

  intptr_t native_ = kNone;
};

// A record path that names a device other than a file, a pipe, the null
// device or the caller's own terminal (a serial port, the PLC's USB device):
// opening it to write would change its line and send the record into the
// PLC.  True, with the reason, when it must be refused; decided without
// opening the device.
bool RecordPathIsADevice(const char* path, std::string* why);

}  // namespace plc
