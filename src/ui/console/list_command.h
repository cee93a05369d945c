// plcfw --list-models, --list-ports and --list-messages.
#pragma once

#include <string>

#include "port/ports.h"
#include "ui/console/json_output.h"

namespace plc {

void ListModels();
// The --list-models text: a header, then a row a model with its link, device
// type ID, largest image in bytes and what follows the erase command.
std::string ModelListText();
void ListPorts();
void ListMessages();
// The --list-ports text: a port a line, and beside a PLC's USB device its
// stable name ("ttyACM0  /dev/serial/by-path/...").  A PLC device that the
// port list does not hold gets a line of its own.
std::string PortListText(const PortList& ports, const UsbPortList& plcDevices);
// The same for --json: a port an entry with its node, its by-path name and
// USB location (null where it has none) and whether it is a PLC USB device.
JsonObject PortListJson(const PortList& ports, const UsbPortList& plcDevices);
JsonObject PortListJson();
// The model table for --json, the facts of ModelListText a model.
JsonObject ModelListJson();

}  // namespace plc
