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

// Loads an image for a run: hGLOBAL, fin (first byte) and fileLength.
// False when the image is missing.
bool LoadFirmware(const FirmwareImage& image);
// Copies count bytes from the cursor into destination and advances the
// cursor; returns the count (0 for a count of 0 or less).  The caller never
// asks for more than remains of fileLength.
int32_t FileRead(uint8_t* destination, int32_t count);
// Releases the image of the run.
void CloseFile();

}  // namespace plc
