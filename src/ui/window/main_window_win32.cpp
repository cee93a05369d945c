// The main window: model list locked on the image's model, port list,
// "Start Burn", and the status panel; the burn itself runs on its own thread.
#include <windows.h>
// After windows.h, which they need.
#include <dbt.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "burn/burn.h"
#include "port/ports_win32.h"
#include "resource_ids.h"
#include "state/image.h"
#include "state/messages.h"
#include "state/models.h"
#include "state/run.h"
#include "ui/port_choice.h"
#include "ui/window/port_rows_win32.h"
#include "ui/window/status_panel_win32.h"
#include "ui/window/window_host_win32.h"

// The entry point is global; what it calls is the project's.
using namespace plc;

namespace {

constexpr char kClassName[] = "WindowsApp";
constexpr char kTitle[] = "Vemora PLC Firmware Update Program";

constexpr int kStartButtonId = 2;
constexpr int kPortListId = 7;
constexpr int kModelListId = 8;
constexpr UINT_PTR kPanelTimer = 6;

constexpr DWORD kMainStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON;
constexpr DWORD kModelListStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP |
                                  CBS_DROPDOWNLIST | CBS_AUTOHSCROLL | CBS_SORT | CBS_HASSTRINGS;
constexpr DWORD kPortListStyle =
    WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST | CBS_SORT | CBS_HASSTRINGS;
static_assert(kMainStyle == 0x00CA0000, "caption, system menu, minimize box only");
static_assert(kButtonStyle == 0x50010001, "button style");
static_assert(kModelListStyle == 0x50210343, "model list style");
static_assert(kPortListStyle == 0x50210303, "port list style");

ParamStruct paramStruct;
HWND hComPortList;
// Runs started by this window; the close question compares it to learn
// whether the run it asked about is still the one under way.
unsigned runsStarted = 0;

// Never destroyed: a run that is still going when the window closes ends with
// the process, and must not meet a host or a run (its link) torn down by the
// exit's destructors.
WindowHost& burnHost = *new WindowHost(&paramStruct);
// The window's one run: its model, its port, and the status the panel shows.
Run& burnRun = *new Run;

// The PLC USB devices of the list when there are several, one row each.
std::vector<UsbRow> usbRows;

// The selected port row's text becomes the port the next run opens.
void TakeSelectedPort(HWND portList) {
  const std::string text = SelectedRowText(portList);
  burnRun.SetSelectedComPort(text);
  UsbRow chosen;
  for (const UsbRow& row : usbRows) {
    if (row.label == text) chosen = row;
  }
  burnHost.ChooseUsbRow(chosen);
}

// Selects the model row with this name in the table (selectedPLCIdx and
// selectedPLCID together) and remembers the name shown.
void TakeModel(const char* name) {
  std::memset(burnRun.selectedPLC, 0, sizeof burnRun.selectedPLC);
  size_t length = std::strlen(name);
  if (length > sizeof burnRun.selectedPLC - 1) length = sizeof burnRun.selectedPLC - 1;
  std::memcpy(burnRun.selectedPLC, name, length);
  burnRun.SelectModel(PlcIndexByName(name));
}

// Fills the port list and selects the row showing keep if it is still
// there, else the default row.
void FillPortListKeeping(HWND portList, const std::string& keep) {
  usbRows = FillPortList(portList, burnRun, burnHost.GivenPort());
  const int row =
      KeptRow(PortRowTexts(portList), keep, DefaultPortRow(burnHost.GivenPort(), usbRows));
  SendMessageA(portList, CB_SETCURSEL, static_cast<WPARAM>(row), 0);
  TakeSelectedPort(portList);
}

// Devices arriving or leaving refill the port list, never during a run.
PortListRefresh portRefresh;

void OnStartCommand(HWND hwnd, HWND button) {
  // A second start while a run is under way is ignored: the button is
  // disabled only once the burn thread has loaded the image.
  if (burnRun.BurnInProgress()) return;
  paramStruct.hwnd = hwnd;
  paramStruct.hwndButton = button;
  // A tick fetched just before the last run's timer was killed may have
  // landed after that run's reset.
  burnRun.elapsedTime = 0;
  SetTimer(hwnd, kElapsedTimer, 1000, nullptr);
  if (StartBurnThread(burnRun, burnHost)) {
    ++runsStarted;
  } else {
    KillTimer(hwnd, kElapsedTimer);
  }
}

// Asks before closing during a run.  The question is modal but the window
// keeps working under it: the run can end and another one start, and a "Yes"
// given for the first must not end the second unasked.
bool MayClose(HWND hwnd) {
  while (burnRun.BurnInProgress()) {
    const unsigned asked = runsStarted;
    if (MessageBoxA(hwnd, kCloseQuestion, kWarningCaption, MB_YESNO | MB_ICONWARNING) != IDYES)
      return false;
    if (runsStarted == asked) return true;
  }
  return true;
}

void OnSelectionChange(HWND control, int id) {
  if (id == kPortListId) {
    burnRun.ComSelidx = static_cast<int32_t>(SendMessageA(control, CB_GETCURSEL, 0, 0));
    TakeSelectedPort(control);
  } else if (id == kModelListId) {
    // Reached only while the model list is enabled, which it never is after
    // start-up; kept so that an unlocked build behaves.
    TakeModel(SelectedRowText(control).c_str());
    usbRows = FillPortList(hComPortList, burnRun, burnHost.GivenPort());
    if (!IsUsbModel(burnRun.selectedPLCIdx))
      SendMessageA(hComPortList, CB_SETCURSEL, static_cast<WPARAM>(burnRun.ComSelidx), 0);
    TakeSelectedPort(hComPortList);
  }
}

LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      // A burn cut short erases the PLC's program without writing the new one.
      if (MayClose(hwnd)) DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC hdc = BeginPaint(hwnd, &paint);
      DisplayStatusPanel(hwnd, hdc, burnRun, false);
      EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_TIMER:
      if (wParam == kElapsedTimer) {
        // A tick fetched before the burn thread killed the timer can come
        // after the run's end: it counts for no run.
        if (burnRun.BurnInProgress()) burnRun.elapsedTime += 1;
      } else if (wParam == kPanelTimer) {
        if (portRefresh.Tick(burnRun.BurnInProgress()))
          FillPortListKeeping(hComPortList, SelectedRowText(hComPortList));
        HDC hdc = GetDC(hwnd);
        DisplayStatusPanel(hwnd, hdc, burnRun, true);
        ReleaseDC(hwnd, hdc);
      }
      return 0;
    case WM_DEVICECHANGE:
      if ((wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE ||
           wParam == DBT_DEVNODES_CHANGED) &&
          portRefresh.DeviceChanged(burnRun.BurnInProgress())) {
        FillPortListKeeping(hComPortList, SelectedRowText(hComPortList));
      }
      return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      // NOLINTNEXTLINE(performance-no-int-to-ptr)
      HWND control = reinterpret_cast<HWND>(lParam);
      if (code == CBN_SELCHANGE) {
        OnSelectionChange(control, id);
      } else if (code == BN_CLICKED && id == kStartButtonId && control != nullptr &&
                 control == GetDlgItem(hwnd, kStartButtonId)) {
        OnStartCommand(hwnd, control);
      }
      // Command 1 (the dialog keyboard's OK) would choose a file that no
      // run reads: there is no such branch.
      return 0;
    }
    default:
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

