#include "state/image.h"

#include <cstring>

#include "state/run_state.h"

namespace plc {

void ModelPrefixOf(const char* imageName, char* out, int outSize) {
  if (out == nullptr || outSize <= 0) return;
  int n = 0;
  if (imageName != nullptr) {
    while (n < outSize - 1 && imageName[n] != '\0' && imageName[n] != '_') ++n;
    std::memcpy(out, imageName, static_cast<size_t>(n));
  }
  out[n] = '\0';
}

bool LoadFirmware(const FirmwareImage& image) {
  hGLOBAL = image.data;
  fin = image.data;
  fileLength = image.data != nullptr ? image.length : 0;
  return image.data != nullptr;
}

int32_t FileRead(uint8_t* destination, int32_t count) {
  if (count <= 0) return 0;
  std::memcpy(destination, fin, static_cast<size_t>(count));
  fin += count;
  return count;
}

void CloseFile() {
  hGLOBAL = nullptr;
}

}  // namespace plc
