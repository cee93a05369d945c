// Reads the running plcfwupdate window from outside, as key=value lines:
//
//   window_probe main          the main window, its lists and its button
//   window_probe box CAPTION   the text of the message box with that caption
//   window_probe devicechange  tells the window that devices came or went,
//                              as Windows does (Wine does not for ports)
//   window_probe plcs LOC...   PLC USB devices at these locations, in this
//                              order of the search, beside a USB device of
//                              another maker, in place of those made before
//
// Exit status 1 when the window is not there.  The lists are read with the
// combo-box messages, which the system carries across processes.
#include <windows.h>
// After windows.h, which they need.
#include <dbt.h>
#include <setupapi.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string ComboRow(HWND combo, LRESULT row) {
  // The wide message: the system carries it across processes whole.
  LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(row), 0);
  if (length < 0 || length > 255) return "";
  wchar_t wide[256] = {};
  SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(wide));
  char text[512] = {};
  WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
  return text;
}

std::string WindowText(HWND hwnd) {
  char text[512] = {};
  GetWindowTextA(hwnd, text, sizeof text);
  return text;
}

void PrintCombo(const char* name, HWND combo) {
  LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
  LRESULT selected = SendMessageA(combo, CB_GETCURSEL, 0, 0);
  std::string rows;
  for (LRESULT i = 0; i < count; ++i) rows += (i ? "," : "") + ComboRow(combo, i);
  std::printf("%s_rows=%s\n", name, rows.c_str());
  std::printf("%s_selected=%s\n", name, selected >= 0 ? ComboRow(combo, selected).c_str() : "");
  std::printf("%s_enabled=%d\n", name, IsWindowEnabled(combo) ? 1 : 0);
}

int ProbeMain() {
  HWND main = FindWindowA("WindowsApp", nullptr);
  if (main == nullptr) {
    std::printf("found=0\n");
    return 1;
  }
  RECT outer;
  GetWindowRect(main, &outer);
  POINT client = {0, 0};
  ClientToScreen(main, &client);
  std::printf("found=1\n");
  std::printf("title=%s\n", WindowText(main).c_str());
  std::printf("outer=%ldx%ld\n", outer.right - outer.left, outer.bottom - outer.top);
  std::printf("outer_origin=%ld,%ld\n", outer.left, outer.top);
  std::printf("client_origin=%ld,%ld\n", client.x, client.y);
  RECT inner;
  GetClientRect(main, &inner);
  std::printf("client=%ldx%ld\n", inner.right, inner.bottom);
  std::printf("style=%08lX\n", static_cast<unsigned long>(GetWindowLongA(main, GWL_STYLE)));
  PrintCombo("model", GetDlgItem(main, 8));
  PrintCombo("port", GetDlgItem(main, 7));
  HWND button = GetDlgItem(main, 2);
  std::printf("button_text=%s\n", WindowText(button).c_str());
  std::printf("button_enabled=%d\n", IsWindowEnabled(button) ? 1 : 0);
  // The focus of the window's thread: the id of the control that has it.
  GUITHREADINFO thread;
  std::memset(&thread, 0, sizeof thread);
  thread.cbSize = sizeof thread;
  GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &thread);
  std::printf("focus_id=%d\n", thread.hwndFocus != nullptr ? GetDlgCtrlID(thread.hwndFocus) : 0);
  return 0;
}

int ProbeBox(const char* caption) {
  // The message box class; its text is the static control with id 0xFFFF.
  HWND box = FindWindowA("#32770", caption);
  if (box == nullptr) {
    std::printf("found=0\n");
    return 1;
  }
  std::printf("found=1\n");
  std::printf("caption=%s\n", WindowText(box).c_str());
  std::printf("text=%s\n", WindowText(GetDlgItem(box, 0xFFFF)).c_str());
  std::printf("owner_is_main=%d\n",
              GetWindow(box, GW_OWNER) == FindWindowA("WindowsApp", nullptr) ? 1 : 0);
  return 0;
}

// GUID_DEVCLASS_USB and GUID_DEVINTERFACE_USB_DEVICE.
const GUID kUsbClass = {0x36fc9e60, 0xc465, 0x11cf, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0, 0}};
const GUID kUsbInterface = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
constexpr char kFakeMark[] = "PLCFAKE";

// A USB device that Windows' device search lists as present, with its
// location, in Wine's registry (Wine has no USB devices of its own).
bool AddFakeUsbDevice(const std::string& id, const char* location) {
  HDEVINFO set = SetupDiCreateDeviceInfoList(&kUsbClass, nullptr);
  SP_DEVINFO_DATA device = {sizeof device, {}, 0, 0};
  SP_DEVICE_INTERFACE_DATA iface = {sizeof iface, {}, 0, 0};
  char detailBuffer[512] = {};
  auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(detailBuffer);
  detail->cbSize = sizeof *detail;
  const bool made =
      SetupDiCreateDeviceInfoA(set, id.c_str(), &kUsbClass, nullptr, nullptr, 0, &device) &&
      SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr) &&
      SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_LOCATION_INFORMATION,
                                        reinterpret_cast<const BYTE*>(location),
                                        static_cast<DWORD>(std::strlen(location) + 1)) &&
      SetupDiCreateDeviceInterfaceA(set, &device, &kUsbInterface, nullptr, 0, &iface) &&
      SetupDiGetDeviceInterfaceDetailA(set, &iface, detail, sizeof detailBuffer, nullptr, nullptr);
  SetupDiDestroyDeviceInfoList(set);
  // Present once linked, as a driver's interface is: "\\?\usb#..." is kept
  // under "##?#usb#...", its empty reference string under "#".
  const std::string key = std::string(
                              "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
                              "{a5dcbf10-6530-11d2-901f-00c04fb951ed}\\##?#") +
                          (detail->DevicePath + 4) + "\\#\\Control";
  const DWORD linked = 1;
  const bool done = made && RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "Linked", REG_DWORD,
                                            &linked, sizeof linked) == ERROR_SUCCESS;
  return done;
}

int MakeFakePlcs(int count, char** locations) {
  HDEVINFO set = SetupDiGetClassDevsA(&kUsbClass, nullptr, nullptr, 0);
  SP_DEVINFO_DATA device = {sizeof device, {}, 0, 0};
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
    char id[256] = {};
    SetupDiGetDeviceInstanceIdA(set, &device, id, sizeof id, nullptr);
    if (std::strstr(id, kFakeMark) != nullptr) SetupDiRemoveDevice(set, &device);
  }
  SetupDiDestroyDeviceInfoList(set);
  if (count == 0) return 0;
  bool made =
      AddFakeUsbDevice(std::string("USB\\VID_1234&PID_0001\\") + kFakeMark, "Port_#0009.Hub_#0009");
  for (int i = 0; i < count; ++i) {
    made = made && AddFakeUsbDevice(
                       std::string("USB\\VID_4B2C&PID_0001\\") + kFakeMark + std::to_string(i + 1),
                       locations[i]);
  }
  return made ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "main") == 0) return ProbeMain();
  if (argc >= 3 && std::strcmp(argv[1], "box") == 0) return ProbeBox(argv[2]);
  if (argc >= 2 && std::strcmp(argv[1], "devicechange") == 0) {
    HWND main = FindWindowA("WindowsApp", nullptr);
    if (main == nullptr) return 1;
    SendMessageA(main, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "plcs") == 0) return MakeFakePlcs(argc - 2, argv + 2);
  (void)std::fprintf(stderr,
                     "usage: window_probe main | box CAPTION | devicechange | plcs LOC...\n");
  return 2;
}
