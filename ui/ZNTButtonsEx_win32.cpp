#include "ui/ZNTButtonsEx.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <vssym32.h>
#include <windowsx.h>

#include <optional>
#include <utility>
#include <vector>

#include "base/WinText_win32.h"

namespace kv {

static_assert(kTextCenter == DT_CENTER && kTextRight == DT_RIGHT && kTextVCenter == DT_VCENTER &&
              kTextCalcRect == DT_CALCRECT && kTextRtlReading == DT_RTLREADING);
static_assert(kEdgeSunkenOuter == BDR_SUNKENOUTER && kEdgeRaisedInner == BDR_RAISEDINNER &&
              kEdgeRect == BF_RECT && kEdgeMiddle == BF_MIDDLE);
static_assert(kFramePush == DFCS_BUTTONPUSH && kFrameAdjustRect == DFCS_ADJUSTRECT &&
              kFrameInactive == DFCS_INACTIVE && kFramePushed == DFCS_PUSHED);
static_assert(kThemePushButton == BP_PUSHBUTTON && kPushNormal == PBS_NORMAL &&
              kPushHot == PBS_HOT && kPushPressed == PBS_PRESSED && kPushDisabled == PBS_DISABLED &&
              kPushDefaulted == PBS_DEFAULTED);
static_assert(kThemeToolbarButton == TP_BUTTON && kToolNormal == TS_NORMAL && kToolHot == TS_HOT &&
              kToolPressed == TS_PRESSED && kToolDisabled == TS_DISABLED &&
              kToolChecked == TS_CHECKED && kToolHotChecked == TS_HOTCHECKED);

namespace {

constexpr UINT_PTR kBitBtnSubclassId = 1;
// The window property through which a push button window leads to its TZNTBitBtnEx.
constexpr wchar_t kBitBtnProperty[] = L"TZNTBitBtnEx";
constexpr int kDitherSize = 8;

RECT ToRect(const TButtonRect& r) {
  return {r.Left, r.Top, r.Right, r.Bottom};
}

TButtonRect FromRect(const RECT& r) {
  return {static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right),
          static_cast<int>(r.bottom)};
}

bool StylesActive() {
  return ::IsThemeActive() && ::IsAppThemed();
}

std::optional<TImageListFacts> Facts(const TImageList* list) {
  if (!list)
    return std::nullopt;
  return TImageListFacts{list->Count(), list->Width(), list->Height()};
}

// A rectangle with a one-pixel pen of colour and brush (none: clear); the pen is released.
void PenRectangle(HDC dc, const TButtonRect& r, COLORREF colour, HBRUSH brush) {
  const HPEN pen = ::CreatePen(PS_SOLID, 1, colour);
  if (!pen)
    return;
  const HGDIOBJ old_pen = ::SelectObject(dc, pen);
  const HGDIOBJ old_brush =
      ::SelectObject(dc, brush ? static_cast<HGDIOBJ>(brush) : ::GetStockObject(NULL_BRUSH));
  ::Rectangle(dc, r.Left, r.Top, r.Right, r.Bottom);
  ::SelectObject(dc, old_brush);
  ::SelectObject(dc, old_pen);
  ::DeleteObject(pen);
}

// The face of an exclusive button: highlight where x and y are both even or both odd, face
// colour elsewhere, as an 8 x 8 pattern brush that is released after the fill.
void FillDither(HDC dc, const TButtonRect& r) {
  struct {
    BITMAPINFOHEADER header;
    DWORD pixels[kDitherSize * kDitherSize];
  } pattern{};
  pattern.header.biSize = sizeof(BITMAPINFOHEADER);
  pattern.header.biWidth = kDitherSize;
  pattern.header.biHeight = kDitherSize;  // bottom-up: memory row m is pattern row 7 - m
  pattern.header.biPlanes = 1;
  pattern.header.biBitCount = 32;
  pattern.header.biCompression = BI_RGB;
  const auto pixel = [](COLORREF colour) {
    return static_cast<DWORD>(GetRValue(colour)) << 16 |
           static_cast<DWORD>(GetGValue(colour)) << 8 | GetBValue(colour);
  };
  const DWORD highlight = pixel(::GetSysColor(COLOR_BTNHIGHLIGHT));
  const DWORD face = pixel(::GetSysColor(COLOR_BTNFACE));
  for (int row = 0; row < kDitherSize; ++row) {
    const int y = kDitherSize - 1 - row;
    for (int x = 0; x < kDitherSize; ++x)
      pattern.pixels[row * kDitherSize + x] = (x + y) % 2 == 0 ? highlight : face;
  }
  const HBRUSH brush = ::CreateDIBPatternBrushPt(&pattern, DIB_RGB_COLORS);
  if (!brush)
    return;
  const RECT rect = ToRect(r);
  ::FillRect(dc, &rect, brush);
  ::DeleteObject(brush);
}

COLORREF CaptionColour(TCaptionColour colour, COLORREF font_colour) {
  switch (colour) {
    case TCaptionColour::kButtonHighlight:
      return ::GetSysColor(COLOR_BTNHIGHLIGHT);
    case TCaptionColour::kButtonShadow:
      return ::GetSysColor(COLOR_BTNSHADOW);
    case TCaptionColour::kGrayText:
      return ::GetSysColor(COLOR_GRAYTEXT);
    case TCaptionColour::kFont:
      break;
  }
  return font_colour;
}

// Glyph and caption on a device context, for PaintButtonContent.
class CanvasPainter final : public TButtonContentPainter {
 public:
  using OwnerCaptionHandler = std::function<void(TButtonRect&, bool)>;

