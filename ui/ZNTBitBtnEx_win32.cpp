#include "ui/ZNTButtonsEx_win32.h"

#include "base/WinText_win32.h"

namespace kv {

namespace {

// A rectangle with a one-pixel pen of colour and brush (none: clear); the pen is released.
void PenRectangle(HDC dc, const TButtonRect& r, COLORREF colour, HBRUSH brush) {
  const TPen pen(::CreatePen(PS_SOLID, 1, colour));
  const TSelection pen_selection(dc, pen.get());
  const TSelection brush_selection(
      dc, brush ? static_cast<HGDIOBJ>(brush) : ::GetStockObject(NULL_BRUSH));
  if (pen_selection.ok())
    ::Rectangle(dc, r.Left, r.Top, r.Right, r.Bottom);
}

bool IsPushButton(HWND window) {
  if (!window)
    return false;
  const LRESULT code = ::SendMessageW(window, WM_GETDLGCODE, 0, 0);
  return (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0;
}

}  // namespace

bool TZNTBitBtnEx::Create(HWND parent, int left, int top, int width, int height) {
  const DWORD style =
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW | (enabled_ ? 0 : WS_DISABLED);
  const HWND button =
      ::CreateWindowExW(0, WC_BUTTONW, Utf8ToWide(Caption()).c_str(), style, left, top, width,
                        height, parent, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (!button || !Attach(button)) {
    if (button)
      ::DestroyWindow(button);
    return false;
  }
  if (default_)
    SetButtonStyle(!IsPushButton(::GetFocus()));
  return true;
}

void TZNTBitBtnEx::SetDefault(bool value) {
  default_ = value;
  const HWND focus = ::GetFocus();
  if (focus != handle_)
    SetButtonStyle(value && !IsPushButton(focus));
}

void TZNTBitBtnEx::SetButtonStyle(bool default_frame) {
  if (default_frame == shows_default_frame_)
    return;
  shows_default_frame_ = default_frame;
  if (handle_) {
    ::InvalidateRect(handle_, nullptr, FALSE);
    ::UpdateWindow(handle_);
  }
}

bool TZNTBitBtnEx::ReflectMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
  const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
  const HWND window = message == WM_DRAWITEM && item && item->CtlType == ODT_BUTTON ? item->hwndItem
                      : message == WM_COMMAND && HIWORD(wparam) == BN_CLICKED
                          ? reinterpret_cast<HWND>(lparam)
                          : nullptr;
  auto* button = dynamic_cast<TZNTBitBtnEx*>(FromHandle(window));
  if (!button)
    return false;
  if (message == WM_DRAWITEM)
    button->DrawItem(*item);
  else if (button->OnClick)
    button->OnClick();
  result = message == WM_DRAWITEM ? TRUE : 0;
  return true;
}

LRESULT TZNTBitBtnEx::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case BM_SETSTYLE:
      // The dialog manager marks the default push button this way. The native handling would
      // replace the owner-drawn type, so only the default frame follows.
      SetButtonStyle((wparam & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_BUTTON | (shows_default_frame_ ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case WM_LBUTTONDBLCLK:
      // The second press of a double click is a press like the first, so it clicks too.
      return DefaultProc(WM_LBUTTONDOWN, wparam, lparam);
    case WM_MOUSEMOVE:
      MouseMove();
      break;
    case WM_MOUSELEAVE:
      mouse_tracked_ = false;
      if (StylesActive() && is_hot_) {
        is_hot_ = false;
        Invalidate();
      }
      break;
    case WM_SETFOCUS:
      FocusChanged(true, reinterpret_cast<HWND>(wparam));
      break;
    case WM_KILLFOCUS:
      FocusChanged(false, reinterpret_cast<HWND>(wparam));
      break;
    case WM_ENABLE: {
      const LRESULT result = DefaultProc(message, wparam, lparam);
      enabled_ = wparam != 0;
      Invalidate();
      return result;
    }
    case WM_SETTEXT: {
      const LRESULT result = DefaultProc(message, wparam, lparam);
      TextChanged(reinterpret_cast<const wchar_t*>(lparam));
      return result;
    }
    case WM_SETFONT:
      SetFont(reinterpret_cast<HFONT>(wparam));
      return 0;
    case WM_THEMECHANGED:
      CloseThemes();
      Invalidate();
      break;
    default:
      break;
  }
  return DefaultProc(message, wparam, lparam);
}

void TZNTBitBtnEx::MouseMove() {
  if (mouse_tracked_)
    return;
  TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, handle_, 0};
  mouse_tracked_ = ::TrackMouseEvent(&track) != FALSE;
  if (StylesActive() && !is_hot_) {
    is_hot_ = true;
    Invalidate();
  }
}

// Own focus tracking: the focused push button shows the default frame; when the focus goes to a
// control that is no push button, the Default button shows it again.
void TZNTBitBtnEx::FocusChanged(bool focused, HWND other) {
  SetButtonStyle(focused || (default_ && !IsPushButton(other)));
}

void TZNTBitBtnEx::DrawItem(const DRAWITEMSTRUCT& item) {
  const HDC dc = item.hDC;
  const TSavedDC saved(dc);
  const HFONT font = CurrentFont();
  ::SelectObject(dc, font);
  ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));

