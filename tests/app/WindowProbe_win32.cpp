// Drives the windows of KVSetupConfigurator.exe from outside, as a user started without a
// console would meet them (run under Wine on a virtual X display by cli_e2e.py):
//   kv_window_probe PROGRAM.exe
// 1. "-h" with no console and no standard handles: the note window appears with the designed
//    layout, the usage text and the memo anchored to all sides; closing it ends the program
//    with exit code 1.
// 2. No arguments: the main window appears with its caption, every control at its place with its
//    text, the radio choice swapping the enabled states and the tab stops, the fixed client
//    height, the minimum width and the anchors; Escape in an edit box does nothing, Enter stores.
//    With SHOTS_DIR, screenshots of the window and of a message box are saved there.
// 3. With the store arguments: a store from a package file with a wrong signature typed on the
//    keyboard alone (mnemonics, F4 and Alt+Down for the browse dialogs, the arrow keys in the
//    radio group, Enter; question, "&Ignore", save dialog, warning naming the output, Escape),
//    then one from a slow server, during which
//    the window keeps answering and the answer-file box changed meanwhile is the one stored; a
//    third store closed during its download ends the program with exit code 0 and no dialog.
//    Between the stores: the system menu's items open the view of a setup file and of the new
//    one, with kvreadback's text; Copy, a screenshot, Escape.
//    Without them, closing the window ends the program with exit code 0.
// 4. In its own process, on a thread of its own: the main window through WM_DPICHANGED at 144
//    and 192 dpi and back; message boxes of a minimised owner and of a very long name inside the
//    work area; a failure injected into a handler of every window class, reported in a box while
//    the program and the store action carry on; a press that loses the capture not clicking; and
//    the counts of GDI and USER objects after 100 stores and 20 resolution changes; files
//    dropped on the window open their views; what a screen reader hears of every control of the
//    main window, a message box and a view; Tab in a view; a view at 144 dpi; the bitmap font at
//    96 dpi; on a screen of 16 bits, the disabled glyph following the system colours.
// 5. "--language sk|cs SHOTS_DIR URL", run under that locale: every caption of the main window in
//    the language and fitting its control, a failed download's message, a screenshot, the
//    system's reason for a missing file in the language.
// 6. "--dpi SHOTS_DIR SETUP_FILE", run in a session at 144 dpi: the note window and the view of
//    the file (opened over the main window in the bottom-right corner) inside the work area at 1.5
//    times their size, in the TrueType font; back at 96 dpi on WM_DPICHANGED.
// 7. "--busy PROGRAM.exe SOURCE PACKAGE OUTPUT", SOURCE a large setup file and PACKAGE without a
//    signature: a store in the main window, which answers every message within 200 ms from the
//    click until the result appears (asked all the while from a second thread, except while the
//    system's save dialog opens); the shell's message that the taskbar button was made anew is
//    sent while the copy is under way.
// Prints one line per check ("ok ..." or "FAIL ...") and exits 0 when every check passed.
#include <windows.h>

#include <commctrl.h>
#include <oleacc.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/MainFormLayout.h"
#include "app/MainWindow_win32.h"
#include "app/MessageDialog_win32.h"
#include "app/NoteForm_win32.h"
#include "app/StoreInputs.h"
#include "app/UsageText.h"
#include "base/WinText_win32.h"
#include "contents/SetupContents.h"
#include "contents/SetupContentsText.h"
#include "tests/support/GuiObjects_win32.h"
#include "ui/Window_win32.h"
#include "ui/ZNTImageList.h"

namespace {

int failures = 0;

void Check(bool passed, const std::string& what) {
  std::printf("%s %s\n", passed ? "ok" : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!passed)
    ++failures;
}

// The text through WM_GETTEXT, which also reaches the controls of another process.
std::string WindowText(HWND window) {
  const LRESULT length = ::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT copied = ::SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(length + 1),
                                        reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(copied));
  return kv::WideToUtf8(text);
}

std::wstring ClassName(HWND window) {
  wchar_t name[256] = {};
  ::GetClassNameW(window, name, 256);
  return name;
}

struct WindowSearch {
  DWORD process_id;
  const wchar_t* class_name;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<WindowSearch*>(parameter);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != search->process_id || ClassName(window) != search->class_name ||
      !::IsWindowVisible(window)) {
    return TRUE;
  }
  search->found = window;
  return FALSE;
}

// Waits up to a minute for a visible top-level window of the process with the class name.
HWND WaitForWindow(DWORD process_id, const wchar_t* class_name) {
  for (int attempt = 0; attempt < 600; ++attempt) {
    WindowSearch search{process_id, class_name, nullptr};
    ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found)
      return search.found;
    ::Sleep(100);
  }
  return nullptr;
}

// Starts the program detached from any console and without standard handles.
bool Start(const std::wstring& program, const std::wstring& arguments,
           PROCESS_INFORMATION& process) {
  std::wstring command_line = L"\"" + program + L"\"" + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  return ::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                          DETACHED_PROCESS, nullptr, nullptr, &startup, &process) != 0;
}

DWORD CloseAndWait(HWND window, const PROCESS_INFORMATION& process) {
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  DWORD exit_code = STILL_ACTIVE;
  if (::WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
    ::GetExitCodeProcess(process.hProcess, &exit_code);
  else
    ::TerminateProcess(process.hProcess, 99);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return exit_code;
}

int Scaled(int value, int pixels_per_inch) {
  return ::MulDiv(value, pixels_per_inch, 96);
}

std::string Size(int width, int height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

void CheckNoteWindow(const std::wstring& program) {
  PROCESS_INFORMATION process{};
  Check(Start(program, L" -h", process), "start with -h");
  const HWND form = WaitForWindow(process.dwProcessId, L"TNoteForm");
  Check(form != nullptr, "the note window appears");
  if (!form) {
    ::TerminateProcess(process.hProcess, 99);
    return;
  }
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);

  Check(WindowText(form) == "Note", "caption \"Note\"");
  const LONG_PTR style = ::GetWindowLongPtrW(form, GWL_STYLE);
  Check((style & WS_THICKFRAME) != 0, "sizeable border");
  RECT client{};
  ::GetClientRect(form, &client);
  Check(client.right == Scaled(762, dpi) && client.bottom == Scaled(606, dpi),
        "client area 762 x 606 at 96 dpi: " + Size(client.right, client.bottom));
  RECT frame{};
  ::GetWindowRect(form, &frame);
  Check(frame.left == Scaled(187, dpi) && frame.top == Scaled(192, dpi),
        "placed at 187, 192: " + std::to_string(frame.left) + ", " + std::to_string(frame.top));

  const HWND memo = ::GetWindow(form, GW_CHILD);
  Check(memo != nullptr && ClassName(memo) == L"Edit", "MemoNote is an edit box");
  if (!memo) {
    CloseAndWait(form, process);
    return;
  }
  const LONG_PTR memo_style = ::GetWindowLongPtrW(memo, GWL_STYLE);
  const LONG_PTR wanted = ES_MULTILINE | ES_READONLY | WS_HSCROLL | WS_VSCROLL | ES_AUTOHSCROLL;
  Check((memo_style & wanted) == wanted && (memo_style & WS_BORDER) == 0,
        "multi-line, read-only, both scroll bars, no word wrap, no border");
  Check(WindowText(memo) == kv::UsageText("\r\n"), "the usage text");
  RECT memo_rect{};
  ::GetWindowRect(memo, &memo_rect);
  ::MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&memo_rect), 2);
  Check(memo_rect.left == Scaled(8, dpi) && memo_rect.top == Scaled(8, dpi) &&
            memo_rect.right - memo_rect.left == Scaled(746, dpi) &&
            memo_rect.bottom - memo_rect.top == Scaled(590, dpi),
        "MemoNote at 8, 8 of 746 x 590");
  // Anchored to all four sides: the margins stay when the window grows.
  ::SetWindowPos(form, nullptr, 0, 0, frame.right - frame.left + 100, frame.bottom - frame.top + 50,
                 SWP_NOMOVE | SWP_NOZORDER);
  ::Sleep(500);
  ::GetWindowRect(memo, &memo_rect);
  Check(memo_rect.right - memo_rect.left == Scaled(746, dpi) + 100 &&
            memo_rect.bottom - memo_rect.top == Scaled(590, dpi) + 50,
        "MemoNote grows with the window: " +
            Size(memo_rect.right - memo_rect.left, memo_rect.bottom - memo_rect.top));

  Check(CloseAndWait(form, process) == 1, "closing the note window ends with exit code 1");
}

// --- the main window

using kv::TMainControl;

struct StoreRun {
  std::wstring source;   // Windows paths
  std::wstring package;  // a package file signed with a key other than the built-in one
  std::wstring answer;
  std::wstring output;  // of the run with the package file
  std::wstring url;     // a server that answers slowly with a package
  std::wstring second_output;
};

HWND Item(HWND form, TMainControl control) {
  return ::GetDlgItem(form, kv::kFirstControlId + static_cast<int>(control));
}

RECT ClientRect(HWND window) {
  RECT client{};
  ::GetClientRect(window, &client);
  return client;
}

// The control's rectangle in the form's client coordinates.
kv::ScreenRect PlaceOf(HWND form, HWND control) {
  RECT rect{};
  ::GetWindowRect(control, &rect);
  ::MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&rect), 2);
  return kv::FromRect(rect);
}

std::string Describe(const kv::ScreenRect& r) {
  return std::to_string(r.Left) + ", " + std::to_string(r.Top) + " " + Size(r.Width(), r.Height());
}

bool Enabled(HWND form, TMainControl control) {
  return ::IsWindowEnabled(Item(form, control)) != 0;
}

