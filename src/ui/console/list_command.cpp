#include "ui/console/list_command.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "port/friendly_name.h"
#include "state/messages.h"
#include "state/models.h"

namespace plc {

namespace {

// "  <stable name>" for the PLC device behind name, "" for any other port.
std::string StableNameOf(const UsbPortList& plc, const char* name) {
  for (int i = 0; i < plc.count; ++i) {
    if (std::strcmp(LastPart(plc.nodes[i]), LastPart(name)) == 0 && plc.stable[i][0] != '\0') {
      return std::string("  ") + plc.stable[i];
    }
  }
  return "";
}

// What the user waits for after the erase/enter-boot command, and the
// pause before the tool probes again.
std::string AfterEraseText(int row) {
  const ReconnectRule rule = ReconnectRuleOf(row);
  const char* what = rule.kind == ReconnectKind::kReplugUsb    ? "replug the USB cable"
                     : rule.kind == ReconnectKind::kPowerCycle ? "power off and on"
                                                               : "stays connected";
  return std::string(what) + ", pause " + std::to_string(rule.pauseSeconds) + " s";
}

const char* AfterEraseKey(int row) {
  switch (ReconnectRuleOf(row).kind) {
    case ReconnectKind::kReplugUsb:
      return "replug";
    case ReconnectKind::kPowerCycle:
      return "power-cycle";
    case ReconnectKind::kKeepOpen:
      break;
  }
  return "stays-connected";
}

// One port for --json; plc: its index in the PLC devices, -1 for none.
JsonObject PortEntry(const char* name, const UsbPortList& plcDevices, int plc) {
  JsonObject entry;
  entry["name"] = LastPart(name);
  if (plc >= 0) {
    entry["node"] = plcDevices.nodes[plc];
  } else {
#ifdef _WIN32
    entry["node"] = name;
#else
    entry["node"] = name[0] == '/' ? std::string(name) : std::string("/dev/") + name;
#endif
  }
  const char* stable = plc >= 0 ? plcDevices.stable[plc] : "";
  entry["byPath"] = stable[0] != '\0' ? JsonObject(stable) : JsonObject();
  // udev's by-path name ends in the USB port's place on the bus: "usb-0:1:1.0".
  const char* usb = std::strstr(stable, "-usb-");
  entry["usbLocation"] = usb != nullptr ? JsonObject(usb + 5) : JsonObject();
  entry["plcUsb"] = plc >= 0;
  return entry;
}

int PlcDeviceOf(const UsbPortList& plcDevices, const char* name) {
  for (int i = 0; i < plcDevices.count; ++i) {
    if (std::strcmp(LastPart(plcDevices.nodes[i]), LastPart(name)) == 0) return i;
  }
  return -1;
}

}  // namespace

JsonObject ModelListJson() {
  JsonObject models = JsonObject::array();
  for (int row = 0; row < kPlcCount; ++row) {
    char id[8];
    (void)std::snprintf(id, sizeof id, "0x%04X", static_cast<unsigned>(ModelOf(row).id));
    models.push_back({{"name", PlcName(row)},
                      {"link", IsUsbModel(row) ? "USB" : "serial"},
                      {"deviceId", id},
                      {"maxBytes", SizeRuleOf(row).limit},
                      {"afterErase", AfterEraseKey(row)},
                      {"pauseSeconds", ReconnectRuleOf(row).pauseSeconds}});
  }
  return models;
}

JsonObject PortListJson(const PortList& ports, const UsbPortList& plcDevices) {
  JsonObject list = JsonObject::array();
  for (int i = 0; i < ports.count; ++i) {
    list.push_back(PortEntry(ports.names[i], plcDevices, PlcDeviceOf(plcDevices, ports.names[i])));
  }
  for (int i = 0; i < plcDevices.count; ++i) {
    bool listed = false;
    for (int j = 0; j < ports.count && !listed; ++j) {
      listed = std::strcmp(ports.names[j], LastPart(plcDevices.nodes[i])) == 0;
    }
    if (!listed) list.push_back(PortEntry(plcDevices.nodes[i], plcDevices, i));
  }
  return list;
}

JsonObject PortListJson() {
  PortList list{};
  ListComPorts(&list);
  UsbPortList usb{};
  ListPlcUsbPorts(&usb);
  return PortListJson(list, usb);
}

std::string ModelListText() {
  char line[128];
  (void)std::snprintf(line, sizeof line, "%-10s %-6s %-6s %9s  %s\n", "Model", "Link", "ID",
                      "Max bytes", "After the erase command");
  std::string text = line;
  for (int row = 0; row < kPlcCount; ++row) {
    (void)std::snprintf(line, sizeof line, "%-10s %-6s 0x%04X %9u  %s\n", PlcName(row),
                        IsUsbModel(row) ? "USB" : "serial", static_cast<unsigned>(ModelOf(row).id),
                        static_cast<unsigned>(SizeRuleOf(row).limit), AfterEraseText(row).c_str());
    text += line;
  }
  return text;
}

void ListModels() {
  (void)std::fputs(ModelListText().c_str(), stdout);
}

void ListPorts() {
  PortList list{};
  ListComPorts(&list);
  UsbPortList usb{};
  ListPlcUsbPorts(&usb);
  (void)std::fputs(PortListText(list, usb).c_str(), stdout);
}

void ListMessages() {
  const MessageList all = AllMessages();
  for (size_t i = 0; i < all.count; ++i) std::printf("%s\n", all.messages[i].text);
}

std::string PortListText(const PortList& ports, const UsbPortList& plcDevices) {
  std::string text;
  for (int i = 0; i < ports.count; ++i) {
    text += ports.names[i] + StableNameOf(plcDevices, ports.names[i]) + "\n";
  }
  for (int i = 0; i < plcDevices.count; ++i) {
    bool listed = false;
    for (int j = 0; j < ports.count && !listed; ++j) {
      listed = std::strcmp(ports.names[j], LastPart(plcDevices.nodes[i])) == 0;
    }
    if (!listed) text += plcDevices.nodes[i] + StableNameOf(plcDevices, plcDevices.nodes[i]) + "\n";
  }
  return text;
}

}  // namespace plc
