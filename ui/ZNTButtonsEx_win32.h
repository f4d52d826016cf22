// TZNTSpeedButtonEx and TZNTBitBtnEx: buttons whose glyph comes from an image list, from the hot
// companion of a TZNTImageList while the mouse is over them and from its disabled companion while
// they are disabled, drawn in the classic look or, where visual styles are active, themed. The
// speed button is a child window of its own class that never takes the focus; the push button is
// a native owner-drawn button whose parent passes its notifications on through
// TZNTBitBtnEx::ReflectMessage. Windows only; the decisions live in ButtonLayout, ButtonPaintPlan
// and SpeedButtonLogic.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ui/ButtonLayout.h"
#include "ui/ButtonPaintPlan.h"
#include "ui/GdiHandles_win32.h"
#include "ui/SpeedButtonLogic.h"
#include "ui/Window_win32.h"
#include "ui/ZNTImageList.h"

namespace kv {

inline constexpr wchar_t kSpeedButtonClassName[] = L"TZNTSpeedButtonEx";
// Sent by a speed button that went down to the speed buttons of its parent: the group index as
// wparam, the sending button's state machine as lparam.
inline constexpr UINT kButtonPressedMessage = 0xB018;

// Visual styles are on for this program.
bool StylesActive();

// The owner's caption handler of a push button: sets rect to the caption's size (do_paint false)
// or paints it there (do_paint true).
using TOwnerCaption = std::function<void(ScreenRect& rect, bool do_paint)>;
// How a glyph and its caption are drawn.
struct TGlyphLook {
  TButtonState State;
  bool Hot, Transparent, Themed;
};

// What both buttons share: the window, the image list reference with its change link and removal
// notification, the glyph properties, caption, font and reading order.
class TZNTGlyphButton : public TZNTComponent {
 public:
  explicit TZNTGlyphButton(TZNTComponent* owner);
  ~TZNTGlyphButton() override;

  virtual HWND Handle() const = 0;
  TImageList* Images() const { return images_; }
  void SetImages(TImageList* images);
  int ImageIndex() const { return glyph_.ImageIndex(); }
  void SetImageIndex(int value) { Changed(glyph_.SetImageIndex(value)); }
  TButtonLayout Layout() const { return glyph_.Layout(); }
  void SetLayout(TButtonLayout value) { Changed(glyph_.SetLayout(value)); }
  int Spacing() const { return glyph_.Spacing(); }
  void SetSpacing(int value) { Changed(glyph_.SetSpacing(value)); }
  int Margin() const { return glyph_.Margin(); }
  void SetMargin(int value) { Changed(glyph_.SetMargin(value)); }
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  // No font (the default) takes the parent's font, as ParentFont does.
  void SetFont(HFONT font) { Changed(std::exchange(font_, font) != font); }
  void SetRightToLeft(bool value) { Changed(std::exchange(right_to_left_, value) != value); }

  unsigned TextFlags() const { return ReadingOrderTextFlags(right_to_left_); }
  TButtonContent Content() const;

  std::function<void()> OnClick;

 protected:
  void Notification(TZNTComponent* component, TOperation operation) override;
  void Invalidate();
  void Changed(bool changed) {
    if (changed)
      Invalidate();
  }
  HFONT CurrentFont() const;
  // Glyph and caption laid out in bounds and drawn on dc.
  void PaintContent(HDC dc, const ScreenRect& bounds, TButtonPoint offset, const TGlyphLook& look,
                    const TOwnerCaption& owner_caption) const;
  // The window's notification that its text changed.
  void TextChanged(const wchar_t* text);
  // The theme data of the class, opened on first use; none while visual styles are off.
  HANDLE Theme(TThemeClass theme_class);
  void CloseThemes();

  bool enabled_ = true;
  TButtonGlyphProperties glyph_;

 private:
  void UnlinkImages();

  TImageList* images_ = nullptr;
  TChangeLink images_link_;
  std::string caption_;
  HFONT font_ = nullptr;
  bool right_to_left_ = false;
  TTheme button_theme_;
  TTheme toolbar_theme_;
};

class TZNTSpeedButtonEx : public TZNTGlyphButton, public TWindow, private TSpeedButtonHost {
 public:
  explicit TZNTSpeedButtonEx(TZNTComponent* owner = nullptr)
      : TZNTGlyphButton(owner), logic_(*this) {}
  // The window goes first, while the whole button still answers its messages.
  ~TZNTSpeedButtonEx() override { DestroyHandle(); }