// Waits until a window answers a message again (the program is idle).
void Settle(HWND form) {
  DWORD_PTR result = 0;
  ::SendMessageTimeoutW(form, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
  ::Sleep(200);
}

// The control with the keyboard focus in the window's thread.
HWND FocusOf(HWND window) {
  GUITHREADINFO thread{};
  thread.cbSize = sizeof(thread);
  ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &thread);
  return thread.hwndFocus;
}

void PostKey(HWND window, WPARAM key) {
  ::PostMessageW(window, WM_KEYDOWN, key, 0);
  ::PostMessageW(window, WM_KEYUP, key, 0xC0000000);
}

// Writes the pixels of the window's rectangle on the screen as a 24-bit BMP file.
void SaveScreenshot(HWND window, const std::wstring& file) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  const HDC screen = ::GetDC(nullptr);
  const HDC memory = ::CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ previous = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  ::GdiFlush();
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  const DWORD image_size = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER header{};
  header.bfType = 0x4D42;
  header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  header.bfSize = header.bfOffBits + image_size;
  const HANDLE out = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  const bool saved = out != INVALID_HANDLE_VALUE &&
                     ::WriteFile(out, &header, sizeof(header), &written, nullptr) &&
                     ::WriteFile(out, &info.bmiHeader, sizeof(info.bmiHeader), &written, nullptr) &&
                     ::WriteFile(out, bits, image_size, &written, nullptr);
  if (out != INVALID_HANDLE_VALUE)
    ::CloseHandle(out);
  ::SelectObject(memory, previous);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  Check(saved, "screenshot " + kv::WideToUtf8(file));
}

struct OwnedSearch {
  DWORD process_id;
  const wchar_t* class_name;
  HWND skip;
  HWND found;
};

BOOL CALLBACK MatchOwned(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<OwnedSearch*>(parameter);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner == search->process_id && window != search->skip && ::IsWindowVisible(window) &&
      ClassName(window) == search->class_name) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// Waits up to timeout_ms for a visible window of the class (not skip) in the process.
HWND WaitForDialog(DWORD process_id, const wchar_t* class_name, int timeout_ms,
                   HWND skip = nullptr) {
  for (int waited = 0; waited <= timeout_ms; waited += 50) {
    OwnedSearch search{process_id, class_name, skip, nullptr};
    ::EnumWindows(MatchOwned, reinterpret_cast<LPARAM>(&search));
    if (search.found)
      return search.found;
    ::Sleep(50);
  }
  return nullptr;
}

struct ChildSearch {
  const wchar_t* class_name;
  std::string text;  // empty: any
  HWND found;
};