  CanvasPainter(HDC dc, const std::string& caption, TImageList* images, int image_index,
                TButtonState state, bool hot, bool transparent, bool themed, unsigned text_flags,
                OwnerCaptionHandler owner_caption)
      : dc_(dc),
        caption_(caption),
        images_(images),
        image_index_(image_index),
        state_(state),
        hot_(hot),
        transparent_(transparent),
        themed_(themed),
        text_flags_(text_flags),
        owner_caption_(std::move(owner_caption)) {}

  TButtonRect MeasureText(const std::string& caption, const TButtonRect& bounds,
                          unsigned flags) override {
    const std::wstring text = Utf8ToWide(caption);
    RECT rect = ToRect(bounds);
    ::DrawTextW(dc_, text.c_str(), static_cast<int>(text.size()), &rect, flags);
    return FromRect(rect);
  }
  void DrawImage(TButtonPoint glyph_pos) override {
    DrawButtonImage(dc_, images_, image_index_, state_, hot_, transparent_, glyph_pos);
  }
  void DrawCaption(const TButtonRect& bounds) override {
    DrawButtonCaption(dc_, caption_, bounds, state_, text_flags_, themed_);
  }
  bool HasOwnerCaption() override { return static_cast<bool>(owner_caption_); }
  void OwnerCaption(TButtonRect& rect, bool do_paint) override { owner_caption_(rect, do_paint); }

 private:
  HDC dc_;
  const std::string& caption_;
  TImageList* images_;
  int image_index_;
  TButtonState state_;
  bool hot_;
  bool transparent_;
  bool themed_;
  unsigned text_flags_;
  OwnerCaptionHandler owner_caption_;
};

void RegisterSpeedButtonClass(WNDPROC procedure) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.style = CS_DBLCLKS;  // a double click arrives as such
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kSpeedButtonClassName;
  ::RegisterClassExW(&window_class);  // fails harmlessly once registered
}

bool IsSpeedButton(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return std::wstring(name) == kSpeedButtonClassName;
}

bool IsPushButton(HWND window) {
  if (!window)
    return false;
  const LRESULT code = ::SendMessageW(window, WM_GETDLGCODE, 0, 0);
  return (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0;
}

}  // namespace

void DrawButtonImage(HDC dc, TImageList* images, int index, TButtonState state, bool hot,
                     bool transparent, TButtonPoint glyph_pos) {
  const auto* znt_images = dynamic_cast<const TZNTImageList*>(images);
  TImageList* hot_images = znt_images ? znt_images->HotImages() : nullptr;
  const TGlyphDraw draw =
      PlanButtonImage(Facts(images), Facts(hot_images), index, state, hot, transparent);
  if (draw.From == TGlyphList::kNone)
    return;
  TImageList* source = draw.From == TGlyphList::kHotImages ? hot_images : images;
  source->Draw(dc, glyph_pos.X, glyph_pos.Y, index,
               draw.TransparentStyle ? TDrawingStyle::kTransparent : TDrawingStyle::kNormal,
               TImageType::kImage, draw.Enabled);
}

