// The image is linked in with the assembler's .incbin: no multi-megabyte
// generated source, and the bytes land in read-only data as they are.
#include "firmware_blob.h"
#include "state/image.h"

namespace plc {

__asm__(
    ".section .rodata.plc_firmware,\"a\",@progbits\n"
    ".balign 64\n"
    ".globl plc_firmware_begin\n"
    "plc_firmware_begin:\n"
    ".incbin \"" PLC_FIRMWARE_PATH
    "\"\n"
    ".globl plc_firmware_end\n"
    "plc_firmware_end:\n"
    ".previous\n");

extern "C" const uint8_t plc_firmware_begin[];
extern "C" const uint8_t plc_firmware_end[];

FirmwareImage EmbeddedFirmwareImage() {
  return {plc_firmware_begin, static_cast<uint32_t>(plc_firmware_end - plc_firmware_begin)};
}

const char* EmbeddedFirmwareName() {
  return PLC_FIRMWARE_NAME;
}

}  // namespace plc
