// The handle of the open link to the PLC.  The run state keeps it in
// hSerial; the port layer defines the link behind it and opens it.
#pragma once

class Link;

// kNoLink means "no link": every operation on it fails softly (nothing
// written, nothing read).
using LinkHandle = Link*;
inline constexpr LinkHandle kNoLink = nullptr;