BOOL CALLBACK MatchChild(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<ChildSearch*>(parameter);
  if (ClassName(window) == search->class_name &&
      (search->text.empty() || WindowText(window) == search->text)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindChild(HWND parent, const wchar_t* class_name, const std::string& text = "") {
  ChildSearch search{class_name, text, nullptr};
  ::EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The message dialog's text and title, then its answer by the button with that caption.
struct Box {
  std::string title;
  std::string text;
};

Box ReadBox(HWND box) {
  const HWND text = FindChild(box, L"Static");
  return {WindowText(box), text ? WindowText(text) : ""};
}

void Press(HWND box, const std::string& caption) {
  const HWND button = FindChild(box, L"Button", caption);
  Check(button != nullptr, "button \"" + caption + "\"");
  if (button)
    ::PostMessageW(button, BM_CLICK, 0, 0);
}

// Fills the save dialog's name and confirms it.
void AnswerSaveDialog(HWND dialog, const std::wstring& file) {
  HWND name = ::GetDlgItem(dialog, 0x47C);  // the name box (a combo box), or the older edit
  if (!name)
    name = ::GetDlgItem(dialog, 0x480);
  Check(name != nullptr, "the save dialog's name box");
  if (!name)
    return;
  ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(file.c_str()));
  ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
}

void SetText(HWND form, TMainControl control, const std::wstring& text) {
  ::SendMessageW(Item(form, control), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string Quoted(const std::wstring& file) {
  std::string quoted = kv::WideToUtf8(file);
  quoted.insert(quoted.begin(), '"');
  quoted.push_back('"');
  return quoted;
}

// Waits for a message box, reads it and answers it with its only or first button.
std::string AnswerBox(DWORD process_id, HWND skip = nullptr) {
  const HWND box = WaitForDialog(process_id, L"TKVMessageDialog", 10000, skip);
  if (!box)
    return "(no box)";
  const std::string text = ReadBox(box).text;
  ::PostMessageW(::GetDlgItem(box, kv::kFirstControlId), BM_CLICK, 0, 0);
  for (int i = 0; i < 100 && ::IsWindow(box); ++i)
    ::Sleep(50);
  return text;
}

// --- the views of setup files

constexpr WPARAM kShowSetupCommand = 0x0100;   // the system menu's "Show what a setup file holds"
constexpr WPARAM kShowStoredCommand = 0x0110;  // and "Show what the new setup file holds"

// kvreadback's text of the file, with the line ends of an edit box.
std::string ReadBackText(const std::wstring& file) {
  std::string text;
  for (const char c : kv::InspectionText(kv::InspectSetupFile(kv::WideToUtf8(file))))
    text += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return text;
}

int CountWindows(DWORD process_id, const wchar_t* class_name) {
  int count = 0;
  for (HWND window = ::FindWindowExW(nullptr, nullptr, class_name, nullptr); window;
       window = ::FindWindowExW(nullptr, window, class_name, nullptr)) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    count += owner == process_id && ::IsWindowVisible(window);
  }
  return count;
}

std::string ClipboardText() {
  std::string text = "(no text)";
  if (!::OpenClipboard(nullptr))
    return text;
  if (const HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* wide = static_cast<const wchar_t*>(::GlobalLock(data))) {
      text = kv::WideToUtf8(wide);
      ::GlobalUnlock(data);
    }
  }
  ::CloseClipboard();
  return text;
}

// The one view of the process shows file with kvreadback's text; with shots, Copy puts the text
// on the clipboard, the screenshot is saved, and Escape closes the view.
void CheckSetupView(DWORD process_id, const std::wstring& file, const std::string& how,
                    const std::wstring& shots = L"") {
  const HWND view = WaitForDialog(process_id, L"TKVSetupView", 30000);
  const HWND memo = view ? FindChild(view, L"Edit") : nullptr;
  const std::string text = memo ? WindowText(memo) : "";
  Check(memo && WindowText(view) == kv::WideToUtf8(file) && text == ReadBackText(file) &&
            CountWindows(process_id, L"TKVSetupView") == 1,
        how + " shows the one view of " + kv::WideToUtf8(file) + " with kvreadback's text");
  if (!view || shots.empty())
    return;
  const HWND copy = FindChild(view, L"Button", "Copy");
  ::PostMessageW(copy, BM_CLICK, 0, 0);
  Settle(view);
  Check(copy && ClipboardText() == text, "Copy puts the view's text on the clipboard");
  SaveScreenshot(view, shots + L"\\setup-view.bmp");
  PostKey(memo, VK_ESCAPE);
  Settle(view);
  Check(CountWindows(process_id, L"TKVSetupView") == 0, "Escape closes the view");
}

// Ctrl+I typed on the keyboard into the foreground window.
void TypeControlI(HWND form) {
  ::SetForegroundWindow(form);
  Settle(form);
  INPUT keys[4] = {};
  const WORD codes[4] = {VK_CONTROL, 'I', 'I', VK_CONTROL};
  for (int i = 0; i < 4; ++i) {
    keys[i].type = INPUT_KEYBOARD;
    keys[i].ki.wVk = codes[i];
    keys[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
  }
  ::SendInput(4, keys, sizeof(INPUT));
}

// After a store: the system menu's item and Ctrl+I open the view of the file chosen in the
// dialog (the second time the same view); the item of the new file brings that view to the front.
void CheckSetupViewsFromMenu(HWND form, DWORD process_id, const StoreRun& run,
                             const std::wstring& shots) {
  struct Row {
    const char* how;
    std::function<void()> open;
  };
  const Row rows[] = {
      {"the system menu's item",
       [form] { ::PostMessageW(form, WM_SYSCOMMAND, kShowSetupCommand, 0); }},
      {"Ctrl+I", [form] { TypeControlI(form); }},
  };
  for (const Row& row : rows) {
    row.open();
    const HWND dialog = WaitForDialog(process_id, L"#32770", 30000);
    Check(dialog && WindowText(dialog) == "Choose SETUP file to show",
          std::string(row.how) + " opens the dialog");
    if (!dialog)
      return;
    AnswerSaveDialog(dialog, run.output);
    CheckSetupView(process_id, run.output, row.how);
  }
  ::PostMessageW(form, WM_SYSCOMMAND, kShowStoredCommand, 0);
  Settle(form);
  CheckSetupView(process_id, run.output, "the item of the new setup file", shots);
}

void CheckLayout(HWND form, int dpi) {
  const RECT client = ClientRect(form);
  Check(client.right == Scaled(596, dpi) && client.bottom == Scaled(282, dpi),
        "client area 596 x 282 at 96 dpi: " + Size(client.right, client.bottom));
  bool placed = true;
  bool texts = true;
  for (const kv::TMainControlInfo& info : kv::MainFormControls()) {
    const HWND control = Item(form, info.Id);
    const kv::ScreenRect wanted = kv::MainControlRect(info.Id, dpi, client.right);
    const kv::ScreenRect actual = control ? PlaceOf(form, control) : kv::ScreenRect{};
    if (!(actual == wanted)) {
      placed = false;
      std::printf("  control %d at %s, wanted %s\n", static_cast<int>(info.Id),
                  Describe(actual).c_str(), Describe(wanted).c_str());
    }
    const char* caption = kv::MainControlCaption(info.Id, kv::WindowTexts(kv::UiLanguage()));
    if (*caption && control && WindowText(control) != caption)
      texts = false;
  }
  Check(placed, "every control at its designed place");
  Check(texts, "captions of the labels, radio buttons and the store button");

  Check(
      ::SendMessageW(Item(form, TMainControl::rbKVURL), BM_GETCHECK, 0, 0) == BST_CHECKED &&
          ::SendMessageW(Item(form, TMainControl::rbKVConfig), BM_GETCHECK, 0, 0) == BST_UNCHECKED,
      "download choice selected at start");
  Check(Enabled(form, TMainControl::edKVServerURL) &&
            !Enabled(form, TMainControl::edKVConfigFile) &&
            !Enabled(form, TMainControl::sbKVConfigFile),
        "URL box enabled, package file box and its browse button disabled");
}

// The controls Tab visits from the first edit box, until it comes round again.
std::vector<HWND> TabWalk(HWND form) {
  std::vector<HWND> walk;
  HWND control = Item(form, TMainControl::edOriginalSetupFile);
  for (int i = 0; i < 20 && control; ++i) {
    walk.push_back(control);
    control = ::GetNextDlgTabItem(form, control, FALSE);
    if (control == walk.front())
      break;
  }
  return walk;
}

void CheckTabOrder(HWND form, bool server_url) {
  std::vector<HWND> wanted;
  for (const TMainControl control : kv::MainFormTabStops(server_url))
    wanted.push_back(Item(form, control));
  Check(TabWalk(form) == wanted,
        std::string("tab order with the ") + (server_url ? "download" : "file") + " choice");
}

void CheckSizing(HWND form, int dpi) {
  RECT frame{};
  ::GetWindowRect(form, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  // Taller and shorter are refused; narrower stops at 600.
  ::SetWindowPos(form, nullptr, 0, 0, width, height + 120, SWP_NOMOVE | SWP_NOZORDER);
  Settle(form);
  Check(ClientRect(form).bottom == Scaled(282, dpi), "cannot be made taller");
  ::SetWindowPos(form, nullptr, 0, 0, width, height - 80, SWP_NOMOVE | SWP_NOZORDER);
  Settle(form);
  Check(ClientRect(form).bottom == Scaled(282, dpi), "cannot be made shorter");
  ::SetWindowPos(form, nullptr, 0, 0, 300, height, SWP_NOMOVE | SWP_NOZORDER);
  Settle(form);
  RECT narrow{};
  ::GetWindowRect(form, &narrow);
  Check(narrow.right - narrow.left == Scaled(600, dpi),
        "not narrower than 600: " + std::to_string(narrow.right - narrow.left));
  // Wider: the edit boxes widen, the browse and store buttons move with the right edge.
  ::SetWindowPos(form, nullptr, 0, 0, width + 150, height, SWP_NOMOVE | SWP_NOZORDER);
  Settle(form);
  const int client_width = ClientRect(form).right;
  bool anchored = client_width == Scaled(596, dpi) + 150;
  for (const kv::TMainControlInfo& info : kv::MainFormControls()) {
    if (!(PlaceOf(form, Item(form, info.Id)) == kv::MainControlRect(info.Id, dpi, client_width)))
      anchored = false;
  }
  Check(anchored, "widened by 150: edit boxes wider, buttons moved");
  ::ShowWindow(form, SW_MAXIMIZE);
  Settle(form);
  Check(ClientRect(form).bottom == Scaled(282, dpi),
        "maximised, the client height stays: " + std::to_string(ClientRect(form).bottom));
  ::ShowWindow(form, SW_RESTORE);
  ::SetWindowPos(form, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
  Settle(form);
}

// Keys typed into the foreground window, each pressed and released with the modifier held.
void Type(HWND window, std::initializer_list<WORD> keys, WORD modifier = 0) {
  std::vector<INPUT> inputs;
  const auto add = [&inputs](WORD key, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(input);
  };
  if (modifier)
    add(modifier, false);
  for (const WORD key : keys) {
    add(key, false);
    add(key, true);
  }
  if (modifier)
    add(modifier, true);
  ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  Settle(window);
}

// The file dialog the keys opened: its title, then the name in its name box and Enter.
void AnswerByKeys(HWND form, DWORD process_id, const std::string& how, const std::string& title,
                  const std::wstring& file) {
  const HWND dialog = WaitForDialog(process_id, L"#32770", 30000);
  Check(dialog && WindowText(dialog) == title, how + " opens \"" + title + "\"");
  if (!dialog)
    return;
  HWND name = ::GetDlgItem(dialog, 0x47C);
  if (!name)
    name = ::GetDlgItem(dialog, 0x480);
  ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(file.c_str()));
  ::SetForegroundWindow(dialog);
  Type(dialog, {VK_RETURN});
  for (int i = 0; i < 100 && ::IsWindow(dialog); ++i)
    ::Sleep(50);
  // The keys go on to the main window once it is active again.
  ::SetForegroundWindow(form);
  Settle(form);
}

// The package file run by keyboard alone: the mnemonics, F4 and Alt+Down open the browse dialogs,
// Tab and the arrow keys choose the package file, Enter stores, Tab and Space answer "&Ignore",
// Escape closes the result. The question about the wrong signature, the save dialog and the
// warning with the output's name.
void StoreFromFile(HWND form, DWORD process_id, const StoreRun& run, const std::wstring& shots) {
  ::SetForegroundWindow(form);
  Settle(form);
  Type(form, {'O'}, VK_MENU);
  Check(FocusOf(form) == Item(form, TMainControl::edOriginalSetupFile), "Alt+O: the source box");
  Type(form, {VK_F4});
  AnswerByKeys(form, process_id, "F4", "Choose original SETUP file", run.source);
  // The file choice is selected from before: Tab reaches the group there, Up selects the
  // download choice, Down the file choice again.
  Type(form, {VK_TAB});
  Check(FocusOf(form) == Item(form, TMainControl::rbKVConfig),
        "Tab reaches the radio group at the selected button (focus on \"" +
            WindowText(FocusOf(form)) + "\")");
  for (const WORD key : {VK_UP, VK_DOWN}) {
    Type(form, {key});
    const TMainControl radio = key == VK_UP ? TMainControl::rbKVURL : TMainControl::rbKVConfig;
    const TMainControl edit =
        key == VK_UP ? TMainControl::edKVServerURL : TMainControl::edKVConfigFile;
    Check(FocusOf(form) == Item(form, radio) &&
              ::SendMessageW(Item(form, radio), BM_GETCHECK, 0, 0) == BST_CHECKED &&
              Enabled(form, edit),
          std::string(key == VK_UP ? "Up" : "Down") + " selects the other choice");
  }
  Type(form, {VK_TAB});
  Type(form, {VK_DOWN}, VK_MENU);
  AnswerByKeys(form, process_id, "Alt+Down", "Choose K-VConfig.bin", run.package);
  Type(form, {'A'}, VK_MENU);
  Type(form, {VK_F4});
  AnswerByKeys(form, process_id, "Alt+A, F4", "Choose AutoInstall.srg", run.answer);
  Check(WindowText(Item(form, TMainControl::edOriginalSetupFile)) == kv::WideToUtf8(run.source) &&
            WindowText(Item(form, TMainControl::edKVConfigFile)) == kv::WideToUtf8(run.package) &&
            WindowText(Item(form, TMainControl::edAutoinstallSRG)) == kv::WideToUtf8(run.answer),
        "the dialogs filled the three boxes");
  Type(form, {VK_RETURN});
  const HWND question = WaitForDialog(process_id, L"TKVMessageDialog", 30000);
  Check(question != nullptr, "Enter in the answer-file box stores: the signature question appears");
  if (!question)
    return;
  const Box box = ReadBox(question);
  Check(box.title == "Warning" && box.text == "K-VConfig.bin signature is INVALID.",
        "question: " + box.title + ": " + box.text);
  Check(!::IsWindowEnabled(form) && !Enabled(form, TMainControl::btStoreToSetup),
        "the main window and its store button are disabled meanwhile");
  Check(WindowText(FocusOf(question)) == "Cancel", "\"Cancel\" has the focus");
  if (!shots.empty())
    SaveScreenshot(question, shots + L"\\message-box.bmp");
  Type(question, {VK_TAB});
  Check(WindowText(FocusOf(question)) == "&Ignore", "Tab moves to \"&Ignore\"");
  Type(question, {VK_SPACE});
  const HWND save = WaitForDialog(process_id, L"#32770", 30000);
  Check(save != nullptr && WindowText(save) == "Choose new SETUP file", "the save dialog appears");
  if (!save)
    return;
  AnswerSaveDialog(save, run.output);
  const HWND result = WaitForDialog(process_id, L"TKVMessageDialog", 60000);
  Check(result != nullptr, "the result appears");
  if (!result)
    return;
  const Box done = ReadBox(result);
  Check(done.title == "Warning" &&
            done.text ==
                "UNSIGNED K-VConfig.bin and AutoInstall.srg was saved to new setup file\r\n" +
                    Quoted(run.output),
        "result: " + done.title + ": " + done.text);
  Type(result, {VK_ESCAPE});
  Settle(form);
  Check(!::IsWindow(result) && Enabled(form, TMainControl::btStoreToSetup),
        "Escape closes the result; the store button is enabled again");
}

// The download run: the server answers slowly; the window keeps answering and the answer-file
// box, changed during the download, is read afterwards.
void StoreFromServer(HWND form, DWORD process_id, const StoreRun& run) {
  ::SendMessageW(Item(form, TMainControl::rbKVURL), BM_CLICK, 0, 0);
  SetText(form, TMainControl::edKVServerURL, run.url);
  SetText(form, TMainControl::edAutoinstallSRG, L"");
  ::PostMessageW(Item(form, TMainControl::btStoreToSetup), BM_CLICK, 0, 0);
  ::Sleep(300);
  DWORD slowest = 0;
  bool answered = true;
  for (int i = 0; i < 10; ++i) {
    const DWORD start = ::GetTickCount();
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(form, WM_NULL, 0, 0, SMTO_NORMAL, 500, &result))
      answered = false;
    slowest = std::max(slowest, ::GetTickCount() - start);
    ::Sleep(100);
  }
  Check(answered && slowest < 500,
        "during the download the window answers within 0.5 s: " + std::to_string(slowest) + " ms");
  Check(!Enabled(form, TMainControl::btStoreToSetup), "store button disabled during the download");
  SetText(form, TMainControl::edAutoinstallSRG, run.answer);

  // A package signed with the built-in key needs no question; another one is asked about.
  HWND next = WaitForDialog(process_id, L"TKVMessageDialog", 60000);
  HWND save = nullptr;
  bool is_signed = true;
  if (!next) {
    save = WaitForDialog(process_id, L"#32770", 1000);
  } else {
    is_signed = false;
    Press(next, "&Ignore");
    save = WaitForDialog(process_id, L"#32770", 30000);
  }
  Check(save != nullptr, "the save dialog appears after the download");
  if (!save)
    return;
  AnswerSaveDialog(save, run.second_output);
  const HWND result = WaitForDialog(process_id, L"TKVMessageDialog", 60000);
  if (!result) {
    Check(false, "the result appears");
    return;
  }
  const Box done = ReadBox(result);
  const std::string expected =
      std::string(is_signed ? "SIGNED" : "UNSIGNED") +
      " K-VConfig.bin and AutoInstall.srg was saved to new setup file\r\n" +
      Quoted(run.second_output);
  Check(done.title == (is_signed ? "Information" : "Warning") && done.text == expected,
        "result: " + done.title + ": " + done.text);
  Press(result, "OK");
  Settle(form);
}

// Tab reaches the store button; Enter and Space on it press it. With an empty source field each
// press shows one error box, and the focus is back on the button afterwards.
void CheckKeyboardStore(HWND form, DWORD process_id) {
  ::SetForegroundWindow(form);
  Settle(form);
  const HWND store = Item(form, TMainControl::btStoreToSetup);
  for (int i = 0; i < 8 && FocusOf(form) != store; ++i) {
    PostKey(FocusOf(form) ? FocusOf(form) : form, VK_TAB);
    Settle(form);
  }
  Check(FocusOf(form) == store, "Tab reaches the store button");
  for (const WPARAM key : {VK_RETURN, VK_SPACE}) {
    const std::string name = key == VK_RETURN ? "Enter" : "Space";
    PostKey(store, key);
    const HWND box = WaitForDialog(process_id, L"TKVMessageDialog", 10000);
    const Box shown = box ? ReadBox(box) : Box{};
    Check(shown.title == "Error" && shown.text == "Original SETUP file name is not specified",
          name + " on the store button with an empty source: " + shown.text);
    if (!box)
      return;
    Check(WindowText(FocusOf(box)) == "OK", "the error box's OK has the focus");
    Press(box, "OK");
    Settle(form);
    Check(FocusOf(form) == store && Enabled(form, TMainControl::btStoreToSetup),
          "the store button is enabled and focused again after " + name);
  }
}

// Closing the window during a download hides it at once; the action ends without any further
// dialog or write, and the program ends with exit code 0.
void CloseDuringDownload(HWND form, const PROCESS_INFORMATION& process) {
  ::PostMessageW(Item(form, TMainControl::btStoreToSetup), BM_CLICK, 0, 0);
  ::Sleep(500);
  Check(!Enabled(form, TMainControl::btStoreToSetup), "a third store is downloading");
  ::PostMessageW(form, WM_CLOSE, 0, 0);
  ::Sleep(500);
  Check(!::IsWindowVisible(form), "closed during the download, the window is hidden at once");
  bool dialog = false;
  DWORD exit_code = STILL_ACTIVE;
  for (int waited = 0; waited < 60000; waited += 100) {
    if (WaitForDialog(process.dwProcessId, L"TKVMessageDialog", 0) ||
        WaitForDialog(process.dwProcessId, L"#32770", 0)) {
      dialog = true;
    }
    if (::WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) {
      ::GetExitCodeProcess(process.hProcess, &exit_code);
      break;
    }
  }
  if (exit_code == STILL_ACTIVE)
    ::TerminateProcess(process.hProcess, 99);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  Check(!dialog, "no dialog after the close");
  Check(exit_code == 0, "the program ends after the download with exit code 0");
}

void CheckMainWindow(const std::wstring& program, const std::wstring& shots, const StoreRun* run) {
  PROCESS_INFORMATION process{};
  Check(Start(program, L"", process), "start without arguments");
  const HWND form = WaitForWindow(process.dwProcessId, L"TKVSetupConfiguratorMainForm");
  Check(form != nullptr, "the main window appears");
  if (!form) {
    ::TerminateProcess(process.hProcess, 99);
    return;
  }
  Settle(form);
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  Check(WindowText(form) == "KV Setup configurator", "caption \"KV Setup configurator\"");
  CheckLayout(form, dpi);
  CheckTabOrder(form, true);
  if (!shots.empty())
    SaveScreenshot(form, shots + L"\\main-window.bmp");
  ::SendMessageW(Item(form, TMainControl::rbKVConfig), BM_CLICK, 0, 0);
  Settle(form);
  Check(!Enabled(form, TMainControl::edKVServerURL) &&
            Enabled(form, TMainControl::edKVConfigFile) &&
            Enabled(form, TMainControl::sbKVConfigFile),
        "the file choice swaps the enabled states");
  CheckTabOrder(form, false);
  if (!shots.empty())
    SaveScreenshot(form, shots + L"\\main-window-file-choice.bmp");
  CheckSizing(form, dpi);
  // Escape in an edit box does nothing; Enter stores (and the empty source is reported).
  ::SetForegroundWindow(form);
  PostKey(Item(form, TMainControl::edOriginalSetupFile), VK_ESCAPE);
  Settle(form);
  Check(::IsWindow(form) && ::IsWindowVisible(form) &&
            !WaitForDialog(process.dwProcessId, L"TKVMessageDialog", 300),
        "Escape in an edit box does nothing");
  PostKey(Item(form, TMainControl::edOriginalSetupFile), VK_RETURN);
  Check(AnswerBox(process.dwProcessId) == "Original SETUP file name is not specified",
        "Enter in an edit box stores");
  if (!run) {
    Check(CloseAndWait(form, process) == 0, "closing the main window ends with exit code 0");
    return;
  }
  CheckKeyboardStore(form, process.dwProcessId);
  StoreFromFile(form, process.dwProcessId, *run, shots);
  CheckSetupViewsFromMenu(form, process.dwProcessId, *run, shots);
  StoreFromServer(form, process.dwProcessId, *run);
  CloseDuringDownload(form, process);
}

}  // namespace

// --- the windows in this process

constexpr UINT kFaultMessage = WM_APP + 0x77;  // makes the next handler fail
constexpr char kFaultText[] = "injected fault";

std::string Place(const RECT& r) {
  return std::to_string(r.left) + ", " + std::to_string(r.top) + " " +
         Size(r.right - r.left, r.bottom - r.top);
}

// The window's rectangle lies inside the work area of its monitor.
bool InsideWorkArea(HWND window, RECT& rect) {
  const RECT work = kv::WorkAreaOf(window);
  ::GetWindowRect(window, &rect);
  return rect.left >= work.left && rect.top >= work.top && rect.right <= work.right &&
         rect.bottom <= work.bottom;
}

void CheckResolutionChanges(HWND form, const std::wstring& shots) {
  RECT start{};
  ::GetWindowRect(form, &start);
  for (const int dpi : {144, 192, 96}) {
    // The size the system suggests is left to the window; the place is taken (near the corner,
    // so that the largest window is on the screen for its screenshot).
    RECT suggested{10 + dpi / 48, 10, 10 + dpi / 48 + Scaled(700, dpi), 10 + Scaled(400, dpi)};
    ::SendMessageW(form, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    Settle(form);
    const RECT client = ClientRect(form);
    RECT frame{};
    ::GetWindowRect(form, &frame);
    const HWND store = Item(form, TMainControl::btStoreToSetup);
    Check(client.right == Scaled(596, dpi) && client.bottom == Scaled(282, dpi) &&
              frame.left == suggested.left && frame.top == suggested.top &&
              PlaceOf(form, store) ==
                  kv::MainControlRect(TMainControl::btStoreToSetup, dpi, client.right),
          "at " + std::to_string(dpi) + " dpi the client area is 596 x 282 scaled: " +
              Size(client.right, client.bottom) + ", the store button at its place");
    if (!shots.empty() && dpi != 96)
      SaveScreenshot(form, shots + L"\\main-window-" + std::to_wstring(dpi) + L"dpi.bmp");
  }
  ::SetWindowPos(form, nullptr, start.left, start.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void CheckBoxPlaces(HWND form, DWORD process_id) {
  struct Row {
    const char* what;
    bool minimised;
    std::wstring source;
  };
  const Row rows[] = {
      {"a box of a minimised owner", true, L""},
      {"a box naming a file of 600 characters", false, L"C:\\" + std::wstring(600, L'x')},
  };
  for (const Row& row : rows) {
    SetText(form, TMainControl::edOriginalSetupFile, row.source);
    if (row.minimised)
      ::ShowWindow(form, SW_MINIMIZE);
    ::PostMessageW(Item(form, TMainControl::btStoreToSetup), BM_CLICK, 0, 0);
    const HWND box = WaitForDialog(process_id, L"TKVMessageDialog", 10000);
    RECT place{};
    const bool inside = box && InsideWorkArea(box, place);
    Check(inside, std::string(row.what) + " lies inside the work area: " + Place(place));
    AnswerBox(process_id);
    ::ShowWindow(form, SW_RESTORE);
    Settle(form);
  }
  SetText(form, TMainControl::edOriginalSetupFile, L"");
}

// A failure in a handler of each window class is reported in a box; the program goes on, and
// an action it happened in ends as usual with the store button back.
void CheckFailingHandlers(HWND form, DWORD process_id) {
  const HWND store = Item(form, TMainControl::btStoreToSetup);
  struct Row {
    const char* window;
    HWND target;  // none: the box of a running store action
  };
  const Row rows[] = {
      {"main form", form},         {"speed button", Item(form, TMainControl::sbOriginalSetupFile)},
      {"push button", store},      {"edit box", Item(form, TMainControl::edKVServerURL)},
      {"message dialog", nullptr},
  };
  for (const Row& row : rows) {
    HWND action_box = nullptr;
    if (!row.target) {
      ::PostMessageW(store, BM_CLICK, 0, 0);  // the empty source is reported
      action_box = WaitForDialog(process_id, L"TKVMessageDialog", 10000);
    }
    ::PostMessageW(row.target ? row.target : action_box, kFaultMessage, 0, 0);
    const std::string reported = AnswerBox(process_id, action_box);
    if (action_box)
      AnswerBox(process_id);
    Settle(form);
    Check(reported == kFaultText && ::IsWindowEnabled(store) && ::IsWindowEnabled(form),
          std::string("a failing handler of the ") + row.window + " is reported (" + reported +
              ") and the store button is back");
  }
}

// A press whose capture is taken away ends without a click (no open dialog).
void CheckLostCapture(HWND form, DWORD process_id) {
  const HWND button = Item(form, TMainControl::sbOriginalSetupFile);
  struct Row {
    const char* what;
    UINT cancel;  // 0: none
    bool clicks;
  };
  const Row rows[] = {{"a whole press", 0, true},
                      {"a press cancelled by the system", WM_CANCELMODE, false},
                      {"a press whose capture went elsewhere", WM_CAPTURECHANGED, false}};
  for (const Row& row : rows) {
    ::SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    if (row.cancel)
      ::SendMessageW(button, row.cancel, 0, 0);
    ::PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    const HWND dialog = WaitForDialog(process_id, L"#32770", row.clicks ? 10000 : 1500);
    Check((dialog != nullptr) == row.clicks,
          std::string(row.what) + (row.clicks ? " opens" : " does not open") + " the dialog");
    if (dialog)
      ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    Settle(form);
  }
}

void CheckObjectCounts(HWND form, DWORD process_id) {
  const auto counts = [] {
    return std::to_string(kv::GdiObjectCount()) + " GDI, " + std::to_string(kv::UserObjectCount()) +
           " USER";
  };
  const std::string before = counts();
  int answered = 0;
  for (int i = 0; i < 100; ++i) {
    ::PostMessageW(Item(form, TMainControl::btStoreToSetup), BM_CLICK, 0, 0);
    answered += AnswerBox(process_id) == "Original SETUP file name is not specified";
    Settle(form);
  }
  for (int i = 0; i < 20; ++i) {
    RECT frame{};
    ::GetWindowRect(form, &frame);
    const int dpi = i % 2 == 0 ? 144 : 96;
    ::SendMessageW(form, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&frame));
  }
  Settle(form);
  const std::string after = counts();
  Check(answered == 100 && before == after && after.find("0 GDI") != 0,
        "GDI and USER objects after 100 stores and 20 resolution changes: " + before + " -> " +
            after);
}

// A handler that fails while the download's pump dispatches it is reported inside the pump; the
// download goes on, and a close then ends it as usual.
void FailDuringDownload(HWND form, DWORD process_id, const StoreRun& run) {
  SetText(form, TMainControl::edOriginalSetupFile, run.source);
  SetText(form, TMainControl::edKVServerURL, run.url);
  ::PostMessageW(Item(form, TMainControl::btStoreToSetup), BM_CLICK, 0, 0);
  ::Sleep(500);
  ::PostMessageW(form, kFaultMessage, 0, 0);
  const std::string reported = AnswerBox(process_id);
  Check(reported == kFaultText && !Enabled(form, TMainControl::btStoreToSetup),
        "a failing handler during the download is reported (" + reported + "), the store goes on");
}

// A drop as the shell makes it: the names, each ended by a zero, and one more zero.
HDROP MakeDrop(const std::wstring& file) {
  const std::wstring names = file + L'\0' + L'\0';
  const HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT,
                                       sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
  auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  std::memcpy(drop + 1, names.data(), names.size() * sizeof(wchar_t));
  ::GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

// The control's font has a fixed pitch (the flag's name says the opposite of its meaning).
bool FixedPitch(HWND control) {
  const HDC dc = ::GetDC(control);
  const HGDIOBJ previous =
      ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0)));
  TEXTMETRICW metrics{};
  const bool measured = ::GetTextMetricsW(dc, &metrics) != 0;
  ::SelectObject(dc, previous);
  ::ReleaseDC(control, dc);
  return measured && (metrics.tmPitchAndFamily & TMPF_FIXED_PITCH) == 0;
}

// Files dropped on the window (on a label, outside the edit boxes) open their views: one per
// file, also for a file that cannot be read.
void CheckDroppedFiles(HWND form, DWORD process_id, const StoreRun& run) {
  const std::wstring missing = run.output + L".missing";
  const std::wstring rows[] = {run.source, run.source, missing, L""};
  std::wstring previous;
  for (const std::wstring& file : rows) {
    if (file != previous) {
      if (const HWND view = WaitForDialog(process_id, L"TKVSetupView", 0))
        ::SendMessageW(view, WM_CLOSE, 0, 0);
    }
    if (file.empty())
      break;
    ::PostMessageW(form, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(file)), 0);
    Settle(form);
    CheckSetupView(process_id, file, file == previous ? "a file dropped again" : "a dropped file");
    if (previous.empty()) {
      const HWND view = WaitForDialog(process_id, L"TKVSetupView", 0);
      Check(view && FixedPitch(FindChild(view, L"Edit")), "the view's text has a fixed pitch");
    }
    previous = file;
  }
}

// What a screen reader reads of a window: the name and role of its client object.
struct Heard {
  std::string name;
  long role = -1;
};

Heard HeardOf(HWND window) {
  Heard heard{"(no object)"};
  IAccessible* object = nullptr;
  if (FAILED(::AccessibleObjectFromWindow(window, OBJID_CLIENT, __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&object))) ||
      !object) {
    return heard;
  }
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  heard.name = SUCCEEDED(object->get_accName(self, &name)) && name ? kv::WideToUtf8(name) : "";
  ::SysFreeString(name);
  VARIANT role{};
  if (SUCCEEDED(object->get_accRole(self, &role)) && role.vt == VT_I4)
    heard.role = role.lVal;
  object->Release();
  return heard;
}

