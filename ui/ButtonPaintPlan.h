// What one paint of an enhanced button draws, decided without a device context: the frame, the
// fills, the shift of glyph and caption, the theme element, the focus rectangle, and the order of
// the glyph, caption and owner-drawn caption steps. The Win32 buttons carry the plans out.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "ui/ButtonLayout.h"

namespace kv {

// Flags of the platform's edge and frame drawing used by the plans.
inline constexpr unsigned kEdgeSunkenOuter = 0x2;
inline constexpr unsigned kEdgeRaisedInner = 0x4;
inline constexpr unsigned kEdgeRect = 0xF;
inline constexpr unsigned kEdgeMiddle = 0x800;
inline constexpr unsigned kFramePush = 0x10;
inline constexpr unsigned kFrameAdjustRect = 0x2000;
inline constexpr unsigned kFrameInactive = 0x100;
inline constexpr unsigned kFramePushed = 0x200;
// A push-button frame with kFrameAdjustRect leaves the face this far inside on every side.
inline constexpr int kPushFrameWidth = 2;

// Parts and states of the theme library's button elements.
inline constexpr int kThemePushButton = 1;  // part BP_PUSHBUTTON of class "BUTTON"
inline constexpr int kPushNormal = 1;
inline constexpr int kPushHot = 2;
inline constexpr int kPushPressed = 3;
inline constexpr int kPushDisabled = 4;
inline constexpr int kPushDefaulted = 5;
inline constexpr int kThemeToolbarButton = 1;  // part TP_BUTTON of class "TOOLBAR"
inline constexpr int kToolNormal = 1;
inline constexpr int kToolHot = 2;
inline constexpr int kToolPressed = 3;
inline constexpr int kToolDisabled = 4;
inline constexpr int kToolChecked = 5;
inline constexpr int kToolHotChecked = 6;

enum class TThemeClass { kButton, kToolbar };

struct TSpeedButtonLook {
  TButtonState State = TButtonState::bsUp;
  bool Flat = false;
  bool IsHot = false;
  bool Transparent = true;
  bool Designing = false;
  bool Themed = false;  // visual styles are active
};

struct TSpeedButtonPaintPlan {
  // Classic look. Flat buttons: an edge (kind and flags) or, when not transparent, a face fill,
  // then one pixel inwards. Raised buttons: a push-button frame with FrameFlags.
  bool Edge = false;
  unsigned EdgeKind = 0;
  unsigned EdgeFlags = 0;
  bool FillFace = false;
  bool PushFrame = false;
  unsigned FrameFlags = 0;
  int Inset = 0;  // from the button's rectangle to the area of glyph and caption
  // An exclusive button's face: the 8 x 8 pattern of highlight and face colours.
  bool Dither = false;
  // Visual styles: the parent's background first, then this element; the content rectangle of
  // the element is the area of glyph and caption.
  bool EraseParent = false;
  TThemeClass ThemeClass = TThemeClass::kButton;
  int ThemePart = 0;
  int ThemeState = 0;
  // Both looks.
  TButtonPoint Offset;
  bool GlyphHot = false;
  bool GlyphTransparent = true;
};

// The paint of TZNTSpeedButtonEx for a state already brought up to date.
TSpeedButtonPaintPlan PlanSpeedButtonPaint(const TSpeedButtonLook& look);

struct TBitBtnLook {
  bool Enabled = true;
  bool Pressed = false;       // the draw request's selected flag
  bool Focused = false;       // the draw request's focus flag
  bool ItemDisabled = false;  // the draw request's disabled flag
  bool ShowsDefaultFrame = false;
  bool IsHot = false;
  bool Themed = false;  // visual styles active and not designing
};

struct TBitBtnPaintPlan {
  TButtonState State = TButtonState::bsUp;
  // Visual styles: the push-button element in ThemeState over the parent's background; glyph and
  // caption go into its content rectangle.
  int ThemeState = 0;
  // Classic look, in this order: the default frame (window-frame pen, clear brush); then either
  // the pressed face (shadow pen, face brush) or the native frame with FrameFlags.
  bool DefaultFrame = false;
  TButtonRect DefaultFrameRect;
  bool PressedFace = false;
  TButtonRect PressedFaceRect;
  bool PushFrame = false;
  TButtonRect PushFrameRect;
  unsigned FrameFlags = 0;
  TButtonRect ContentRect;  // classic: the area of glyph and caption
  bool GlyphHot = false;
  // The focus rectangle: classic at FocusRect, themed on the content rectangle.
  bool FocusRectangle = false;
  TButtonRect FocusRect;
};

// The paint of TZNTBitBtnEx for one draw request over the client rectangle.
TBitBtnPaintPlan PlanBitBtnPaint(const TBitBtnLook& look, const TButtonRect& client);

// Glyph and caption inside r, moved by offset. The painter measures and draws; with an owner
// caption handler it is asked twice, first to size the caption (do_paint false), then to paint
// it at the laid-out place (do_paint true), and the button draws no caption of its own.
class TButtonContentPainter {
 public:
  virtual ~TButtonContentPainter() = default;
  virtual TButtonRect MeasureText(const std::string& caption, const TButtonRect& bounds,
                                  unsigned flags) = 0;
  virtual void DrawImage(TButtonPoint glyph_pos) = 0;
  virtual void DrawCaption(const TButtonRect& bounds) = 0;
  virtual bool HasOwnerCaption() = 0;
  virtual void OwnerCaption(TButtonRect& rect, bool do_paint) = 0;
};

struct TButtonContent {
  std::string Caption;
  unsigned TextFlags = 0;
  int Spacing = 4;
  int Margin = -1;
  TButtonLayout Layout = TButtonLayout::blGlyphLeft;
  std::optional<TGlyphSize> GlyphSize;
};

void PaintButtonContent(const TButtonContent& content, const TButtonRect& r, TButtonPoint offset,
                        TButtonContentPainter& painter);

// The face of an exclusive button as an 8 x 8 pattern of 0x00RRGGBB pixels, in the row order
// of a bottom-up bitmap: highlight where x and y are both even or both odd, face elsewhere.
inline constexpr int kDitherSize = 8;
std::array<std::uint32_t, kDitherSize * kDitherSize> DitherPattern(std::uint32_t highlight,
                                                                   std::uint32_t face);

}  // namespace kv
