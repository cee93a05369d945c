#include "state/image.h"

#include <cstring>

#include "state/models.h"

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

int EmbeddedImageRow() {
  char model[kPlcNameSize] = {};
  ModelPrefixOf(EmbeddedFirmwareName(), model, sizeof model);
  return PlcIndexByName(model);
}

}  // namespace plc