// Escape and Ctrl+Break are kept from the dialog keyboard handling, which
// would turn either into command 2, the start command: a burn erases the
// PLC's program, so only the button itself starts one.  The focused control
// still gets the key (an open drop-down list closes).
bool IsCancelKey(const MSG& msg) {
  return (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP || msg.message == WM_CHAR) &&
         (msg.wParam == VK_ESCAPE || msg.wParam == VK_CANCEL);
}

HWND CreateChild(HWND parent, HINSTANCE instance, const char* cls, const char* text, DWORD style,
                 int x, int y, int width, int height, int id) {
  // A child window's id travels in the menu handle's place.
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  HMENU childId = reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
  return CreateWindowExA(0, cls, text, style, x, y, width, height, parent, childId, instance,
                         nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int nCmdShow) {
  std::string port;
  std::string error;
  if (!ParseWindowArgs(__argc, __argv, &port, &error)) {
    const std::string text = error + "\n\n" + WindowUsage();
    MessageBoxA(nullptr, text.c_str(), kTitle, MB_OK | MB_ICONERROR);
    return 2;
  }
  burnHost.SetGivenPort(port);

  WNDCLASSEXA windowClass;
  std::memset(&windowClass, 0, sizeof windowClass);
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = hInstance;
  windowClass.hIcon = LoadIconA(hInstance, MAKEINTRESOURCEA(IDI_PLC_ICON));
  windowClass.hIconSm = LoadIconA(hInstance, MAKEINTRESOURCEA(IDI_PLC_ICON));
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  // A system colour + 1 stands for its brush; the panel clears with the same.
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_SCROLLBAR + 1));
  windowClass.lpszClassName = kClassName;
  if (!RegisterClassExA(&windowClass)) return 0;

  HWND hwnd = CreateWindowExA(0, kClassName, kTitle, kMainStyle, CW_USEDEFAULT, CW_USEDEFAULT, 544,
                              205, nullptr, nullptr, hInstance, nullptr);
  CreateChild(hwnd, hInstance, "BUTTON", "Start Burn", kButtonStyle, 10, 60, 100, 30,
              kStartButtonId);
  HWND modelList =
      CreateChild(hwnd, hInstance, "COMBOBOX", "", kModelListStyle, 10, 20, 100, 200, kModelListId);

  for (int row = 0; row < kPlcCount; ++row) {
    SendMessageA(modelList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(plcList[row].name));
  }
  // The image's name chooses the model: its part before the first '_'.
  char prefix[sizeof burnRun.selectedPLC];
  ModelPrefixOf(EmbeddedFirmwareName(), prefix, sizeof prefix);
  LRESULT found = SendMessageA(modelList, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                               reinterpret_cast<LPARAM>(prefix));
  if (found != CB_ERR) {
    SendMessageA(modelList, CB_SETCURSEL, static_cast<WPARAM>(found), 0);
    TakeModel(prefix);
  } else {
    SendMessageA(modelList, CB_SETCURSEL, 0, 0);
    char first[64];
    ComboRowText(modelList, 0, first, sizeof first);
    TakeModel(first);
  }
  EnableWindow(modelList, FALSE);

  hComPortList =
      CreateChild(hwnd, hInstance, "COMBOBOX", "", kPortListStyle, 160, 20, 100, 200, kPortListId);
  // Wide enough for a device path or a USB location when dropped down.
  SendMessageA(hComPortList, CB_SETDROPPEDWIDTH, 360, 0);
  FillPortListKeeping(hComPortList, "");
  // Windows tells every top-level window of ports and device nodes coming
  // and going; the PLC's USB device interface only to those who ask.
  DEV_BROADCAST_DEVICEINTERFACE_A filter;
  std::memset(&filter, 0, sizeof filter);
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = USB_DRIVER_GUID;
  HDEVNOTIFY notify = RegisterDeviceNotificationA(hwnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);

  SetTimer(hwnd, kPanelTimer, 100, nullptr);
  ShowWindow(hwnd, nCmdShow);

  MSG msg;
  BOOL got;
  while ((got = GetMessageA(&msg, nullptr, 0, 0)) != 0 && got != -1) {
    if (IsCancelKey(msg) || !IsDialogMessageA(hwnd, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  if (notify != nullptr) UnregisterDeviceNotification(notify);
  return got == -1 ? 0 : static_cast<int>(msg.wParam);
}
