// The firmware image that the program carries, and its read cursor.
#pragma once

#include <cstdint>

namespace plc {

struct FirmwareImage {
  const uint8_t* data;  // nullptr when the image cannot be had
  uint32_t length;
};

// The image embedded in this executable (a Windows resource "BIN" id 8, or
// an assembler .incbin elsewhere).
FirmwareImage EmbeddedFirmwareImage();
// Its name; the characters before the first '_' name the model it is for.
const char* EmbeddedFirmwareName();
// Copies the model prefix of an image name (up to the first '_') into out,
// cut to outSize - 1 characters.
void ModelPrefixOf(const char* imageName, char* out, int outSize);
// Row of the model the embedded image is made for (its name's prefix); -1
// when the name names no model.
int EmbeddedImageRow();

}  // namespace plc
