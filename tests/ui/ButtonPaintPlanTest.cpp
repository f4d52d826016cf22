#include "ui/ButtonPaintPlan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kv {
namespace {

using S = TButtonState;

// Records the calls of one paint of glyph and caption.
struct RecordingPainter : TButtonContentPainter {
  ScreenRect MeasureText(const std::string& caption, const ScreenRect& bounds, unsigned) override {
    calls.push_back("measure");
    return {bounds.Left, bounds.Top, bounds.Left + 8 * static_cast<int>(caption.size()),
            bounds.Top + 13};
  }
  void DrawImage(TButtonPoint glyph_pos) override {
    glyph = glyph_pos;
    calls.push_back("image");
  }
  void DrawCaption(const ScreenRect& bounds) override {
    caption = bounds;
    calls.push_back("caption");
  }
  bool HasOwnerCaption() override { return owner_caption; }
  void OwnerCaption(ScreenRect& rect, bool do_paint) override {
    if (!do_paint) {
      calls.push_back("owner size " + std::to_string(rect.Width()) + "x" +
                      std::to_string(rect.Height()));
      rect.Right = rect.Left + 50;
      rect.Bottom = rect.Top + 13;
    } else {
      calls.push_back("owner paint");
      caption = rect;
    }
  }

  bool owner_caption = false;
  std::vector<std::string> calls;
  TButtonPoint glyph;
  ScreenRect caption;
};

// The 16 x 16 glyph of a 23 x 22 speed button without caption, in every look and state.
TEST(ButtonPaintPlanTest, SpeedButtonGlyphPosition) {
  struct Row {
    bool flat, themed;
    S state;
    TButtonPoint glyph;
  };
  const Row rows[] = {
      {false, false, S::bsUp, {4, 3}},        {true, false, S::bsUp, {4, 3}},
      {false, false, S::bsDisabled, {4, 3}},  {true, false, S::bsDisabled, {4, 3}},
      {false, false, S::bsDown, {5, 4}},      {true, false, S::bsDown, {5, 4}},
      {false, false, S::bsExclusive, {5, 4}}, {true, false, S::bsExclusive, {5, 4}},
  };
  for (const Row& row : rows) {
    TSpeedButtonLook look;
    look.Flat = row.flat;
    look.State = row.state;
    const TSpeedButtonPaintPlan plan = PlanSpeedButtonPaint(look);
    RecordingPainter painter;
    TButtonContent content;
    content.GlyphSize = TGlyphSize{16, 16};
    PaintButtonContent(content, ScreenRect{0, 0, 23, 22}.Shrunk(plan.Inset), plan.Offset, painter);
    EXPECT_EQ(painter.glyph, row.glyph) << row.flat << " " << static_cast<int>(row.state);
    EXPECT_EQ(painter.calls, (std::vector<std::string>{"image", "caption"}));
  }
  // Under visual styles the element shows the pressed look: no shift.
  for (S state : {S::bsUp, S::bsDown, S::bsExclusive}) {
    TSpeedButtonLook look;
    look.Themed = true;
    look.State = state;
    EXPECT_EQ(PlanSpeedButtonPaint(look).Offset, (TButtonPoint{0, 0}));
  }
}

TEST(ButtonPaintPlanTest, SpeedButtonClassicLook) {
  struct Row {
    const char* what;
    bool flat, hot, transparent, designing;
    S state;
    bool edge;
    unsigned edge_kind, edge_flags;
    bool fill, push_frame;
    unsigned frame_flags;
    bool dither, glyph_hot;
  };
  constexpr unsigned kPush = kFramePush | kFrameAdjustRect;
  const Row rows[] = {
      {"flat up", true, false, true, false, S::bsUp, false, 0, 0, false, false, 0, false, false},
      {"flat up opaque", true, false, false, false, S::bsUp, false, 0, 0, true, false, 0, false,
       false},
      {"flat hot", true, true, true, false, S::bsUp, true, kEdgeRaisedInner, kEdgeRect, false,
       false, 0, false, true},
      {"flat hot opaque", true, true, false, false, S::bsUp, true, kEdgeRaisedInner,
       kEdgeRect | kEdgeMiddle, false, false, 0, false, true},
      {"flat hot disabled", true, true, true, false, S::bsDisabled, false, 0, 0, false, false, 0,
       false, true},
      {"flat designing", true, false, true, true, S::bsUp, true, kEdgeRaisedInner, kEdgeRect, false,
       false, 0, false, false},
      {"flat down", true, false, true, false, S::bsDown, true, kEdgeSunkenOuter, kEdgeRect, false,
       false, 0, false, false},
      {"flat exclusive", true, false, true, false, S::bsExclusive, true, kEdgeSunkenOuter,
       kEdgeRect, false, false, 0, true, false},
      {"flat exclusive hot: no pattern", true, true, true, false, S::bsExclusive, true,
       kEdgeSunkenOuter, kEdgeRect, false, false, 0, false, true},
      {"raised up", false, false, true, false, S::bsUp, false, 0, 0, false, true, kPush, false,
       false},
      // In the classic look a raised button never looks hot.
      {"raised hot", false, true, true, false, S::bsUp, false, 0, 0, false, true, kPush, false,
       false},
      {"raised down", false, false, true, false, S::bsDown, false, 0, 0, false, true,
       kPush | kFramePushed, false, false},
      {"raised exclusive hot", false, true, false, false, S::bsExclusive, false, 0, 0, false, true,
       kPush | kFramePushed, true, false},
      {"themed but designing", true, true, true, true, S::bsUp, true, kEdgeRaisedInner, kEdgeRect,
       false, false, 0, false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TSpeedButtonLook look;
    look.Flat = row.flat;
    look.IsHot = row.hot;
    look.Transparent = row.transparent;
    look.Designing = row.designing;
    look.Themed = row.designing;  // styles are active, but a designed control looks classic
    look.State = row.state;
    const TSpeedButtonPaintPlan plan = PlanSpeedButtonPaint(look);
    EXPECT_EQ(plan.Edge, row.edge);
    EXPECT_EQ(plan.EdgeKind, row.edge_kind);
    EXPECT_EQ(plan.EdgeFlags, row.edge_flags);
    EXPECT_EQ(plan.FillFace, row.fill);
    EXPECT_EQ(plan.PushFrame, row.push_frame);
    EXPECT_EQ(plan.FrameFlags, row.frame_flags);
    EXPECT_EQ(plan.Dither, row.dither);
    EXPECT_EQ(plan.GlyphHot, row.glyph_hot);
    EXPECT_EQ(plan.GlyphTransparent, row.transparent);
    EXPECT_FALSE(plan.EraseParent);
  }
}

TEST(ButtonPaintPlanTest, SpeedButtonThemedLook) {
  // Under visual styles the element draws the face over the parent's background, the glyph is
  // always drawn transparent, and the hot glyph shows for raised buttons too.
  struct Row {
    bool flat, hot;
    S state;
    TThemeClass theme_class;
    int theme_state;
  };
  const Row rows[] = {
      {true, true, S::bsExclusive, TThemeClass::kToolbar, kToolHotChecked},
      {true, false, S::bsExclusive, TThemeClass::kToolbar, kToolChecked},
      {false, true, S::bsExclusive, TThemeClass::kButton, kPushPressed},
      {false, true, S::bsUp, TThemeClass::kButton, kPushHot},
  };
  for (const Row& row : rows) {
    TSpeedButtonLook look;
    look.Themed = true;
    look.Flat = row.flat;
    look.IsHot = row.hot;
    look.Transparent = false;
    look.State = row.state;
    const TSpeedButtonPaintPlan plan = PlanSpeedButtonPaint(look);
    EXPECT_TRUE(plan.EraseParent);
    EXPECT_EQ(plan.ThemeClass, row.theme_class);
    EXPECT_EQ(plan.ThemeState, row.theme_state);
    EXPECT_EQ(plan.GlyphHot, row.hot);
    EXPECT_TRUE(plan.GlyphTransparent);
    EXPECT_FALSE(plan.Edge || plan.PushFrame || plan.Dither || plan.FillFace);
  }
}

TEST(ButtonPaintPlanTest, BitBtnClassicLook) {
  const ScreenRect client{0, 0, 168, 25};
  struct Row {
    const char* what;
    TBitBtnLook look;
    TBitBtnPaintPlan plan;
  };
  const unsigned push = kFramePush | kFrameAdjustRect;
  auto plan = [](S state, bool default_frame, bool pressed, bool frame, unsigned flags,
                 ScreenRect content, bool focus) {
    TBitBtnPaintPlan p;
    p.State = state;
    p.DefaultFrame = default_frame;
    p.PressedFace = pressed;
    p.PushFrame = frame;
    p.FrameFlags = flags;
    p.ContentRect = content;
    p.FocusRectangle = focus;
    return p;
  };
  const Row rows[] = {
      {"up", {}, plan(S::bsUp, false, false, true, push, {2, 2, 166, 23}, false)},
      {"pressed", {true, true}, plan(S::bsDown, false, true, false, 0, {2, 2, 168, 25}, false)},
      {"focused",
       {true, false, true},
       plan(S::bsUp, true, false, true, push, {3, 3, 165, 22}, false)},
      {"default, not focused",
       {true, false, false, false, true},
       plan(S::bsUp, true, false, true, push, {1, 1, 167, 24}, false)},
      {"default and focused",
       {true, false, true, false, true},
       plan(S::bsUp, true, false, true, push, {1, 1, 167, 24}, true)},
      {"default, pressed, focused",
       {true, true, true, false, true},
       plan(S::bsDown, true, true, false, 0, {2, 2, 168, 25}, true)},
      {"disabled",
       {false, false, false, true},
       plan(S::bsDisabled, false, false, true, push | kFrameInactive, {2, 2, 166, 23}, false)},
      {"hot never shows in the classic look",
       {true, false, false, false, false, true},
       plan(S::bsUp, false, false, true, push, {2, 2, 166, 23}, false)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const TBitBtnPaintPlan got = PlanBitBtnPaint(row.look, client);
    EXPECT_EQ(got.State, row.plan.State);
    EXPECT_EQ(got.DefaultFrame, row.plan.DefaultFrame);
    if (got.DefaultFrame) {
      EXPECT_EQ(got.DefaultFrameRect, client);
    }
    EXPECT_EQ(got.PressedFace, row.plan.PressedFace);
    EXPECT_EQ(got.PushFrame, row.plan.PushFrame);
    EXPECT_EQ(got.FrameFlags, row.plan.FrameFlags);
    EXPECT_EQ(got.ContentRect, row.plan.ContentRect);
    EXPECT_FALSE(got.GlyphHot);
    EXPECT_EQ(got.FocusRectangle, row.plan.FocusRectangle);
    if (got.FocusRectangle) {
      EXPECT_EQ(got.FocusRect, (ScreenRect{4, 4, 164, 21}));
    }
  }
}

TEST(ButtonPaintPlanTest, BitBtnThemedLook) {
  struct Row {
    TBitBtnLook look;
    int theme_state;
    bool focus;
  };
  const Row rows[] = {
      {{false, true, true, true, true, true, true}, kPushDisabled, true},
      {{true, true, false, false, false, true, true}, kPushPressed, false},
      {{true, false, true, false, false, true, true}, kPushHot, false},
      {{true, false, true, false, false, false, true}, kPushDefaulted, false},
      {{true, false, false, false, true, false, true}, kPushDefaulted, false},
      {{true, false, false, false, false, false, true}, kPushNormal, false},
  };
  for (const Row& row : rows) {
    const TBitBtnPaintPlan plan = PlanBitBtnPaint(row.look, {0, 0, 168, 25});
    EXPECT_EQ(plan.ThemeState, row.theme_state);
    EXPECT_EQ(plan.FocusRectangle, row.focus);
    EXPECT_EQ(plan.GlyphHot, row.look.IsHot);
    EXPECT_FALSE(plan.DefaultFrame || plan.PressedFace || plan.PushFrame);
  }
}

TEST(ButtonPaintPlanTest, OwnerCaptionIsAskedTwice) {
  TButtonContent content;
  content.Caption = "Store to new SETUP";
  content.GlyphSize = TGlyphSize{16, 16};
  const ScreenRect r{2, 2, 166, 23};  // 164 x 21

  RecordingPainter own;
  PaintButtonContent(content, r, {}, own);
  EXPECT_EQ(own.calls, (std::vector<std::string>{"measure", "image", "caption"}));
  // 18 characters of 8 pixels: margin (164 - 164 + 1) / 2 = 0.
  EXPECT_EQ(own.glyph, (TButtonPoint{2, 5}));
  EXPECT_EQ(own.caption, (ScreenRect{22, 6, 166, 19}));

  RecordingPainter owner;
  owner.owner_caption = true;
  PaintButtonContent(content, r, {}, owner);
  EXPECT_EQ(owner.calls, (std::vector<std::string>{"owner size 164x21", "image", "owner paint"}));
  // The owner's 50 x 13: margin (164 - 70 + 1) / 2 = 47.
  EXPECT_EQ(owner.glyph, (TButtonPoint{49, 5}));
  EXPECT_EQ(owner.caption, (ScreenRect{69, 6, 119, 19}));
}

}  // namespace
}  // namespace kv
