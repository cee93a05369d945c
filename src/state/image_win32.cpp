// The image is the program's own resource of type "BIN", id 8.
#include <windows.h>

#include "firmware_blob.h"
#include "resource_ids.h"
#include "state/image.h"

namespace plc {

FirmwareImage EmbeddedFirmwareImage() {
  // FindResourceA on a null module looks in the executable itself.
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(IDR_FIRMWARE), PLC_FIRMWARE_TYPE);
  if (found == nullptr) return {nullptr, 0};
  HGLOBAL loaded = LoadResource(nullptr, found);
  if (loaded == nullptr) return {nullptr, 0};
  const void* first = LockResource(loaded);
  if (first == nullptr) return {nullptr, 0};
  return {static_cast<const uint8_t*>(first),
          static_cast<uint32_t>(SizeofResource(nullptr, found))};
}

const char* EmbeddedFirmwareName() {
  return PLC_FIRMWARE_NAME;
}

}  // namespace plc
