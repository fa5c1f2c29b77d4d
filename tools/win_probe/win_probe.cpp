// win-probe: finds a dialog by its caption and reads or drives it through
// the window system, printing UTF-8. Used by the end-to-end tests.
//
//   win-probe wait CAPTION MS        wait until the dialog is visible
//   win-probe gone CAPTION MS        wait until no such dialog exists
//   win-probe dump CAPTION           print its state, one key=value a line
//   win-probe command CAPTION ID     post WM_COMMAND with ID
//   win-probe close CAPTION          post WM_SYSCOMMAND SC_CLOSE
//   win-probe center CAPTION ID      print the screen centre of control ID
//   win-probe closebox CAPTION       print the screen centre of the close box
//   win-probe queryend CAPTION       send WM_QUERYENDSESSION as a logoff does and
//                                    print the answer (1: the session may end)
//   win-probe run SHOW EXE           start EXE with show command SHOW (e.g. 7,
//                                    SW_SHOWMINNOACTIVE), wait for it, and
//                                    print its exit code
//
// Exit status 0 on success, 1 when the dialog is not there, 2 on misuse.

#include <windows.h>
#include <commctrl.h>

#include "res/resource.h"

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

const int kControls[] = {IDC_RELEASE_NOTES, IDC_PROGRESS, IDC_VERSION, IDC_UPDATE_FIRMWARE,
                         IDC_STATUS};

void Print(const std::wstring& text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                      nullptr, nullptr);
  fwrite(bytes.data(), 1, bytes.size(), stdout);
}

// One line; line breaks inside the value are written as \r and \n.
void PrintLine(const std::wstring& key, const std::wstring& value) {
  std::wstring line = key + L"=";
  for (wchar_t c : value) {
    if (c == L'\r')
      line += L"\\r";
    else if (c == L'\n')
      line += L"\\n";
    else
      line += c;
  }
  Print(line + L"\n");
}

std::wstring Text(HWND window) {
  // WM_GETTEXT works across processes; GetWindowText would not.
  LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  LRESULT got =
      SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(got));
  return text;
}

std::wstring Rect(const RECT& r) {
  return std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L"," + std::to_wstring(r.right) +
         L"," + std::to_wstring(r.bottom);
}

HWND Find(const wchar_t* caption) { return FindWindowW(L"#32770", caption); }

HWND WaitFor(const wchar_t* caption, DWORD ms, bool present) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND dialog = Find(caption);
    if (present ? (dialog && IsWindowVisible(dialog)) : !dialog) return dialog;
    if (GetTickCount() - start > ms) return present ? nullptr : dialog;
    Sleep(50);
  }
}

void Dump(HWND dialog) {
  RECT window{}, work{};
  GetWindowRect(dialog, &window);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  PrintLine(L"caption", Text(dialog));
  PrintLine(L"visible", IsWindowVisible(dialog) ? L"1" : L"0");
  PrintLine(L"minimised", IsIconic(dialog) ? L"1" : L"0");
  PrintLine(L"window", Rect(window));
  PrintLine(L"workarea", Rect(work));
  for (int id : kControls) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) continue;
    PrintLine(L"text." + std::to_wstring(id), Text(control));
    PrintLine(L"enabled." + std::to_wstring(id), IsWindowEnabled(control) ? L"1" : L"0");
  }
  // The fixed labels carry no identifier of their own.
  std::wstring labels;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (static_cast<short>(GetDlgCtrlID(child)) == -1)
      labels += (labels.empty() ? L"" : L"|") + Text(child);
  }
  PrintLine(L"labels", labels);
  HWND bar = GetDlgItem(dialog, IDC_PROGRESS);
  // Without a structure (which cannot cross processes) the answer is
  // the low limit for TRUE and the high one for FALSE.
  LRESULT low = SendMessageW(bar, PBM_GETRANGE, TRUE, 0);
  LRESULT high = SendMessageW(bar, PBM_GETRANGE, FALSE, 0);
  PrintLine(L"progress.pos", std::to_wstring(SendMessageW(bar, PBM_GETPOS, 0, 0)));
  PrintLine(L"progress.range", std::to_wstring(low) + L"," + std::to_wstring(high));
  // The focus belongs to the dialog's thread; ask that thread's state.
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  DWORD pid = 0;
  DWORD thread = GetWindowThreadProcessId(dialog, &pid);
  std::wstring focus = L"none";
  if (GetGUIThreadInfo(thread, &info) && info.hwndFocus) {
    focus = std::to_wstring(static_cast<short>(GetDlgCtrlID(info.hwndFocus)));
    if (info.hwndFocus == dialog) focus = L"dialog";
  }
  PrintLine(L"focus", focus);
  PrintLine(L"pid", std::to_wstring(pid));
}

int Usage() {
  fwprintf(stderr,
           L"usage: win-probe wait|gone|dump|command|close|center|closebox|queryend CAPTION [ARG] "
           L"| run SHOW EXE\n");
  return 2;
}

}  // namespace

// Starts a program the way a shell would with that show command.
int RunWithShowCommand(int show, const wchar_t* exe) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(show);
  PROCESS_INFORMATION process{};
  std::wstring commandLine = L"\"" + std::wstring(exe) + L"\"";
  if (!CreateProcessW(exe, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return 1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  Print(std::to_wstring(code) + L"\n");
  fflush(stdout);
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return Usage();
  std::wstring verb = argv[1];
  if (verb == L"run" && argc > 3) return RunWithShowCommand(_wtoi(argv[2]), argv[3]);
  const wchar_t* caption = argv[2];
  if (verb == L"wait" || verb == L"gone") {
    DWORD ms = argc > 3 ? wcstoul(argv[3], nullptr, 10) : 10000;
    HWND found = WaitFor(caption, ms, verb == L"wait");
    return (verb == L"wait") == (found != nullptr) ? 0 : 1;
  }
  HWND dialog = Find(caption);
  if (!dialog) {
    fwprintf(stderr, L"win-probe: no dialog \"%ls\"\n", caption);
    return 1;
  }
  if (verb == L"dump") {
    Dump(dialog);
  } else if (verb == L"command" && argc > 3) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(wcstoul(argv[3], nullptr, 10), BN_CLICKED), 0);
  } else if (verb == L"close") {
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  } else if (verb == L"center" && argc > 3) {
    RECT r{};
    GetWindowRect(GetDlgItem(dialog, static_cast<int>(wcstol(argv[3], nullptr, 10))), &r);
    Print(std::to_wstring((r.left + r.right) / 2) + L" " + std::to_wstring((r.top + r.bottom) / 2) +
          L"\n");
  } else if (verb == L"queryend") {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(dialog, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG,
                             5000, &answer)) {
      return 1;
    }
    Print(std::to_wstring(answer) + L"\n");
  } else if (verb == L"closebox") {
    // Ask the window itself where its close box is, point by point.
    RECT r{};
    GetWindowRect(dialog, &r);
    for (LONG y = r.top; y < r.top + 48; ++y) {
      LONG first = -1, last = -1;
      for (LONG x = r.left; x < r.right; ++x) {
        if (SendMessageW(dialog, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTCLOSE) {
          if (first < 0) first = x;
          last = x;
        }
      }
      if (first >= 0) {
        Print(std::to_wstring((first + last) / 2) + L" " + std::to_wstring(y + 6) + L"\n");
        fflush(stdout);
        return 0;
      }
    }
    return 1;
  } else {
    return Usage();
  }
  fflush(stdout);
  return 0;
}