void DrawButtonCaption(HDC dc, const std::string& caption, const TButtonRect& bounds,
                       TButtonState state, unsigned text_flags, bool themed) {
  const std::vector<TCaptionDraw> draws =
      PlanButtonCaption(caption.empty(), bounds, state, text_flags, themed);
  if (draws.empty())
    return;
  const std::wstring text = Utf8ToWide(caption);
  const int old_mode = ::SetBkMode(dc, TRANSPARENT);
  const COLORREF font_colour = ::GetTextColor(dc);
  for (const TCaptionDraw& draw : draws) {
    ::SetTextColor(dc, CaptionColour(draw.Colour, font_colour));
    RECT rect = ToRect(draw.Bounds);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, draw.Flags);
  }
  ::SetTextColor(dc, font_colour);
  ::SetBkMode(dc, old_mode);
}

// --- TZNTGlyphButton ---

TZNTGlyphButton::TZNTGlyphButton(TZNTComponent* owner) : TZNTComponent(owner) {
  images_link_.OnChange = [this] { Invalidate(); };
}

TZNTGlyphButton::~TZNTGlyphButton() {
  SetImages(nullptr);
  CloseThemes();
}

void TZNTGlyphButton::SetImages(TImageList* images) {
  if (images_) {
    images_->UnRegisterChanges(images_link_);
    RemoveFreeNotification(images_);
  }
  images_ = images;
  if (images_) {
    images_->RegisterChanges(images_link_);
    FreeNotification(images_);
  }
  Invalidate();
}

void TZNTGlyphButton::Notification(TZNTComponent* component, TOperation operation) {
  TZNTComponent::Notification(component, operation);
  if (operation == TOperation::kRemove && component == images_) {
    images_ = nullptr;
    Invalidate();
  }
}

void TZNTGlyphButton::SetImageIndex(int value) {
  if (glyph_.SetImageIndex(value))
    Invalidate();
}

void TZNTGlyphButton::SetLayout(TButtonLayout value) {
  if (glyph_.SetLayout(value))
    Invalidate();
}

void TZNTGlyphButton::SetSpacing(int value) {
  if (glyph_.SetSpacing(value))
    Invalidate();
}

void TZNTGlyphButton::SetMargin(int value) {
  if (glyph_.SetMargin(value))
    Invalidate();
}

void TZNTGlyphButton::SetCaption(const std::string& caption) {
  caption_ = caption;
  if (handle_)
    ::SetWindowTextW(handle_, Utf8ToWide(caption).c_str());
}

void TZNTGlyphButton::TextChanged(const wchar_t* text) {
  caption_ = WideToUtf8(text ? std::wstring(text) : std::wstring());
  Invalidate();
}

void TZNTGlyphButton::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (handle_)
    ::EnableWindow(handle_, enabled ? TRUE : FALSE);
}

void TZNTGlyphButton::SetFont(HFONT font) {
  font_ = font;
  Invalidate();
}

void TZNTGlyphButton::SetRightToLeft(bool right_to_left) {
  right_to_left_ = right_to_left;
  Invalidate();
}

void TZNTGlyphButton::Invalidate() {
  if (handle_)
    ::InvalidateRect(handle_, nullptr, FALSE);
}

HFONT TZNTGlyphButton::CurrentFont() const {
  if (font_)
    return font_;
  const HWND parent = handle_ ? ::GetParent(handle_) : nullptr;
  const auto parent_font =
      parent ? reinterpret_cast<HFONT>(::SendMessageW(parent, WM_GETFONT, 0, 0)) : nullptr;
  return parent_font ? parent_font : static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
}

TButtonContent TZNTGlyphButton::Content() const {
  TButtonContent content;
  content.Caption = caption_;
  content.TextFlags = TextFlags();
  content.Spacing = glyph_.Spacing();
  content.Margin = glyph_.Margin();
  content.Layout = glyph_.Layout();
  if (images_)
    content.GlyphSize = TGlyphSize{images_->Width(), images_->Height()};
  return content;
}

HANDLE TZNTGlyphButton::Theme(TThemeClass theme_class) {
  if (!handle_ || !StylesActive())
    return nullptr;
  HANDLE& theme = theme_class == TThemeClass::kToolbar ? toolbar_theme_ : button_theme_;
  if (!theme)
    theme = ::OpenThemeData(handle_, theme_class == TThemeClass::kToolbar ? L"TOOLBAR" : L"BUTTON");
  return theme;
}