void CheckHeard(HWND window, const std::string& what, const std::string& name, long role) {
  const Heard heard = HeardOf(window);
  Check(heard.name == name && (role == 0 || heard.role == role),
        what + " is heard as \"" + heard.name + "\" (role " + std::to_string(heard.role) + ")");
}

// Every control of the main window, the message box and a view has a name: an edit box its
// label's, a browse button its "Browse for" text as a push button; the box is an alert.
void CheckNames(HWND form, DWORD process_id, const StoreRun* run) {
  const kv::TWindowTexts& texts = kv::WindowTexts(kv::UiLanguage());
  for (const kv::TMainControlInfo& info : kv::MainFormControls()) {
    const std::string caption = kv::MainControlCaption(info.Id, texts);
    const bool browse = info.Kind == kv::TControlKind::kSpeedButton;
    CheckHeard(Item(form, info.Id), "control " + std::to_string(static_cast<int>(info.Id)),
               caption.empty() ? kv::MainControlName(info.Id, texts) : kv::WithoutMnemonic(caption),
               browse ? ROLE_SYSTEM_PUSHBUTTON : 0);
  }
  ::PostMessageW(Item(form, TMainControl::btStoreToSetup), BM_CLICK, 0, 0);
  if (const HWND box = WaitForDialog(process_id, L"TKVMessageDialog", 10000)) {
    CheckHeard(box, "the message box", texts.ErrorTitle, ROLE_SYSTEM_ALERT);
    CheckHeard(FindChild(box, L"Static"), "its text", texts.OriginalSetupMissing, 0);
    CheckHeard(::GetDlgItem(box, kv::kFirstControlId), "its button", texts.OkButton, 0);
  }
  AnswerBox(process_id);
  if (!run)
    return;
  ::PostMessageW(form, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(run->source)), 0);
  if (const HWND view = WaitForDialog(process_id, L"TKVSetupView", 30000)) {
    CheckHeard(FindChild(view, L"Edit"), "the view's text", texts.ViewTextName, 0);
    CheckHeard(FindChild(view, L"Button"), "the view's button", texts.CopyButton, 0);
    // Tab goes round the text and Copy.
    ::SetForegroundWindow(view);
    Settle(view);
    Type(view, {VK_TAB});
    Check(FocusOf(view) == FindChild(view, L"Button"), "Tab in the view reaches Copy");
    Type(view, {VK_TAB});
    Check(FocusOf(view) == FindChild(view, L"Edit"), "and back to the text");
    // At another resolution the view takes its new size and font.
    RECT suggested{0, 0, 1200, 900};
    ::SendMessageW(view, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    RECT memo{};
    ::GetWindowRect(FindChild(view, L"Edit"), &memo);
    RECT placed{};
    const bool inside = InsideWorkArea(view, placed);
    Check(inside && memo.left - placed.left > Scaled(8, 144) &&
              ClientRect(view).right - (memo.right - memo.left) == Scaled(16, 144),
          "the view at 144 dpi lies inside the work area, its text scaled: " + Place(placed));
    ::SendMessageW(view, WM_CLOSE, 0, 0);
  }
}