  const HANDLE theme = Theme(TThemeClass::kButton);
  const TBitBtnLook look{.Enabled = enabled_,
                         .Pressed = (item.itemState & ODS_SELECTED) != 0,
                         .Focused = (item.itemState & ODS_FOCUS) != 0,
                         .ItemDisabled = (item.itemState & ODS_DISABLED) != 0,
                         .ShowsDefaultFrame = shows_default_frame_,
                         .IsHot = is_hot_,
                         .Themed = theme != nullptr};
  RECT client{};
  ::GetClientRect(handle_, &client);
  const TBitBtnPaintPlan plan = PlanBitBtnPaint(look, FromRect(client));

  TButtonRect r = plan.ContentRect;
  if (look.Themed) {
    RECT item_rect = item.rcItem;
    if (::IsThemeBackgroundPartiallyTransparent(theme, kThemePushButton, plan.ThemeState))
      ::DrawThemeParentBackground(handle_, dc, &item_rect);
    ::DrawThemeBackground(theme, dc, kThemePushButton, plan.ThemeState, &item_rect, nullptr);
    RECT content = item_rect;
    ::GetThemeBackgroundContentRect(theme, dc, kThemePushButton, plan.ThemeState, &item_rect,
                                    &content);
    r = FromRect(content);
  } else {
    if (plan.DefaultFrame)
      PenRectangle(dc, plan.DefaultFrameRect, ::GetSysColor(COLOR_WINDOWFRAME), nullptr);
    if (plan.PressedFace) {
      PenRectangle(dc, plan.PressedFaceRect, ::GetSysColor(COLOR_BTNSHADOW),
                   ::GetSysColorBrush(COLOR_BTNFACE));
    }
    if (plan.PushFrame) {
      RECT frame = ToRect(plan.PushFrameRect);
      ::DrawFrameControl(dc, &frame, DFC_BUTTON, plan.FrameFlags);
    }
    ::SelectObject(dc, font);
  }

  TOwnerCaption owner_caption;
  if (OnDrawZNTButtonText) {
    owner_caption = [this, dc, &plan](TButtonRect& rect, bool do_paint) {
      OnDrawZNTButtonText(*this, dc, Caption(), rect, plan.State, do_paint);
    };
  }
  PaintContent(dc, r, {}, {plan.State, plan.GlyphHot, true, look.Themed}, owner_caption);

  if (plan.FocusRectangle) {
    const RECT focus = ToRect(look.Themed ? r : plan.FocusRect);
    ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWFRAME));
    ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
    ::DrawFocusRect(dc, &focus);
  }
}

}  // namespace kv
