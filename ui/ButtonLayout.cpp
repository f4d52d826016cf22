#include "ui/ButtonLayout.h"

#include <cstddef>

namespace kv {

unsigned ReadingOrderTextFlags(bool right_to_left) {
  return right_to_left ? kTextRight | kTextRtlReading : 0;
}

void LayoutGlyphAndText(const ScreenRect& client, TButtonPoint offset, bool use_given_text,
                        unsigned text_flags, ScreenRect& text_bounds, TButtonPoint& glyph_pos,
                        int spacing, int margin, TButtonLayout layout, const std::string& caption,
                        std::optional<TGlyphSize> glyph_size, const TMeasureButtonText& measure) {
  // Right-aligned (right-to-left) text puts the glyph on the other side.
  if ((text_flags & kTextRight) != 0) {
    if (layout == TButtonLayout::blGlyphLeft)
      layout = TButtonLayout::blGlyphRight;
    else if (layout == TButtonLayout::blGlyphRight)
      layout = TButtonLayout::blGlyphLeft;
  }
  const int client_width = client.Width();
  const int client_height = client.Height();
  const int glyph_width = glyph_size ? glyph_size->Width : 0;
  const int glyph_height = glyph_size ? glyph_size->Height : 0;

  if (!use_given_text) {
    if (caption.empty())
      text_bounds = {};
    else
      text_bounds = measure(caption, {0, 0, client_width, 0}, kTextCalcRect | text_flags);
  }
  const int text_width = text_bounds.Width();
  const int text_height = text_bounds.Height();

  const bool horizontal =
      layout == TButtonLayout::blGlyphLeft || layout == TButtonLayout::blGlyphRight;
  TButtonPoint glyph;
  TButtonPoint text;
  // Across the axis both are centred.
  if (horizontal) {
    glyph.Y = (client_height - glyph_height + 1) / 2;
    text.Y = (client_height - text_height + 1) / 2;
  } else {
    glyph.X = (client_width - glyph_width + 1) / 2;
    text.X = (client_width - text_width + 1) / 2;
  }

  if (text_width == 0 || glyph_width == 0)
    spacing = 0;
  const int client_along = horizontal ? client_width : client_height;
  const int glyph_along = horizontal ? glyph_width : glyph_height;
  const int text_along = horizontal ? text_width : text_height;
  if (margin == -1 && spacing == -1) {
    margin = (client_along - (glyph_along + text_along)) / 3;
    spacing = margin;
  } else if (margin == -1) {
    margin = (client_along - (glyph_along + spacing + text_along) + 1) / 2;
  } else if (spacing == -1) {
    spacing = (client_along - (margin + glyph_along) - text_along) / 2;
  }

  switch (layout) {
    case TButtonLayout::blGlyphLeft:
      glyph.X = margin;
      text.X = glyph.X + glyph_width + spacing;
      break;
    case TButtonLayout::blGlyphRight:
      glyph.X = client_width - margin - glyph_width;
      text.X = glyph.X - spacing - text_width;
      break;
    case TButtonLayout::blGlyphTop:
      glyph.Y = margin;
      text.Y = glyph.Y + glyph_height + spacing;
      break;
    case TButtonLayout::blGlyphBottom:
      glyph.Y = client_height - margin - glyph_height;
      text.Y = glyph.Y - spacing - text_height;
      break;
  }

  const int dx = client.Left + offset.X;
  const int dy = client.Top + offset.Y;
  glyph_pos = {glyph.X + dx, glyph.Y + dy};
  text_bounds = text_bounds.Moved(text.X + dx, text.Y + dy);
}

namespace {

template <typename T>
bool StoreChanged(T& field, T value) {
  if (field == value)
    return false;
  field = value;
  return true;
}

}  // namespace

bool TButtonGlyphProperties::SetImageIndex(int value) {
  return StoreChanged(image_index_, value);
}

bool TButtonGlyphProperties::SetLayout(TButtonLayout value) {
  return StoreChanged(layout_, value);
}

bool TButtonGlyphProperties::SetSpacing(int value) {
  return StoreChanged(spacing_, value);
}

bool TButtonGlyphProperties::SetMargin(int value) {
  return value >= -1 && StoreChanged(margin_, value);
}

std::vector<TCaptionDraw> PlanButtonCaption(bool caption_empty, const ScreenRect& bounds,
                                            TButtonState state, unsigned text_flags, bool themed) {
  if (caption_empty)
    return {};
  const unsigned flags = text_flags | kTextCenter | kTextVCenter;
  const bool disabled = state == TButtonState::bsDisabled;
  if (themed)
    return {{bounds, disabled ? TCaptionColour::kGrayText : TCaptionColour::kFont, flags}};
  if (disabled) {
    return {{bounds.Moved(1, 1), TCaptionColour::kButtonHighlight, flags},
            {bounds, TCaptionColour::kButtonShadow, flags}};
  }
  return {{bounds, TCaptionColour::kFont, flags}};
}

TGlyphDraw PlanButtonImage(std::optional<TImageListFacts> images,
                           std::optional<TImageListFacts> hot_images, int image_index,
                           TButtonState state, bool hot, bool transparent) {
  if (!images || image_index < 0 || image_index >= images->Count || images->Width <= 0 ||
      images->Height <= 0) {
    return {};
  }
  const bool disabled = state == TButtonState::bsDisabled;
  const bool hot_matches = hot_images && hot_images->Count == images->Count &&
                           hot_images->Width == images->Width &&
                           hot_images->Height == images->Height;
  TGlyphDraw draw;
  draw.From = hot && !disabled && hot_matches ? TGlyphList::kHotImages : TGlyphList::kImages;
  draw.TransparentStyle = transparent || state == TButtonState::bsExclusive;
  draw.Enabled = !disabled;
  return draw;
}

namespace {

char FoldAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Length of the UTF-8 sequence that starts with lead (1 for a stray continuation byte).
std::size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0)
    return 4;
  if (lead >= 0xE0)
    return 3;
  if (lead >= 0xC0)
    return 2;
  return 1;
}

}  // namespace

bool IsCaptionAccelerator(const std::string& caption, const std::string& typed) {
  if (typed.empty())
    return false;
  for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&')
      continue;
    ++i;  // the character after the ampersand
    if (caption[i] == '&')
      continue;  // "&&" is a literal ampersand
    const std::size_t length = SequenceLength(static_cast<unsigned char>(caption[i]));
    const std::string marked = caption.substr(i, length);
    if (marked.size() != typed.size())
      return false;
    for (std::size_t k = 0; k < marked.size(); ++k) {
      if (FoldAscii(marked[k]) != FoldAscii(typed[k]))
        return false;
    }
    return true;
  }
  return false;
}

}  // namespace kv
