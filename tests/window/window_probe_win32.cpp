// Reads the running plcfwupdate window from outside, as key=value lines:
//
//   window_probe main          the main window, its lists and its button
//   window_probe box CAPTION   the text of the message box with that caption
//   window_probe devicechange  tells the window that devices came or went,
//                              as Windows does (Wine does not for ports)
//
// Exit status 1 when the window is not there.  The lists are read with the
// combo-box messages, which the system carries across processes.
#include <windows.h>
// After windows.h, which it needs.
#include <dbt.h>

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
  std::fprintf(stderr, "usage: window_probe main | box CAPTION | devicechange\n");
  return 2;
}