// The system's text of an error in a language, without its line end and full stop; empty when
// the system has none in that language.
std::string SystemText(DWORD error, LANGID language) {
  wchar_t text[512] = {};
  const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, language, text, 512, nullptr);
  std::wstring trimmed(text, n);
  while (!trimmed.empty() && (trimmed.back() == L'\r' || trimmed.back() == L'\n' ||
                              trimmed.back() == L' ' || trimmed.back() == L'.')) {
    trimmed.pop_back();
  }
  return kv::WideToUtf8(trimmed);
}

// A package file that does not exist is reported in the user-interface language, the file name as
// it is, with the system's reason in the language where the system has the text in it, else in
// English; never as "System error N".
void CheckLoadFailureInLanguage(HWND form, DWORD process_id, kv::TUiLanguage language) {
  const LANGID id = language == kv::TUiLanguage::kSlovak ? MAKELANGID(LANG_SLOVAK, SUBLANG_DEFAULT)
                                                         : MAKELANGID(LANG_CZECH, SUBLANG_DEFAULT);
  const std::string english =
      SystemText(ERROR_FILE_NOT_FOUND, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  const std::string local = SystemText(ERROR_FILE_NOT_FOUND, id);
  Check(!english.empty() && local != english,
        "the system's text in the language: \"" + local + "\" (English \"" + english + "\")");
  const std::string reason = local.empty() ? english : local;
  ::PostMessageW(Item(form, TMainControl::rbKVConfig), BM_CLICK, 0, 0);
  Settle(form);
  const std::wstring missing = L"C:\\kv-missing.bin";
  SetText(form, TMainControl::edKVConfigFile, missing);
  ::PostMessageW(Item(form, TMainControl::btStoreToSetup), BM_CLICK, 0, 0);
  const HWND box = WaitForDialog(process_id, L"TKVMessageDialog", 30000);
  const Box shown = box ? ReadBox(box) : Box{};
  const char* cannot_open =
      language == kv::TUiLanguage::kSlovak ? "sa nedá otvoriť" : "nelze otevřít";
  Check(!reason.empty() && shown.text.find(reason) != std::string::npos &&
            shown.text.find(kv::QuotedFileName(kv::WideToUtf8(missing))) != std::string::npos &&
            shown.text.find(cannot_open) != std::string::npos &&
            shown.text.find("Cannot open") == std::string::npos &&
            shown.text.find("System error") == std::string::npos,
        "a missing package file: " + shown.title + ": " + shown.text);
  AnswerBox(process_id);
}

// Under a Slovak or Czech user-interface language: every caption in it, every caption fits its
// control as the font measures it, a failed download tells so in the language; a screenshot.
void CheckLanguage(const std::wstring& code, const std::wstring& shots, const std::wstring& url) {
  const kv::TUiLanguage wanted = code == L"sk" ? kv::TUiLanguage::kSlovak : kv::TUiLanguage::kCzech;
  Check(kv::UiLanguage() == wanted, "the user-interface language is " + kv::WideToUtf8(code));
  const kv::TWindowTexts& texts = kv::WindowTexts(wanted);
  const DWORD process_id = ::GetCurrentProcessId();
  std::thread program([] { kv::RunMainWindow(); });
  const HWND form = WaitForWindow(process_id, L"TKVSetupConfiguratorMainForm");
  if (form) {
    Settle(form);
    const int dpi = kv::WindowPixelsPerInch(form);
    bool captions = WindowText(form) == texts.MainCaption;
    for (const kv::TMainControlInfo& info : kv::MainFormControls()) {
      const HWND control = Item(form, info.Id);
      const std::string caption = kv::MainControlCaption(info.Id, texts);
      if (caption.empty())
        continue;
      captions = captions && WindowText(control) == caption;
      const std::wstring shown = kv::Utf8ToWide(kv::WithoutMnemonic(caption));
      // The glyph button draws in its parent's font.
      LRESULT font = ::SendMessageW(control, WM_GETFONT, 0, 0);
      if (!font)
        font = ::SendMessageW(form, WM_GETFONT, 0, 0);
      const HDC dc = ::GetDC(control);
      const HGDIOBJ previous = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(font));
      SIZE extent{};
      ::GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &extent);
      ::SelectObject(dc, previous);
      ::ReleaseDC(control, dc);
      const kv::ScreenRect place = PlaceOf(form, control);
      Check(place.Width() >= kv::NeededControlWidth(info.Kind, extent.cx, dpi) &&
                place.Right <= ClientRect(form).right,
            "\"" + caption + "\" (" + std::to_string(extent.cx) + " px) fits " + Describe(place));
    }
    Check(captions, "every caption in the language");
    if (!shots.empty())
      SaveScreenshot(form, shots + L"\\main-window-" + code + L".bmp");
    SetText(form, TMainControl::edOriginalSetupFile, L"C:\\setup.exe");
    SetText(form, TMainControl::edKVServerURL, url);
    ::PostMessageW(Item(form, TMainControl::btStoreToSetup), BM_CLICK, 0, 0);
    const HWND box = WaitForDialog(process_id, L"TKVMessageDialog", 60000);
    const Box shown = box ? ReadBox(box) : Box{};
    const char* wrong = wanted == kv::TUiLanguage::kSlovak ? "Chybná odpoveď zo servera"
                                                           : "Chybná odpověď ze servera";
    Check(shown.title == "Chyba" && shown.text == wrong,
          "a failed download: " + shown.title + ": " + shown.text);
    AnswerBox(process_id);
    CheckLoadFailureInLanguage(form, process_id, wanted);
    ::PostMessageW(form, WM_CLOSE, 0, 0);
  }
  Check(form != nullptr, "the main window appears");
  program.join();
}

