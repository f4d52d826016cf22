#include "ui/ButtonPaintPlan.h"

namespace kv {

namespace {

int ToolbarState(const TSpeedButtonLook& look) {
  switch (look.State) {
    case TButtonState::bsDisabled:
      return kToolDisabled;
    case TButtonState::bsDown:
      return kToolPressed;
    case TButtonState::bsExclusive:
      return look.IsHot ? kToolHotChecked : kToolChecked;
    case TButtonState::bsUp:
      break;
  }
  return look.IsHot ? kToolHot : kToolNormal;
}

int PushButtonState(const TSpeedButtonLook& look) {
  switch (look.State) {
    case TButtonState::bsDisabled:
      return kPushDisabled;
    case TButtonState::bsDown:
    case TButtonState::bsExclusive:
      return kPushPressed;
    case TButtonState::bsUp:
      break;
  }
  return look.IsHot ? kPushHot : kPushNormal;
}

}  // namespace

TSpeedButtonPaintPlan PlanSpeedButtonPaint(const TSpeedButtonLook& look) {
  TSpeedButtonPaintPlan plan;
  if (look.Themed && !look.Designing) {
    // The element itself shows the pressed look: no shift of glyph and caption.
    plan.EraseParent = true;
    if (look.Flat) {
      plan.ThemeClass = TThemeClass::kToolbar;
      plan.ThemePart = kThemeToolbarButton;
      plan.ThemeState = ToolbarState(look);
    } else {
      plan.ThemeClass = TThemeClass::kButton;
      plan.ThemePart = kThemePushButton;
      plan.ThemeState = PushButtonState(look);
    }
    plan.GlyphHot = look.IsHot;
    plan.GlyphTransparent = true;
    return plan;
  }

  const bool pressed =
      look.State == TButtonState::bsDown || look.State == TButtonState::bsExclusive;
  if (look.Flat) {
    if (pressed || (look.IsHot && look.State != TButtonState::bsDisabled) || look.Designing) {
      plan.Edge = true;
      plan.EdgeKind = pressed ? kEdgeSunkenOuter : kEdgeRaisedInner;
      plan.EdgeFlags = kEdgeRect | (look.Transparent ? 0 : kEdgeMiddle);
    } else {
      plan.FillFace = !look.Transparent;
    }
    plan.Inset = 1;
  } else {
    plan.PushFrame = true;
    plan.FrameFlags = kFramePush | kFrameAdjustRect | (pressed ? kFramePushed : 0);
    plan.Inset = kPushFrameWidth;
  }
  if (pressed) {
    plan.Dither = look.State == TButtonState::bsExclusive && !(look.Flat && look.IsHot);
    plan.Offset = {1, 1};
  }
  plan.GlyphHot = look.IsHot && look.Flat;
  plan.GlyphTransparent = look.Transparent;
  return plan;
}

TBitBtnPaintPlan PlanBitBtnPaint(const TBitBtnLook& look, const TButtonRect& client) {
  TBitBtnPaintPlan plan;
  plan.State = !look.Enabled  ? TButtonState::bsDisabled
               : look.Pressed ? TButtonState::bsDown
                              : TButtonState::bsUp;
  if (look.Themed) {
    if (!look.Enabled)
      plan.ThemeState = kPushDisabled;
    else if (look.Pressed)
      plan.ThemeState = kPushPressed;
    else if (look.IsHot)
      plan.ThemeState = kPushHot;
    else if (look.ShowsDefaultFrame || look.Focused)
      plan.ThemeState = kPushDefaulted;
    else
      plan.ThemeState = kPushNormal;
    plan.ContentRect = client;
    plan.GlyphHot = look.IsHot;
    plan.FocusRectangle = look.ShowsDefaultFrame && look.Focused;
    return plan;
  }

  TButtonRect r = client;
  if (look.ShowsDefaultFrame || look.Focused) {
    plan.DefaultFrame = true;
    plan.DefaultFrameRect = r;
    r = r.Shrunk(1);
  }
  if (look.Pressed) {
    plan.PressedFace = true;
    plan.PressedFaceRect = r;
    r = r.Shrunk(1);
  } else {
    plan.PushFrame = true;
    plan.PushFrameRect = r;
    plan.FrameFlags = kFramePush | kFrameAdjustRect | (look.ItemDisabled ? kFrameInactive : 0);
    r = r.Shrunk(kPushFrameWidth);
  }
  if (look.ShowsDefaultFrame)
    r = client.Shrunk(1);
  if (look.Pressed)
    r = r.Moved(1, 1);
  plan.ContentRect = r;
  plan.GlyphHot = false;
  if (look.ShowsDefaultFrame && look.Focused) {
    plan.FocusRectangle = true;
    plan.FocusRect = client.Shrunk(4);
  }
  return plan;
}

void PaintButtonContent(const TButtonContent& content, const TButtonRect& r, TButtonPoint offset,
                        TButtonContentPainter& painter) {
  TButtonPoint glyph_pos;
  const auto measure = [&painter](const std::string& caption, const TButtonRect& bounds,
                                  unsigned flags) {
    return painter.MeasureText(caption, bounds, flags);
  };
  if (!painter.HasOwnerCaption()) {
    TButtonRect text_bounds;
    LayoutGlyphAndText(r, offset, false, content.TextFlags, text_bounds, glyph_pos, content.Spacing,
                       content.Margin, content.Layout, content.Caption, content.GlyphSize, measure);
    painter.DrawImage(glyph_pos);
    painter.DrawCaption(text_bounds);
    return;
  }
  // The owner sizes its caption first, then paints it where the layout put it.
  TButtonRect text_rect{0, 0, r.Width(), r.Height()};
  painter.OwnerCaption(text_rect, false);
  LayoutGlyphAndText(r, offset, true, content.TextFlags, text_rect, glyph_pos, content.Spacing,
                     content.Margin, content.Layout, content.Caption, content.GlyphSize, measure);
  painter.DrawImage(glyph_pos);
  painter.OwnerCaption(text_rect, true);
}

std::array<std::uint32_t, kDitherSize * kDitherSize> DitherPattern(std::uint32_t highlight,
                                                                   std::uint32_t face) {
  std::array<std::uint32_t, kDitherSize * kDitherSize> pattern{};
  for (int row = 0; row < kDitherSize; ++row) {
    const int y = kDitherSize - 1 - row;
    for (int x = 0; x < kDitherSize; ++x)
      pattern[static_cast<std::size_t>(row * kDitherSize + x)] =
          (x + y) % 2 == 0 ? highlight : face;
  }
  return pattern;
}

}  // namespace kv