void TZNTGlyphButton::CloseThemes() {
  for (HANDLE* theme : {&button_theme_, &toolbar_theme_}) {
    if (*theme)
      ::CloseThemeData(*theme);
    *theme = nullptr;
  }
}

// --- TZNTSpeedButtonEx ---

TZNTSpeedButtonEx::TZNTSpeedButtonEx(TZNTComponent* owner)
    : TZNTGlyphButton(owner), logic_(*this) {}

TZNTSpeedButtonEx::~TZNTSpeedButtonEx() {
  if (handle_)
    ::DestroyWindow(handle_);
}

bool TZNTSpeedButtonEx::Create(HWND parent, int left, int top) {
  RegisterSpeedButtonClass(&TZNTSpeedButtonEx::WindowProc);
  logic_.SetEnabled(enabled_);
  // A child that never takes the focus: no tab stop, and clicks do not focus it.
  const DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | (enabled_ ? 0 : WS_DISABLED);
  ::CreateWindowExW(0, kSpeedButtonClassName, Utf8ToWide(Caption()).c_str(), style, left, top,
                    width_, height_, parent, nullptr, ::GetModuleHandleW(nullptr), this);
  return handle_ != nullptr;
}

void TZNTSpeedButtonEx::SetSize(int width, int height) {
  width_ = width;
  height_ = height;
  if (handle_)
    ::SetWindowPos(handle_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
}

void TZNTSpeedButtonEx::SetTransparent(bool value) {
  if (value == transparent_)
    return;
  transparent_ = value;
  TZNTGlyphButton::Invalidate();
}

void TZNTSpeedButtonEx::SetFlat(bool value) {
  if (value == flat_)
    return;
  flat_ = value;
  TZNTGlyphButton::Invalidate();
}

bool TZNTSpeedButtonEx::DialogChar(wchar_t ch) {
  if (!IsCaptionAccelerator(Caption(), WideToUtf8(std::wstring(1, ch))) || !enabled_ || !handle_ ||
      !::IsWindowVisible(handle_)) {
    return false;
  }
  Click();
  return true;
}

LRESULT CALLBACK TZNTSpeedButtonEx::WindowProc(HWND window, UINT message, WPARAM wparam,
                                               LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* button = static_cast<TZNTSpeedButtonEx*>(create->lpCreateParams);
    button->handle_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(button));
  }
  auto* button = reinterpret_cast<TZNTSpeedButtonEx*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!button)
    return ::DefWindowProcW(window, message, wparam, lparam);
  return button->HandleMessage(message, wparam, lparam);
}

LRESULT TZNTSpeedButtonEx::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  const int x = GET_X_LPARAM(lparam);
  const int y = GET_Y_LPARAM(lparam);
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint{};
      const HDC dc = ::BeginPaint(handle_, &paint);
      if (dc)
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
      ::SetCapture(handle_);
      logic_.MouseDown(true);
      return 0;
    case WM_LBUTTONDBLCLK:
      ::SetCapture(handle_);
      logic_.DoubleClick();
      return 0;
    case WM_MOUSEMOVE:
      if (!mouse_tracked_) {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, handle_, 0};
        mouse_tracked_ = ::TrackMouseEvent(&track) != FALSE;
        logic_.MouseEnter();
      }
      logic_.MouseMove(x, y, width_, height_);
      return 0;
    case WM_MOUSELEAVE:
      mouse_tracked_ = false;
      logic_.MouseLeave();
      return 0;
    case WM_LBUTTONUP:
      // The capture goes first: the hover refresh at the end of the release turns the button
      // hot only while no window holds the capture.
      if (::GetCapture() == handle_)
        ::ReleaseCapture();
      logic_.MouseUp(x, y, width_, height_);
      return 0;
    case WM_ENABLE:
      enabled_ = wparam != 0;
      logic_.SetEnabled(enabled_);
      logic_.EnabledChanged();
      return 0;
    case WM_SETTEXT: {
      const LRESULT result = ::DefWindowProcW(handle_, message, wparam, lparam);
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
      if (const TSpeedButtonLogic* sender = SiblingLogic(lparam))
        logic_.ButtonPressed(static_cast<int>(wparam), *sender);
      return 0;
    case WM_THEMECHANGED:
      CloseThemes();
      TZNTGlyphButton::Invalidate();
      return 0;
    case WM_NCDESTROY:
      CloseThemes();
      ::SetWindowLongPtrW(handle_, GWLP_USERDATA, 0);
      handle_ = nullptr;
      return 0;
    default:
      return ::DefWindowProcW(handle_, message, wparam, lparam);
  }
}

