// Where an enhanced button puts its glyph and its caption, and how it draws the caption: the
// geometry of LayoutGlyphAndText with the text measured through a callback, and the text draws
// of DrawButtonCaption as a list. Plain arithmetic; the Win32 buttons only carry it out.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/ScreenRect.h"

namespace kv {

enum class TButtonState { bsUp = 0, bsDisabled = 1, bsDown = 2, bsExclusive = 3 };
enum class TButtonLayout { blGlyphLeft = 0, blGlyphRight = 1, blGlyphTop = 2, blGlyphBottom = 3 };
enum class TButtonStyle { bsAutoDetect, bsWin31, bsNew };

struct TButtonPoint {
  int X = 0;
  int Y = 0;
  bool operator==(const TButtonPoint&) const = default;
};

// Text-drawing flags of the platform that the layout and the caption use.
inline constexpr unsigned kTextCenter = 0x1;
inline constexpr unsigned kTextRight = 0x2;
inline constexpr unsigned kTextVCenter = 0x4;
inline constexpr unsigned kTextCalcRect = 0x400;
inline constexpr unsigned kTextRtlReading = 0x20000;

// The reading-order flags of a control: right-to-left reading adds right alignment.
unsigned ReadingOrderTextFlags(bool right_to_left);

// Measures caption inside bounds with the platform's text drawing (flags include kTextCalcRect)
// and returns the rectangle the text needs.
using TMeasureButtonText =
    std::function<ScreenRect(const std::string& caption, const ScreenRect& bounds, unsigned flags)>;

struct TGlyphSize {
  int Width = 0;
  int Height = 0;
};

// glyph_size is the image size of the list when the button has one, even when its image index is
// invalid (the glyph's space is kept); empty without a list. With use_given_text the size of
// text_bounds as passed in is the text size and measure is not called. On return text_bounds is
// the caption's place and glyph_pos the glyph's top-left corner. Margin and spacing -1 mean
// "computed"; divisions truncate toward zero.
void LayoutGlyphAndText(const ScreenRect& client, TButtonPoint offset, bool use_given_text,
                        unsigned text_flags, ScreenRect& text_bounds, TButtonPoint& glyph_pos,
                        int spacing, int margin, TButtonLayout layout, const std::string& caption,
                        std::optional<TGlyphSize> glyph_size, const TMeasureButtonText& measure);

// The glyph and caption properties of both buttons with their defaults. A setter returns true
// when the stored value changed, and the button then repaints. Margin takes only -1 (centred) or
// more; Spacing takes any value (-1: computed).
class TButtonGlyphProperties {
 public:
  int ImageIndex() const { return image_index_; }
  TButtonLayout Layout() const { return layout_; }
  int Spacing() const { return spacing_; }
  int Margin() const { return margin_; }
  bool SetImageIndex(int value);
  bool SetLayout(TButtonLayout value);
  bool SetSpacing(int value);
  bool SetMargin(int value);

 private:
  int image_index_ = -1;
  TButtonLayout layout_ = TButtonLayout::blGlyphLeft;
  int spacing_ = 4;
  int margin_ = -1;
};

enum class TCaptionColour {
  kFont,             // the canvas font's colour
  kButtonHighlight,  // system colour of button highlights
  kButtonShadow,     // system colour of button shadows
  kGrayText,         // system colour of grey text
};

struct TCaptionDraw {
  ScreenRect Bounds;
  TCaptionColour Colour = TCaptionColour::kFont;
  unsigned Flags = 0;
  bool operator==(const TCaptionDraw&) const = default;
};

// The text draws of a caption, in order, each with a clear brush and centred. Classic look:
// a disabled caption is embossed, highlight at (+1, +1) first and then shadow in place. Visual
// styles: one draw, in grey text colour when disabled. Nothing for an empty caption.
std::vector<TCaptionDraw> PlanButtonCaption(bool caption_empty, const ScreenRect& bounds,
                                            TButtonState state, unsigned text_flags, bool themed);

// What DrawButtonImage needs to know of an image list: its image count and size.
struct TImageListFacts {
  int Count = 0;
  int Width = 0;
  int Height = 0;
};

enum class TGlyphList { kNone, kImages, kHotImages };

struct TGlyphDraw {
  TGlyphList From = TGlyphList::kNone;  // kNone: nothing is drawn
  bool TransparentStyle = false;        // else the normal drawing style
  bool Enabled = true;                  // a disabled draw shows the disabled rendering
  bool operator==(const TGlyphDraw&) const = default;
};

// DrawButtonImage's decision. images is empty when the button has no list; hot_images holds the
// hot companion only when the list is an in-house list that has one. The hot companion is used
// only when it matches the list in count, width and height.
TGlyphDraw PlanButtonImage(std::optional<TImageListFacts> images,
                           std::optional<TImageListFacts> hot_images, int image_index,
                           TButtonState state, bool hot, bool transparent);

// True when typed (one character, UTF-8) is the accelerator of caption: the character after a
// single '&' ("&&" is a literal ampersand), ASCII letters compared without regard to case.
bool IsCaptionAccelerator(const std::string& caption, const std::string& typed);

}  // namespace kv
