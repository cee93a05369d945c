// The window's choice of port, kept free of platform calls so that both
// builds test it: the command line, the labels of several PLC USB devices
// and the refresh of the port list when devices arrive or leave.
#pragma once

#include <string>
#include <vector>

namespace plc {

// plcfwupdate's command line: nothing, or "--port PATH" ("--port=PATH",
// "-p PATH").  False with the reason when it holds anything else.
bool ParseWindowArgs(int argc, const char* const* argv, std::string* port, std::string* error);
// The usage box's text, made from the same declaration as the parser.
std::string WindowUsage();

// One port-list row per PLC USB device found, in the order of the search,
// from the location Windows reports for each: "Port_#0002.Hub_#0001" reads
// "Port 2 (hub 1)", another location is shown after "USB ".  A single device
// keeps the plain "USB".  A device without a location, or whose label is
// already taken, is labelled by its place in the search ("USB 2").
std::vector<std::string> UsbRowLabels(const std::vector<std::string>& locations);

// The row to select once the list has been filled again: the one showing
// the previous selection, else the one showing the default, else the first;
// -1 for an empty list.
int KeptRow(const std::vector<std::string>& rows, const std::string& previous,
            const std::string& fallback);

// Devices arriving or leaving: the port list is filled again at once when
// no run is under way, otherwise once the run has ended.  Never during a
// run: the replug of a burn itself makes the device leave and come back.
class PortListRefresh {
 public:
  // A device arrived or left; true when the list is to be filled now.
  bool DeviceChanged(bool runInProgress);
  // A tick of the window's timer; true when a change seen during a run is
  // to be applied now.
  bool Tick(bool runInProgress);

 private:
  bool pending_ = false;
};

}  // namespace plc