  HWND Handle() const override { return handle_; }
  // Creates the child window at (left, top) with the button's size (23 x 22 unless set).
  bool Create(HWND parent, int left, int top);
  void SetSize(int width, int height);

  int GroupIndex() const { return logic_.GroupIndex(); }
  void SetGroupIndex(int value) { logic_.SetGroupIndex(value); }
  bool Down() const { return logic_.Down(); }
  void SetDown(bool value) { logic_.SetDown(value); }
  bool AllowAllUp() const { return logic_.AllowAllUp(); }
  void SetAllowAllUp(bool value) { logic_.SetAllowAllUp(value); }
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value) { Changed(std::exchange(transparent_, value) != value); }
  bool Flat() const { return flat_; }
  void SetFlat(bool value) { Changed(std::exchange(flat_, value) != value); }
  bool IsHot() const { return logic_.IsHot(); }
  bool IsTracking() const { return logic_.IsTracking(); }
  TButtonState State() const { return logic_.State(); }

  // A typed character: when it is the caption's accelerator and the button is enabled, visible
  // and on a showing parent, the click runs and the result is true.
  bool DialogChar(wchar_t ch);
  // What screen readers call the button, which is a push button to them; empty: its caption.
  void SetAccessibleName(std::string name) { accessible_name_ = std::move(name); }

  std::function<void()> OnDblClick;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void Detaching() noexcept override { CloseThemes(); }
  // The mouse and capture messages, at (x, y) in the button.
  void MouseMessage(UINT message, int x, int y);
  // Also with (-1, -1) when the capture was taken away: the press then ends without a click.
  void MouseUp(int x, int y);
  void Paint(HDC dc);
  void EraseParentBackground(HDC dc);
  // The speed buttons of the parent, this one among them.
  std::vector<TZNTSpeedButtonEx*> Siblings() const;

  void Invalidate() override { TZNTGlyphButton::Invalidate(); }
  void Repaint() override;
  void Click() override;
  void DblClick() override;
  void BroadcastButtonPressed(int group_index, const TSpeedButtonLogic* sender) override;
  bool IsUnderMouseCursor() override;
  bool AnyWindowHasCapture() override { return ::GetCapture() != nullptr; }

  TSpeedButtonLogic logic_;
  int width_ = 23;
  int height_ = 22;
  bool transparent_ = true;
  bool flat_ = false;
  bool mouse_tracked_ = false;  // a leave notification has been asked for
  bool releasing_ = false;      // the release gives up the capture itself
  std::string accessible_name_;
};

class TZNTBitBtnEx;

// The owner's caption: called with do_paint false to set rct to the caption's size, then with
// do_paint true and rct at the caption's place to paint it.
using TDrawZNTButtonTextEvent =
    std::function<void(TZNTBitBtnEx& sender, HDC canvas, const std::string& caption,
                       ScreenRect& rct, TButtonState state, bool do_paint)>;

class TZNTBitBtnEx : public TZNTGlyphButton, public TSubclass {
 public:
  explicit TZNTBitBtnEx(TZNTComponent* owner = nullptr) : TZNTGlyphButton(owner) {}
  ~TZNTBitBtnEx() override { DestroyHandle(); }

  HWND Handle() const override { return handle_; }
  bool Create(HWND parent, int left, int top, int width, int height);

  TButtonStyle Style() const { return style_; }
  void SetStyle(TButtonStyle value) { Changed(std::exchange(style_, value) != value); }
  // The button that reacts to Enter while the focus is on no other push button.
  bool Default() const { return default_; }
  void SetDefault(bool value);
  bool IsHot() const { return is_hot_; }
  bool ShowsDefaultFrame() const { return shows_default_frame_; }
  // The framework's default-button notification: shows or hides the default frame at once.
  void SetButtonStyle(bool default_frame);

  TDrawZNTButtonTextEvent OnDrawZNTButtonText;

  // Call from the parent's window procedure: handles the draw requests and click notifications
  // of a TZNTBitBtnEx child and returns true, with result set; false for everything else.
  static bool ReflectMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void Detaching() noexcept override { CloseThemes(); }
  void MouseMove();
  void DrawItem(const DRAWITEMSTRUCT& item);
  void FocusChanged(bool focused, HWND other);

  TButtonStyle style_ = TButtonStyle::bsAutoDetect;
  bool default_ = false;
  bool is_hot_ = false;
  bool shows_default_frame_ = false;
  bool mouse_tracked_ = false;
};

}  // namespace kv
