#include "ui/ZNTButtonsEx_win32.h"

#include <optional>
#include <vector>

#include "base/WinText_win32.h"

namespace kv {

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

namespace {

std::optional<TImageListFacts> Facts(const TImageList* list) {
  if (!list)
    return std::nullopt;
  return TImageListFacts{list->Count(), list->Width(), list->Height()};
}

COLORREF CaptionColour(TCaptionColour colour, COLORREF font_colour) {
  return colour == TCaptionColour::kFont
             ? font_colour
             : ::GetSysColor(colour == TCaptionColour::kButtonHighlight ? COLOR_BTNHIGHLIGHT
                             : colour == TCaptionColour::kButtonShadow  ? COLOR_BTNSHADOW
                                                                        : COLOR_GRAYTEXT);
}

// Draws image index of images at glyph_pos: from the hot companion when hot and it matches the
// list, disabled when state is disabled; nothing for an invalid index or an empty list.
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

// Draws caption (UTF-8) centred in bounds: embossed when disabled in the classic look, in grey
// text colour when disabled under visual styles.
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

// Glyph and caption on a device context, for PaintButtonContent.
class CanvasPainter final : public TButtonContentPainter {
 public:
  CanvasPainter(HDC dc, const TZNTGlyphButton& button, const TGlyphLook& look,
                const TOwnerCaption& owner_caption)
      : dc_(dc), button_(button), look_(look), owner_caption_(owner_caption) {}

  TButtonRect MeasureText(const std::string& caption, const TButtonRect& bounds,
                          unsigned flags) override {
    const std::wstring text = Utf8ToWide(caption);
    RECT rect = ToRect(bounds);
    ::DrawTextW(dc_, text.c_str(), static_cast<int>(text.size()), &rect, flags);
    return FromRect(rect);
  }
  void DrawImage(TButtonPoint glyph_pos) override {
    DrawButtonImage(dc_, button_.Images(), button_.ImageIndex(), look_.State, look_.Hot,
                    look_.Transparent, glyph_pos);
  }
  void DrawCaption(const TButtonRect& bounds) override {
    DrawButtonCaption(dc_, button_.Caption(), bounds, look_.State, button_.TextFlags(),
                      look_.Themed);
  }
  bool HasOwnerCaption() override { return static_cast<bool>(owner_caption_); }
  void OwnerCaption(TButtonRect& rect, bool do_paint) override { owner_caption_(rect, do_paint); }

 private:
  HDC dc_;
  const TZNTGlyphButton& button_;
  const TGlyphLook& look_;
  const TOwnerCaption& owner_caption_;
};

}  // namespace

void TZNTGlyphButton::PaintContent(HDC dc, const TButtonRect& bounds, TButtonPoint offset,
                                   const TGlyphLook& look,
                                   const TOwnerCaption& owner_caption) const {
  CanvasPainter painter(dc, *this, look, owner_caption);
  PaintButtonContent(Content(), bounds, offset, painter);
}

}  // namespace kv