// The control's pixels on the screen, row by row.
std::vector<COLORREF> Pixels(HWND control, int& width) {
  RECT rect{};
  ::GetWindowRect(control, &rect);
  width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  std::vector<COLORREF> pixels;
  const HDC screen = ::GetDC(nullptr);
  const HDC memory = ::CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  const HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ previous = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  ::GdiFlush();
  if (bits) {
    const auto* words = static_cast<const DWORD*>(bits);
    for (int i = 0; i < width * height; ++i)
      pixels.push_back(RGB((words[i] >> 16) & 0xFF, (words[i] >> 8) & 0xFF, words[i] & 0xFF));
  }
  ::SelectObject(memory, previous);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  return pixels;
}

// The width of the coloured part of a button (its glyph; face and frame are grey).
int GlyphWidth(HWND button) {
  int width = 0;
  const std::vector<COLORREF> pixels = Pixels(button, width);
  int left = width;
  int right = -1;
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const COLORREF c = pixels[i];
    const int x = static_cast<int>(i % static_cast<std::size_t>(width));
    if (GetRValue(c) != GetGValue(c) || GetGValue(c) != GetBValue(c)) {
      left = std::min(left, x);
      right = std::max(right, x);
    }
  }
  return right - left + 1;
}

// The browse buttons' glyphs come from the icon frame of the resolution: 32 x 32 at 192 dpi.
void CheckGlyphSizes(HWND form) {
  RECT start{};
  ::GetWindowRect(form, &start);
  for (const int dpi : {192, 96}) {
    // In the corner, so that the whole window is on the screen.
    RECT suggested{0, 0, Scaled(700, dpi), Scaled(400, dpi)};
    ::SendMessageW(form, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    Settle(form);
    const int width = GlyphWidth(Item(form, TMainControl::sbOriginalSetupFile));
    const int size = dpi == 192 ? 32 : 16;
    Check(width > size / 2 && width <= size, "the glyph at " + std::to_string(dpi) + " dpi is " +
                                                 std::to_string(width) + " pixels wide, of a " +
                                                 std::to_string(size) + " pixel frame");
  }
  ::SetWindowPos(form, nullptr, start.left, start.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

// On the background of the scheme, the control shows text in another colour.
void CheckReadable(HWND control, const std::string& what, COLORREF background) {
  int width = 0;
  const std::vector<COLORREF> pixels = Pixels(control, width);
  const auto text = std::count_if(pixels.begin(), pixels.end(),
                                  [background](COLORREF c) { return c != background; });
  const auto ground = std::count(pixels.begin(), pixels.end(), background);
  Check(text > 20 && ground > text, what + " in the contrast scheme: " + std::to_string(text) +
                                        " text pixels on " + std::to_string(ground) +
                                        " of the background");
}

// A black contrast scheme: every label, the message box's text and a view's text stay readable.
void CheckContrast(HWND form, DWORD process_id, const StoreRun* run) {
  const int elements[] = {COLOR_BTNFACE,    COLOR_BTNTEXT,  COLOR_WINDOW,
                          COLOR_WINDOWTEXT, COLOR_3DSHADOW, COLOR_3DHILIGHT};
  const COLORREF scheme[] = {RGB(0, 0, 0),       RGB(255, 255, 255), RGB(0, 0, 0),
                             RGB(255, 255, 255), RGB(128, 128, 128), RGB(255, 255, 255)};
  COLORREF saved[std::size(elements)];
  for (std::size_t i = 0; i < std::size(elements); ++i)
    saved[i] = ::GetSysColor(elements[i]);
  ::SetSysColors(static_cast<int>(std::size(elements)), elements, scheme);
  ::SendMessageW(form, WM_SYSCOLORCHANGE, 0, 0);
  ::RedrawWindow(form, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  Settle(form);
  for (const TMainControl label :
       {TMainControl::Label8, TMainControl::rbKVURL, TMainControl::rbKVConfig, TMainControl::Label3,
        TMainControl::Label1}) {
    CheckReadable(Item(form, label), "control " + std::to_string(static_cast<int>(label)),
                  RGB(0, 0, 0));
  }
  ::PostMessageW(Item(form, TMainControl::btStoreToSetup), BM_CLICK, 0, 0);
  if (const HWND box = WaitForDialog(process_id, L"TKVMessageDialog", 10000)) {
    Settle(box);
    CheckReadable(FindChild(box, L"Static"), "the message box's text", RGB(0, 0, 0));
  }
  AnswerBox(process_id);
  if (run) {
    ::PostMessageW(form, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(run->source)), 0);
    if (const HWND view = WaitForDialog(process_id, L"TKVSetupView", 30000)) {
      Settle(view);
      CheckReadable(FindChild(view, L"Edit"), "the view's text", RGB(0, 0, 0));
      ::SendMessageW(view, WM_CLOSE, 0, 0);
    }
  }
  ::SetSysColors(static_cast<int>(std::size(elements)), elements, saved);
  ::SendMessageW(form, WM_SYSCOLORCHANGE, 0, 0);
  Settle(form);
}

// The face of the font a control draws with (its own, else its window's).
std::string FontFace(HWND control) {
  LRESULT font = ::SendMessageW(control, WM_GETFONT, 0, 0);
  if (!font)
    font = ::SendMessageW(::GetAncestor(control, GA_ROOT), WM_GETFONT, 0, 0);
  LOGFONTW logical{};
  if (!font || !::GetObjectW(reinterpret_cast<HGDIOBJ>(font), sizeof(logical), &logical))
    return "(no font)";
  return kv::WideToUtf8(logical.lfFaceName);
}

// At 96 dpi the windows draw in the bitmap font, at any other resolution in the TrueType one.
void CheckFontFace(HWND control, const std::string& what, int dpi) {
  const std::string face = FontFace(control);
  Check(face == (dpi == 96 ? "MS Sans Serif" : "Microsoft Sans Serif"),
        what + " at " + std::to_string(dpi) + " dpi is in \"" + face + "\"");
}

// A text window of the 144-dpi session: inside its monitor's work area, its client area the
// designed width x height scaled by 1.5 (only as high as the work area allows), its Copy button
// (when it has one) in the TrueType font. On WM_DPICHANGED to 96 dpi it takes the suggested
// rectangle and its designed margins, and the button its designed size and the bitmap font.
void CheckTextWindowAt144(HWND window, const std::string& what, int width, int height,
                          const std::wstring& shot) {
  Settle(window);
  RECT place{};
  const bool inside = InsideWorkArea(window, place);
  const RECT client = ClientRect(window);
  const RECT work = kv::WorkAreaOf(window);
  const int frame_height = (place.bottom - place.top) - client.bottom;
  const bool fits = Scaled(height, 144) + frame_height <= work.bottom - work.top;
  Check(inside && client.right == Scaled(width, 144) &&
            (fits ? client.bottom == Scaled(height, 144)
                  : place.bottom - place.top == work.bottom - work.top),
        what + " at 144 dpi lies inside the work area " + Place(work) + ": " + Place(place) +
            ", client " + Size(client.right, client.bottom));
  const HWND memo = FindChild(window, L"Edit");
  const HWND copy = FindChild(window, L"Button");
  if (copy) {
    CheckFontFace(copy, what, 144);
    const kv::ScreenRect button = PlaceOf(window, copy);
    Check(button.Width() == Scaled(75, 144) && button.Height() == Scaled(25, 144) &&
              std::abs(client.right - button.Right - Scaled(8, 144)) <= 1,  // edges round apart
          what + "'s Copy button at 144 dpi: " + Describe(button));
  }
  if (!shot.empty())
    SaveScreenshot(window, shot);
  RECT suggested{work.left, work.top, work.left + 800, work.top + 650};
  ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&suggested));
  Settle(window);
  RECT moved{};
  ::GetWindowRect(window, &moved);
  const RECT at96 = ClientRect(window);
  const kv::ScreenRect text = PlaceOf(window, memo);
  bool designed = ::EqualRect(&moved, &suggested) && text.Left == 8 && text.Top == 8 &&
                  at96.right - text.Right == 8;
  if (copy) {
    const kv::ScreenRect button = PlaceOf(window, copy);
    designed = designed && button.Width() == 75 && button.Height() == 25 &&
               at96.right - button.Right == 8 && at96.bottom - button.Bottom == 8;
  }
  Check(designed, what + " at 96 dpi takes the suggested " + Place(suggested) + ": " +
                      Place(moved) + ", its text at " + Describe(text));
  if (copy)
    CheckFontFace(copy, what, 96);
}

// The note window, then the main window, each shown by the program's own entry on a thread of
// its own, handed to a check and closed after it. The main window's label is first checked to be
// drawn in the form font of the session's dpi.
void WithProgramWindows(int dpi, const std::function<void(DWORD, HWND)>& check_note,
                        const std::function<void(DWORD, HWND)>& check_main) {
  const DWORD process_id = ::GetCurrentProcessId();
  std::thread note([] { kv::ShowNoteForm("note"); });
  const HWND note_form = WaitForWindow(process_id, L"TNoteForm");
  Check(note_form != nullptr, "the note window appears");
  if (note_form) {
    check_note(process_id, note_form);
    ::PostMessageW(note_form, WM_CLOSE, 0, 0);
  }
  note.join();

  std::thread program([] { kv::RunMainWindow(); });
  const HWND form = WaitForWindow(process_id, L"TKVSetupConfiguratorMainForm");
  Check(form != nullptr, "the main window appears");
  if (form) {
    Settle(form);
    CheckFontFace(Item(form, TMainControl::Label8), "the main window's label", dpi);
    check_main(process_id, form);
    ::PostMessageW(form, WM_CLOSE, 0, 0);
  }
  program.join();
}

// A whole session at 144 dpi (its own Wine prefix): the note window, and the view of a setup
// file opened over the main window near the bottom-right corner of the work area, scale and stay
// inside the work area; the main window draws in the TrueType font.
void CheckSessionAt144(const std::wstring& shots, const std::wstring& file) {
  const int dpi = kv::WindowPixelsPerInch(nullptr);
  Check(dpi == 144, "the session runs at " + std::to_string(dpi) + " dpi");
  WithProgramWindows(
      144,
      [](DWORD, HWND note_form) {
        CheckTextWindowAt144(note_form, "the note window", 762, 606, L"");
      },
      [&](DWORD process_id, HWND form) {
        const RECT work = kv::WorkAreaOf(form);
        RECT frame{};
        ::GetWindowRect(form, &frame);
        ::SetWindowPos(form, nullptr, work.right - (frame.right - frame.left) - 8,
                       work.bottom - (frame.bottom - frame.top) - 8, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER);
        Settle(form);
        ::PostMessageW(form, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(file)), 0);
        if (const HWND view = WaitForDialog(process_id, L"TKVSetupView", 30000)) {
          CheckTextWindowAt144(view, "the view", 762, 606,
                               shots.empty() ? L"" : shots + L"\\setup-view-144dpi.bmp");
          ::SendMessageW(view, WM_CLOSE, 0, 0);
        } else {
          Check(false, "the view opens");
        }
      });
}