const TSpeedButtonLogic* TZNTSpeedButtonEx::SiblingLogic(LPARAM candidate) const {
  const HWND parent = ::GetParent(handle_);
  if (!parent)
    return nullptr;
  for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (!IsSpeedButton(child))
      continue;
    const auto* button =
        reinterpret_cast<const TZNTSpeedButtonEx*>(::GetWindowLongPtrW(child, GWLP_USERDATA));
    if (button && reinterpret_cast<LPARAM>(&button->logic_) == candidate)
      return &button->logic_;
  }
  return nullptr;
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
  const int saved = ::SaveDC(dc);
  ::SelectObject(dc, CurrentFont());
  ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));

  TSpeedButtonLook look;
  look.State = logic_.State();
  look.Flat = flat_;
  look.IsHot = logic_.IsHot();
  look.Transparent = transparent_;
  const HANDLE theme = Theme(flat_ ? TThemeClass::kToolbar : TThemeClass::kButton);
  look.Themed = theme != nullptr;
  const TSpeedButtonPaintPlan plan = PlanSpeedButtonPaint(look);

  const RECT client{0, 0, width_, height_};
  TButtonRect paint_rect = FromRect(client);
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
  CanvasPainter painter(dc, Caption(), Images(), ImageIndex(), look.State, plan.GlyphHot,
                        plan.GlyphTransparent, look.Themed, TextFlags(), nullptr);
  PaintButtonContent(Content(), paint_rect, plan.Offset, painter);
  ::RestoreDC(dc, saved);
}

void TZNTSpeedButtonEx::Invalidate() {
  TZNTGlyphButton::Invalidate();
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
  const HWND parent = handle_ ? ::GetParent(handle_) : nullptr;
  if (!parent)
    return;
  for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (IsSpeedButton(child)) {
      ::SendMessageW(child, kButtonPressedMessage, static_cast<WPARAM>(group_index),
                     reinterpret_cast<LPARAM>(sender));
    }
  }
}

bool TZNTSpeedButtonEx::IsUnderMouseCursor() {
  POINT cursor{};
  return handle_ && ::GetCursorPos(&cursor) && ::WindowFromPoint(cursor) == handle_;
}

bool TZNTSpeedButtonEx::AnyWindowHasCapture() {
  return ::GetCapture() != nullptr;
}

// --- TZNTBitBtnEx ---

TZNTBitBtnEx::TZNTBitBtnEx(TZNTComponent* owner) : TZNTGlyphButton(owner) {}

TZNTBitBtnEx::~TZNTBitBtnEx() {
  if (handle_)
    ::DestroyWindow(handle_);
}

