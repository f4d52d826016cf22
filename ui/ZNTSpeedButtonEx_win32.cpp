#include "ui/ZNTButtonsEx_win32.h"

#include <oleacc.h>
#include <windowsx.h>

#include <array>
#include <cstdint>
#include <vector>

#include "base/WinText_win32.h"
#include "ui/AccessibleName_win32.h"

namespace kv {

namespace {

// The face of an exclusive button, filled with the dither pattern as a brush.
void FillDither(HDC dc, const ScreenRect& r) {
  struct {
    BITMAPINFOHEADER Header;
    std::array<std::uint32_t, kDitherSize * kDitherSize> Pixels;
  } pattern{};
  pattern.Header = {
      sizeof(BITMAPINFOHEADER), kDitherSize, kDitherSize, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  const auto pixel = [](int index) {
    const COLORREF colour = ::GetSysColor(index);
    return static_cast<std::uint32_t>(GetRValue(colour)) << 16 |
           static_cast<std::uint32_t>(GetGValue(colour)) << 8 | GetBValue(colour);
  };
  pattern.Pixels = DitherPattern(pixel(COLOR_BTNHIGHLIGHT), pixel(COLOR_BTNFACE));
  const TBrush brush(::CreateDIBPatternBrushPt(&pattern, DIB_RGB_COLORS));
  const RECT rect = ToRect(r);
  if (brush)
    ::FillRect(dc, &rect, brush.get());
}

}  // namespace

bool TZNTSpeedButtonEx::Create(HWND parent, int left, int top) {
  logic_.SetEnabled(enabled_);
  // A child that never takes the focus: no tab stop, and clicks do not focus it; a double click
  // arrives as such.
  const DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | (enabled_ ? 0 : WS_DISABLED);
  return CreateOfClass(kSpeedButtonClassName, CS_DBLCLKS, nullptr, 0, style, Utf8ToWide(Caption()),
                       {left, top, left + width_, top + height_}, parent);
}

void TZNTSpeedButtonEx::SetSize(int width, int height) {
  width_ = width;
  height_ = height;
  if (handle_)
    ::SetWindowPos(handle_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
}

bool TZNTSpeedButtonEx::DialogChar(wchar_t ch) {
  if (!IsCaptionAccelerator(Caption(), WideToUtf8(std::wstring(1, ch))) || !enabled_ || !handle_ ||
      !::IsWindowVisible(handle_)) {
    return false;
  }
  Click();
  return true;
}

LRESULT TZNTSpeedButtonEx::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint{};
      if (const HDC dc = ::BeginPaint(handle_, &paint))
        Paint(dc);
      ::EndPaint(handle_, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(reinterpret_cast<HDC>(wparam));
      return 0;
    case WM_ERASEBKGND:
      return 1;    // the paint covers the whole button
    case WM_SIZE:  // also when the owner moves or scales the window itself
      width_ = LOWORD(lparam);
      height_ = HIWORD(lparam);
      TZNTGlyphButton::Invalidate();
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
    case WM_CANCELMODE:
      MouseMessage(message, GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
      return message == WM_CANCELMODE ? DefaultProc(message, wparam, lparam) : 0;
    case WM_ENABLE:
      enabled_ = wparam != 0;
      logic_.SetEnabled(enabled_);
      logic_.EnabledChanged();
      return 0;
    case WM_SETTEXT: {
      const LRESULT result = DefaultProc(message, wparam, lparam);
      TextChanged(reinterpret_cast<const wchar_t*>(lparam));
      return result;
    }
    case WM_SETFONT:
      SetFont(reinterpret_cast<HFONT>(wparam));
      return 0;
    case WM_GETDLGCODE:
      return DLGC_BUTTON;
    case BM_CLICK:  // the dialog manager found the caption's accelerator
      if (enabled_ && ::IsWindowVisible(handle_))
        Click();
      return 0;
    case kButtonPressedMessage:
      // Any process can send this number; only a sibling speed button is taken as the sender.
      for (const TZNTSpeedButtonEx* sibling : Siblings()) {
        if (reinterpret_cast<LPARAM>(&sibling->logic_) == lparam)
          logic_.ButtonPressed(static_cast<int>(wparam), sibling->logic_);
      }
      return 0;
    case WM_THEMECHANGED:
      CloseThemes();
      TZNTGlyphButton::Invalidate();
      return 0;
    case WM_GETOBJECT: {
      LRESULT result = 0;
      const std::string& name = accessible_name_.empty() ? Caption() : accessible_name_;
      if (AnswerGetObject(handle_, wparam, lparam, {Utf8ToWide(name), ROLE_SYSTEM_PUSHBUTTON, {}},
                          result)) {
        return result;
      }
      return DefaultProc(message, wparam, lparam);
    }
    default:
      return DefaultProc(message, wparam, lparam);
  }
}

void TZNTSpeedButtonEx::MouseMessage(UINT message, int x, int y) {
  switch (message) {
    case WM_LBUTTONDOWN:
      ::SetCapture(handle_);
      logic_.MouseDown(true);
      break;
    case WM_LBUTTONDBLCLK:
      ::SetCapture(handle_);
      logic_.DoubleClick();
      break;
    case WM_MOUSEMOVE:
      if (!mouse_tracked_) {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, handle_, 0};
        mouse_tracked_ = ::TrackMouseEvent(&track) != FALSE;
        logic_.MouseEnter();
      }
      logic_.MouseMove(x, y, width_, height_);
      break;
    case WM_MOUSELEAVE:
      mouse_tracked_ = false;
      logic_.MouseLeave();
      break;
    case WM_LBUTTONUP:
      MouseUp(x, y);
      break;
    default:  // the capture was taken away, or the system cancels: the press ends, no click
      if (!releasing_)
        MouseUp(-1, -1);
      break;
  }
}

void TZNTSpeedButtonEx::MouseUp(int x, int y) {
  // The capture goes first: the hover refresh at the end of the release turns the button hot
  // only while no window holds the capture.
  if (::GetCapture() == handle_) {
    releasing_ = true;
    ::ReleaseCapture();
    releasing_ = false;
  }
  logic_.MouseUp(x, y, width_, height_);
}

std::vector<TZNTSpeedButtonEx*> TZNTSpeedButtonEx::Siblings() const {
  std::vector<TZNTSpeedButtonEx*> buttons;
  const HWND parent = handle_ ? ::GetParent(handle_) : nullptr;
  for (HWND child = parent ? ::GetWindow(parent, GW_CHILD) : nullptr; child;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (auto* button = dynamic_cast<TZNTSpeedButtonEx*>(FromHandle(child)))
      buttons.push_back(button);
  }
  return buttons;
}

void TZNTSpeedButtonEx::EraseParentBackground(HDC dc) {
  const HWND parent = ::GetParent(handle_);
  if (!parent)
    return;
  POINT corner{0, 0};
  ::MapWindowPoints(handle_, parent, &corner, 1);
  POINT origin{};
  ::OffsetWindowOrgEx(dc, corner.x, corner.y, &origin);
  ::SendMessageW(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  ::SetWindowOrgEx(dc, origin.x, origin.y, nullptr);
}

void TZNTSpeedButtonEx::Paint(HDC dc) {
  logic_.UpdateStateForPaint();
  const TSavedDC saved(dc);
  ::SelectObject(dc, CurrentFont());
  ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));