// The platform's screen, except that it reports 16 bits per pixel: the image lists then give
// their disabled glyphs the embossed look in the system's button colours.
class LowColourScreen final : public kv::TScreenProbe {
 public:
  int DeviceBitsPerPixel() override { return 16; }
  bool CommonControlsHaveAlpha() override { return platform_->CommonControlsHaveAlpha(); }
  void* UserLibraryModule() override { return platform_->UserLibraryModule(); }

 private:
  std::unique_ptr<kv::TScreenProbe> platform_ = kv::PlatformScreenProbe();
};

// How many pixels of the button's glyph (the 16 x 16 square at (4, 3) and the emboss offset
// below and right of it) lie within 8 per channel of the colour.
int GlyphPixelsNear(HWND button, COLORREF colour) {
  int width = 0;
  const std::vector<COLORREF> pixels = Pixels(button, width);
  int count = 0;
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const int x = static_cast<int>(i % static_cast<std::size_t>(width));
    const int y = static_cast<int>(i / static_cast<std::size_t>(width));
    const COLORREF c = pixels[i];
    if (x >= 4 && x <= 20 && y >= 3 && y <= 19 && std::abs(GetRValue(c) - GetRValue(colour)) <= 8 &&
        std::abs(GetGValue(c) - GetGValue(colour)) <= 8 &&
        std::abs(GetBValue(c) - GetBValue(colour)) <= 8) {
      ++count;
    }
  }
  return count;
}

