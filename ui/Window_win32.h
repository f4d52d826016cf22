// The base of the program's windows: one object per window, attached to it while the window
// exists, with one routing of messages that lets no exception out (a handler's failure goes to
// the reporting hook and the message counts as handled). TWindow creates windows of classes of
// its own; TSubclass takes over a control of a system class. Windows only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ui/ScreenRect.h"

namespace kv {

// The ids of the controls of the program's windows start here, clear of IDOK and IDCANCEL, which
// Enter and Escape send: the main window's are its layout table's index plus this, a message
// box's its buttons' index plus this.
inline constexpr int kFirstControlId = 100;

// Told about a handler's failure: the window it happened in and the failure's text. It runs
// inside the window procedure; its own failures are dropped.
using TWindowFailureHook = std::function<void(HWND window, const std::string& text)>;
void SetWindowFailureHook(TWindowFailureHook hook);
// Called before every handler with the message; none in the program. Tests make handlers fail
// through it.
void SetWindowTestSeam(std::function<void(UINT message)> seam);

class TWindowBase {
 public:
  TWindowBase() = default;
  virtual ~TWindowBase() = default;
  TWindowBase(const TWindowBase&) = delete;
  TWindowBase& operator=(const TWindowBase&) = delete;

  HWND Handle() const { return handle_; }

 protected:
  // The message's handling; the default handling for everything not handled.
  virtual LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    return DefaultProc(message, wparam, lparam);
  }
  virtual LRESULT DefaultProc(UINT message, WPARAM wparam, LPARAM lparam) = 0;
  // The window is going away; Handle() is still valid here and none afterwards.
  virtual void Detaching() noexcept {}
  // Destroys the window while the whole object still answers its messages: the destructor of
  // each class of window calls it first, as ATL requires of its windows.
  void DestroyHandle() noexcept {
    if (handle_)
      ::DestroyWindow(handle_);
  }
  LRESULT Route(UINT message, WPARAM wparam, LPARAM lparam);

  HWND handle_ = nullptr;
};

class TWindow : public TWindowBase {
 public:
  ~TWindow() override;  // a window still there by now is destroyed without its class's handling

  // The object of a window of a class of this base; none for other windows.
  static TWindow* FromHandle(HWND window);
  // A key press for this top-level window or one of its controls, offered by RunMessages before
  // the dialog keyboard handling sees it; true when the window took it (it posts what it does).
  virtual bool TakeKey(const MSG& /*message*/) noexcept { return false; }

 protected:
  // Registers the class on first use (arrow cursor, background brush background) and creates
  // the window; false when it was not created.
  bool CreateOfClass(const wchar_t* class_name, UINT class_style, HBRUSH background, DWORD ex_style,
                     DWORD style, const std::wstring& text, const RECT& bounds, HWND parent);
  LRESULT DefaultProc(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
};

class TSubclass : public TWindowBase {
 public:
  ~TSubclass() override;  // lets go of a control that is still there

  bool Attach(HWND control);
  // The object attached to a control; none for a control without one.
  static TSubclass* FromHandle(HWND control);

 protected:
  LRESULT DefaultProc(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                    UINT_PTR id, DWORD_PTR data);
};

// Dispatches the thread's messages, through the top-level window's TakeKey and the dialog keyboard
// handling of that window when it is one of the program's (else of dialog), until done
// (when given) is true; with wait false only the messages already waiting. A quit request ends it
// and is posted again for the loop outside.
void RunMessages(HWND dialog, const std::function<bool()>& done, bool wait);

// A visible child control with its font; none when it could not be created.
HWND CreateChildControl(HWND parent, const wchar_t* class_name, const std::wstring& text,
                        DWORD style, DWORD ex_style, int left, int top, int width, int height,
                        int id, HFONT font);

// The pixels per inch the window is shown at (its monitor's where the system tells, else the
// screen's); with no window, the screen's.
int WindowPixelsPerInch(HWND window);
// The size of a window whose client area is client_width x client_height, with the frame of
// style and ex_style as the window is drawn at pixels_per_inch.
SIZE WindowSizeForClient(int client_width, int client_height, DWORD style, DWORD ex_style,
                         int pixels_per_inch);
// A rectangle of the program and the system's RECT, converted at the Win32 call.
inline RECT ToRect(const ScreenRect& r) {
  return {r.Left, r.Top, r.Right, r.Bottom};
}
inline ScreenRect FromRect(const RECT& r) {
  return {static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right),
          static_cast<int>(r.bottom)};
}
// The work area of the monitor nearest to the window (the primary one without a window).
RECT WorkAreaOf(HWND window);

// The one answer to WM_CTLCOLORSTATIC of the program's windows (labels, radio buttons, the message
// box's text, disabled and read-only edit boxes), all on the colour of button faces: the text in
// the system's button text colour; a hint blue, or the hot-light colour in a contrast theme.
// Returns the background brush.
LRESULT StaticColours(HDC dc, bool hint);
// Contrast themes are on.
bool HighContrast();

}  // namespace kv