bool TZNTBitBtnEx::Create(HWND parent, int left, int top, int width, int height) {
  const DWORD style =
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW | (enabled_ ? 0 : WS_DISABLED);
  handle_ = ::CreateWindowExW(0, WC_BUTTONW, Utf8ToWide(Caption()).c_str(), style, left, top, width,
                              height, parent, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (!handle_)
    return false;
  if (!::SetPropW(handle_, kBitBtnProperty, this) ||
      !::SetWindowSubclass(handle_, &TZNTBitBtnEx::SubclassProc, kBitBtnSubclassId,
                           reinterpret_cast<DWORD_PTR>(this))) {
    ::DestroyWindow(handle_);
    handle_ = nullptr;
    return false;
  }
  if (default_)
    SetButtonStyle(!IsPushButton(::GetFocus()));
  return true;
}

void TZNTBitBtnEx::SetStyle(TButtonStyle value) {
  if (value == style_)
    return;
  style_ = value;
  Invalidate();
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

TZNTBitBtnEx* TZNTBitBtnEx::FromHandle(HWND window) {
  return window ? static_cast<TZNTBitBtnEx*>(::GetPropW(window, kBitBtnProperty)) : nullptr;
}

bool TZNTBitBtnEx::ReflectMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
  if (message == WM_DRAWITEM) {
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
    TZNTBitBtnEx* button =
        item && item->CtlType == ODT_BUTTON ? FromHandle(item->hwndItem) : nullptr;
    if (!button)
      return false;
    button->DrawItem(*item);
    result = TRUE;
    return true;
  }
  if (message == WM_COMMAND && HIWORD(wparam) == BN_CLICKED) {
    TZNTBitBtnEx* button = FromHandle(reinterpret_cast<HWND>(lparam));
    if (!button)
      return false;
    if (button->OnClick)
      button->OnClick();
    result = 0;
    return true;
  }
  return false;
}

LRESULT CALLBACK TZNTBitBtnEx::SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                            UINT_PTR, DWORD_PTR data) {
  auto* button = reinterpret_cast<TZNTBitBtnEx*>(data);
  if (message == WM_NCDESTROY) {
    ::RemoveWindowSubclass(window, &TZNTBitBtnEx::SubclassProc, kBitBtnSubclassId);
    ::RemovePropW(window, kBitBtnProperty);
    button->CloseThemes();
    button->handle_ = nullptr;
    return ::DefSubclassProc(window, message, wparam, lparam);
  }
  return button->HandleMessage(message, wparam, lparam);
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
      return ::DefSubclassProc(handle_, WM_LBUTTONDOWN, wparam, lparam);
    case WM_MOUSEMOVE:
      if (!mouse_tracked_) {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, handle_, 0};
        mouse_tracked_ = ::TrackMouseEvent(&track) != FALSE;
        if (StylesActive() && !is_hot_) {
          is_hot_ = true;
          Invalidate();
        }
      }
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
      const LRESULT result = ::DefSubclassProc(handle_, message, wparam, lparam);
      enabled_ = wparam != 0;
      Invalidate();
      return result;
    }
    case WM_SETTEXT: {
      const LRESULT result = ::DefSubclassProc(handle_, message, wparam, lparam);
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
  return ::DefSubclassProc(handle_, message, wparam, lparam);
}

// Own focus tracking: the focused push button shows the default frame; when the focus goes to a
// control that is no push button, the Default button shows it again.
void TZNTBitBtnEx::FocusChanged(bool focused, HWND other) {
  SetButtonStyle(focused || (default_ && !IsPushButton(other)));
}

void TZNTBitBtnEx::DrawItem(const DRAWITEMSTRUCT& item) {
  const HDC dc = item.hDC;
  const int saved = ::SaveDC(dc);
  const HFONT font = CurrentFont();
  ::SelectObject(dc, font);
  ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));

  TBitBtnLook look;
  look.Enabled = enabled_;
  look.Pressed = (item.itemState & ODS_SELECTED) != 0;
  look.Focused = (item.itemState & ODS_FOCUS) != 0;
  look.ItemDisabled = (item.itemState & ODS_DISABLED) != 0;
  look.ShowsDefaultFrame = shows_default_frame_;
  look.IsHot = is_hot_;
  const HANDLE theme = Theme(TThemeClass::kButton);
  look.Themed = theme != nullptr;
  RECT client{};
  ::GetClientRect(handle_, &client);
  const TBitBtnPaintPlan plan = PlanBitBtnPaint(look, FromRect(client));

  TButtonRect r = plan.ContentRect;
  if (look.Themed) {
    RECT item_rect = item.rcItem;
    if (::IsThemeBackgroundPartiallyTransparent(theme, BP_PUSHBUTTON, plan.ThemeState))
      ::DrawThemeParentBackground(handle_, dc, &item_rect);
    ::DrawThemeBackground(theme, dc, BP_PUSHBUTTON, plan.ThemeState, &item_rect, nullptr);
    RECT content = item_rect;
    ::GetThemeBackgroundContentRect(theme, dc, BP_PUSHBUTTON, plan.ThemeState, &item_rect,
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

  CanvasPainter::OwnerCaptionHandler owner_caption;
  if (OnDrawZNTButtonText) {
    owner_caption = [this, dc, &plan](TButtonRect& rect, bool do_paint) {
      OnDrawZNTButtonText(*this, dc, Caption(), rect, plan.State, do_paint);
    };
  }
  CanvasPainter painter(dc, Caption(), Images(), ImageIndex(), plan.State, plan.GlyphHot, true,
                        look.Themed, TextFlags(), std::move(owner_caption));
  PaintButtonContent(Content(), r, {}, painter);

  if (plan.FocusRectangle) {
    const RECT focus = ToRect(look.Themed ? r : plan.FocusRect);
    ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWFRAME));
    ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
    ::DrawFocusRect(dc, &focus);
  }
  ::RestoreDC(dc, saved);
}

}  // namespace kv