// On a screen of 16 bits the disabled browse button's glyph is embossed in the button shadow and
// highlight colours; after SetSysColors and WM_SYSCOLORCHANGE it shows the new ones, not the old.
void CheckLowColourGlyphs() {
  std::unique_ptr<kv::TScreenProbe> platform =
      kv::ReplaceScreenProbe(std::make_unique<LowColourScreen>());
  const DWORD process_id = ::GetCurrentProcessId();
  std::thread program([] { kv::RunMainWindow(); });
  const HWND form = WaitForWindow(process_id, L"TKVSetupConfiguratorMainForm");
  Check(form != nullptr, "the main window appears on a screen of 16 bits");
  if (form) {
    Settle(form);
    const HWND button = Item(form, TMainControl::sbKVConfigFile);
    const COLORREF old_shadow = ::GetSysColor(COLOR_BTNSHADOW);
    const int before = GlyphPixelsNear(button, old_shadow);
    const int elements[] = {COLOR_BTNFACE, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT};
    const COLORREF scheme[] = {RGB(0, 0, 0), RGB(0, 0, 255), RGB(255, 255, 0)};
    COLORREF saved[std::size(elements)];
    for (std::size_t i = 0; i < std::size(elements); ++i)
      saved[i] = ::GetSysColor(elements[i]);
    ::SetSysColors(static_cast<int>(std::size(elements)), elements, scheme);
    ::SendMessageW(form, WM_SYSCOLORCHANGE, 0, 0);
    ::RedrawWindow(form, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    Settle(form);
    const int shadow = GlyphPixelsNear(button, scheme[1]);
    const int light = GlyphPixelsNear(button, scheme[2]);
    // (The old highlight, white, is also the face of a themed button.)
    const int stale = GlyphPixelsNear(button, old_shadow);
    Check(!::IsWindowEnabled(button) && before > 10 && shadow > 10 && light > 10 && stale == 0,
          "the disabled glyph on 16 bits: " + std::to_string(before) +
              " pixels of the old shadow; after the change " + std::to_string(shadow) +
              " of the new shadow, " + std::to_string(light) + " of the new highlight, " +
              std::to_string(stale) + " of the old shadow");
    ::SetSysColors(static_cast<int>(std::size(elements)), elements, saved);
    ::SendMessageW(form, WM_SYSCOLORCHANGE, 0, 0);
    Settle(form);
    ::PostMessageW(form, WM_CLOSE, 0, 0);
  }
  program.join();
  kv::ReplaceScreenProbe(std::move(platform));
}

void CheckWindowsInProcess(const std::wstring& shots, const StoreRun* run) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  kv::SetWindowFailureHook(&kv::ReportWindowFailure);
  kv::SetWindowTestSeam([](UINT message) {
    if (message == kFaultMessage)
      throw std::runtime_error(kFaultText);
  });
  WithProgramWindows(
      96,
      [](DWORD process_id, HWND note_form) {
        ::PostMessageW(note_form, kFaultMessage, 0, 0);
        Check(AnswerBox(process_id) == kFaultText,
              "a failing handler of the note window is reported");
      },
      [&](DWORD process_id, HWND form) {
        CheckNames(form, process_id, run);
        CheckContrast(form, process_id, run);
        CheckResolutionChanges(form, shots);
        CheckGlyphSizes(form);
        CheckBoxPlaces(form, process_id);
        CheckFailingHandlers(form, process_id);
        CheckLostCapture(form, process_id);
        CheckObjectCounts(form, process_id);
        if (run) {
          CheckDroppedFiles(form, process_id, *run);
          FailDuringDownload(form, process_id, *run);
        }
      });
  CheckLowColourGlyphs();
}

// How the window answered while it was asked, over and over, until stop was set: the longest
// wait for an answer, how often it was asked, and how often it gave no answer within 10 seconds.
struct Answers {
  std::atomic<bool> stop = false;
  std::chrono::steady_clock::time_point begun = std::chrono::steady_clock::now();
  double longest_ms = 0;
  double longest_at_ms = 0;  // when the longest wait began, counted from begun
  int asked = 0;
  int unanswered = 0;
};

void AskUntilStopped(HWND form, Answers& answers) {
  while (!answers.stop) {
    const auto start = std::chrono::steady_clock::now();
    DWORD_PTR result = 0;
    const bool answered =
        ::SendMessageTimeoutW(form, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &result) != 0;
    const std::chrono::duration<double, std::milli> waited =
        std::chrono::steady_clock::now() - start;
    if (waited.count() > answers.longest_ms) {
      answers.longest_ms = waited.count();
      answers.longest_at_ms =
          std::chrono::duration<double, std::milli>(start - answers.begun).count();
    }
    ++answers.asked;
    if (!answered)
      ++answers.unanswered;
    ::Sleep(5);
  }
}

// Whether an unfinished copy lies in the folder of output.
bool CopyUnderWay(const std::wstring& output) {
  const std::wstring pattern = output.substr(0, output.find_last_of(L'\\') + 1) + L"*.partial";
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return false;
  ::FindClose(search);
  return true;
}

void CheckAnswersDuringStore(const std::wstring& program, const std::wstring& source,
                             const std::wstring& package, const std::wstring& output) {
  PROCESS_INFORMATION process{};
  Check(Start(program, L"", process), "start without arguments");
  const DWORD process_id = process.dwProcessId;
  const HWND form = WaitForWindow(process_id, L"TKVSetupConfiguratorMainForm");
  Check(form != nullptr, "the main window appears");
  if (!form) {
    ::TerminateProcess(process.hProcess, 99);
    return;
  }
  Settle(form);
  ::SendMessageW(Item(form, TMainControl::rbKVConfig), BM_CLICK, 0, 0);
  SetText(form, TMainControl::edOriginalSetupFile, source);
  SetText(form, TMainControl::edKVConfigFile, package);
  Settle(form);
  // Asked from the click on, except while the system's save dialog opens (under Wine that takes
  // a quarter of a second, in which its owner answers nothing).
  Answers answers;
  std::thread asking([form, &answers] { AskUntilStopped(form, answers); });
  ::PostMessageW(Item(form, TMainControl::btStoreToSetup), BM_CLICK, 0, 0);
  const HWND question = WaitForDialog(process_id, L"TKVMessageDialog", 30000);
  answers.stop = true;
  asking.join();
  Check(question != nullptr, "the signature question appears");
  if (question)
    Press(question, "&Ignore");
  const HWND save = WaitForDialog(process_id, L"#32770", 30000);
  Check(save != nullptr, "the save dialog appears");
  answers.stop = false;
  asking = std::thread([form, &answers] { AskUntilStopped(form, answers); });
  if (save)
    AnswerSaveDialog(save, output);
  bool under_way = false;
  for (int i = 0; i < 600 && !under_way; ++i) {
    under_way = CopyUnderWay(output);
    ::Sleep(10);
  }
  const auto since_click = [&answers] {
    return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - answers.begun)
                              .count()) +
           " ms after the click";
  };
  Check(under_way, "the copy is under way, " + since_click());
  // As the shell does when it restarted: the taskbar button is new.
  ::Sleep(500);
  ::PostMessageW(form, ::RegisterWindowMessageW(L"TaskbarButtonCreated"), 0, 0);
  std::printf("the taskbar button made anew, %s\n", since_click().c_str());
  const HWND result = WaitForDialog(process_id, L"TKVMessageDialog", 120000);
  std::printf("the result, %s\n", since_click().c_str());
  answers.stop = true;
  asking.join();
  const Box done = result ? ReadBox(result) : Box{};
  Check(done.title == "Warning" && done.text.size() > output.size() &&
            done.text.ends_with(Quoted(output)),
        "result: " + done.title + ": " + done.text);
  if (result)
    AnswerBox(process_id);
  // The same asking of the idle window for 3 s: on a loaded machine the system itself can keep a
  // message waiting for a while, and a store must add less than 200 ms to the longest such wait.
  Answers idle;
  std::thread idle_asking([form, &idle] { AskUntilStopped(form, idle); });
  ::Sleep(3000);
  idle.stop = true;
  idle_asking.join();
  char figure[200];
  std::snprintf(figure, sizeof figure,
                "the window answered %d messages during the store, %d not, the longest after "
                "%.0f ms, %.0f ms after the click (idle: %.0f ms)",
                answers.asked, answers.unanswered, answers.longest_ms, answers.longest_at_ms,
                idle.longest_ms);
  Check(answers.asked > 20 && answers.unanswered == 0 && answers.longest_ms < 200 + idle.longest_ms,
        figure);
  Check(CloseAndWait(form, process) == 0, "closing the main window ends with exit code 0");
}

int wmain(int argc, wchar_t** argv) {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (argc == 5 && std::wstring(argv[1]) == L"--language") {
    CheckLanguage(argv[2], argv[3], argv[4]);
    std::printf("probe %s\n", failures == 0 ? "passed" : "failed");
    return failures == 0 ? 0 : 1;
  }
  if (argc == 4 && std::wstring(argv[1]) == L"--dpi") {
    CheckSessionAt144(argv[2], argv[3]);
    std::printf("probe %s\n", failures == 0 ? "passed" : "failed");
    return failures == 0 ? 0 : 1;
  }
  if (argc == 6 && std::wstring(argv[1]) == L"--busy") {
    ::FreeConsole();
    CheckAnswersDuringStore(argv[2], argv[3], argv[4], argv[5]);
    std::printf("probe %s\n", failures == 0 ? "passed" : "failed");
    return failures == 0 ? 0 : 1;
  }
  if (argc != 2 && argc != 3 && argc != 9) {
    std::printf(
        "usage: kv_window_probe PROGRAM.exe [SHOTS_DIR [SOURCE PACKAGE ANSWER OUTPUT URL "
        "OUTPUT2]]\n       kv_window_probe --language sk|cs SHOTS_DIR URL\n"
        "       kv_window_probe --dpi SHOTS_DIR SETUP_FILE\n"
        "       kv_window_probe --busy PROGRAM.exe SOURCE PACKAGE OUTPUT\n");
    return 2;
  }
  // Without a console of its own the probe leaves the program none to attach to.
  ::FreeConsole();
  const std::wstring shots = argc >= 3 ? argv[2] : L"";
  StoreRun run;
  if (argc == 9)
    run = {argv[3], argv[4], argv[5], argv[6], argv[7], argv[8]};
  CheckNoteWindow(argv[1]);
  CheckMainWindow(argv[1], shots, argc == 9 ? &run : nullptr);
  CheckWindowsInProcess(shots, argc == 9 ? &run : nullptr);
  std::printf("probe %s\n", failures == 0 ? "passed" : "failed");
  return failures == 0 ? 0 : 1;
}
