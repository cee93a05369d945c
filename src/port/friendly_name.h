// Port names as the device lists report them, cut and checked for the port
// list (kept free of platform calls so that both builds test them).
#pragma once

#include <cstddef>

#include "port/ports.h"

namespace plc {

// The COM port named in a device's friendly name: from just after the "(" of
// the first "(COM" (case-sensitive) to just before the first ")" after it.
// "Modem (COM4) (2)" gives "COM4".  False when the name has no "(COM", no
// closing ")" after it, or a cut that does not fit 9 characters.
bool ComNameFromFriendlyName(const char* friendlyName, char (&out)[kPortNameSize]);

// True when a friendly name carries a COM port at all ("(COM" anywhere).
bool HasComMarker(const char* friendlyName);

// Adds a name to the list in sorted text order (COM10 before COM2); a name
// already listed, an empty or overlong one, or one past a full list is
// passed over.
void AddPortName(PortList* list, const char* name);

// The device-namespace path of a COM name ("COM12" -> "\\.\COM12"), which
// also reaches ports from COM10 upward; a name that already starts with
// "\\" is kept.  False when the path does not fit outSize bytes.
bool ComDevicePath(const char* name, char* out, size_t outSize);

// The part of a device path after its last "/" ("/dev/ttyACM0" gives
// "ttyACM0"): the name a port list shows for a node.
const char* LastPart(const char* path);

}  // namespace plc