  const HANDLE theme = Theme(flat_ ? TThemeClass::kToolbar : TThemeClass::kButton);
  const TSpeedButtonLook look{.State = logic_.State(),
                              .Flat = flat_,
                              .IsHot = logic_.IsHot(),
                              .Transparent = transparent_,
                              .Themed = theme != nullptr};
  const TSpeedButtonPaintPlan plan = PlanSpeedButtonPaint(look);

  const RECT client{0, 0, width_, height_};
  ScreenRect paint_rect = FromRect(client);
  if (look.Themed) {
    EraseParentBackground(dc);
    ::DrawThemeBackground(theme, dc, plan.ThemePart, plan.ThemeState, &client, nullptr);
    RECT content = client;
    ::GetThemeBackgroundContentRect(theme, dc, plan.ThemePart, plan.ThemeState, &client, &content);
    paint_rect = FromRect(content);
  } else {
    if (transparent_)
      EraseParentBackground(dc);
    RECT frame = client;
    if (plan.Edge)
      ::DrawEdge(dc, &frame, plan.EdgeKind, plan.EdgeFlags);
    else if (plan.FillFace)
      ::FillRect(dc, &frame, ::GetSysColorBrush(COLOR_BTNFACE));
    if (plan.PushFrame)
      ::DrawFrameControl(dc, &frame, DFC_BUTTON, plan.FrameFlags);
    paint_rect = paint_rect.Shrunk(plan.Inset);
    if (plan.Dither)
      FillDither(dc, paint_rect);
  }
  PaintContent(dc, paint_rect, plan.Offset,
               {look.State, plan.GlyphHot, plan.GlyphTransparent, look.Themed}, nullptr);
}

void TZNTSpeedButtonEx::Repaint() {
  if (!handle_)
    return;
  ::InvalidateRect(handle_, nullptr, FALSE);
  ::UpdateWindow(handle_);
}

void TZNTSpeedButtonEx::Click() {
  if (OnClick)
    OnClick();
}

void TZNTSpeedButtonEx::DblClick() {
  if (OnDblClick)
    OnDblClick();
}

void TZNTSpeedButtonEx::BroadcastButtonPressed(int group_index, const TSpeedButtonLogic* sender) {
  for (const TZNTSpeedButtonEx* sibling : Siblings()) {
    ::SendMessageW(sibling->handle_, kButtonPressedMessage, static_cast<WPARAM>(group_index),
                   reinterpret_cast<LPARAM>(sender));
  }
}

bool TZNTSpeedButtonEx::IsUnderMouseCursor() {
  POINT cursor{};
  return handle_ && ::GetCursorPos(&cursor) && ::WindowFromPoint(cursor) == handle_;
}

}  // namespace kv
