// A test program, not shipped: shows TZNTSpeedButtonEx and TZNTBitBtnEx in every state on a
// window in the top-left corner of the screen, checks the pixels of captures of the screen and
// the behaviour only real windows show, and writes the captures as bitmaps:
//   kv_button_gallery OUTPUT_PREFIX
// OUTPUT_PREFIX-states.bmp shows every lasting state, the hot look and the references;
// OUTPUT_PREFIX-pressed.bmp the same with the second speed button held down. Prints one line
// per check ("ok ..." or "FAIL ...") and exits 0 when every check passed. button_gallery.sh runs
// it under Wine on a virtual screen of 16 or 24 bits with visual styles on or off.
#include <windows.h>

#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/support/GuiObjects_win32.h"
#include "ui/ZNTButtonsEx_win32.h"

// The portable paint plans use the system's own numbers.
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
}  // namespace kv

namespace {

using kv::GdiObjectCount;
using kv::TButtonState;
using kv::TZNTBitBtnEx;
using kv::TZNTSpeedButtonEx;

int failures = 0;

void Check(bool passed, const std::string& what) {
  std::printf("%s %s\n", passed ? "ok" : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!passed)
    ++failures;
}

constexpr COLORREF kFace = RGB(0xC0, 0xC0, 0xC0);
constexpr COLORREF kHighlight = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kShadow = RGB(0x80, 0x80, 0x80);
constexpr wchar_t kGalleryClass[] = L"TButtonGallery";
constexpr int kGalleryWidth = 640;
constexpr int kGalleryHeight = 240;
constexpr int kGlyphSize = 16;
constexpr int kSpeedRowTop = 10;
constexpr int kSpeedPitch = 36;
constexpr int kCaptionRowTop = 50;
constexpr int kBitBtnRowTop = 110;
constexpr int kReferenceTop = 190;
constexpr int kReferenceLeft[] = {10, 40, 70};  // normal, hot, disabled

int tolerance = 0;  // per colour channel: 0 on a 24-bit screen, 8 on a 16-bit one

bool Near(COLORREF a, COLORREF b) {
  return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
         std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
         std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

bool IsButtonColour(COLORREF colour) {
  return Near(colour, kFace) || Near(colour, kHighlight) || Near(colour, kShadow);
}

// A capture of the top-left part of the screen, where the gallery is.
struct Capture {
  std::vector<COLORREF> pixels;
  COLORREF At(int x, int y) const {
    if (x < 0 || y < 0 || x >= kGalleryWidth || y >= kGalleryHeight)
      return CLR_INVALID;
    return pixels[static_cast<std::size_t>(y) * kGalleryWidth + static_cast<std::size_t>(x)];
  }
};

Capture CaptureScreen() {
  Capture capture;
  capture.pixels.assign(static_cast<std::size_t>(kGalleryWidth) * kGalleryHeight, 0);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = kGalleryWidth;
  info.bmiHeader.biHeight = -kGalleryHeight;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  const HDC screen = ::GetDC(nullptr);
  const HDC memory = ::CreateCompatibleDC(screen);
  void* bits = nullptr;
  const HBITMAP section = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (memory && section) {
    const HGDIOBJ old = ::SelectObject(memory, section);
    ::BitBlt(memory, 0, 0, kGalleryWidth, kGalleryHeight, screen, 0, 0, SRCCOPY);
    ::GdiFlush();
    const auto* source = static_cast<const std::uint32_t*>(bits);
    for (std::size_t i = 0; i < capture.pixels.size(); ++i) {
      const std::uint32_t p = source[i];  // 0x00RRGGBB
      capture.pixels[i] = RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    ::SelectObject(memory, old);
  }
  if (section)
    ::DeleteObject(section);
  if (memory)
    ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  return capture;
}

// A 24-bit bitmap file of the capture.
void SaveBitmap(const Capture& capture, const std::string& path) {
  const int row_bytes = (kGalleryWidth * 3 + 3) & ~3;
  const std::uint32_t image_bytes = static_cast<std::uint32_t>(row_bytes * kGalleryHeight);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + image_bytes;
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(header);
  header.biWidth = kGalleryWidth;
  header.biHeight = kGalleryHeight;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  header.biSizeImage = image_bytes;
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
  bytes.append(reinterpret_cast<const char*>(&header), sizeof(header));
  for (int y = kGalleryHeight - 1; y >= 0; --y) {
    std::string row(static_cast<std::size_t>(row_bytes), '\0');
    for (int x = 0; x < kGalleryWidth; ++x) {
      const COLORREF c = capture.At(x, y);
      row[static_cast<std::size_t>(x) * 3] = static_cast<char>(GetBValue(c));
      row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<char>(GetGValue(c));
      row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<char>(GetRValue(c));
    }
    bytes += row;
  }
  std::FILE* out = std::fopen(path.c_str(), "wb");
  Check(out && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size(),
        "screenshot " + path);
  if (out)
    std::fclose(out);
}

// The gallery's glyph: four opaque quadrants in colours no frame uses.
kv::TPixelImage GlyphImage() {
  kv::TPixelImage image(kGlyphSize, kGlyphSize);
  const COLORREF quadrants[] = {RGB(200, 40, 40), RGB(40, 160, 40), RGB(40, 40, 200),
                                RGB(220, 200, 40)};
  for (int y = 0; y < kGlyphSize; ++y) {
    for (int x = 0; x < kGlyphSize; ++x) {
      const COLORREF c = quadrants[(y < kGlyphSize / 2 ? 0 : 2) + (x < kGlyphSize / 2 ? 0 : 1)];
      const std::size_t at = static_cast<std::size_t>(y * kGlyphSize + x);
      image.pixels[at * 4] = GetBValue(c);
      image.pixels[at * 4 + 1] = GetGValue(c);
      image.pixels[at * 4 + 2] = GetRValue(c);
      image.pixels[at * 4 + 3] = 0xFF;
      image.mask[at] = 0;
    }
  }
  return image;
}

struct Gallery {
  HWND window = nullptr;
  HFONT font = nullptr;
  kv::TZNTComponent owner;
  kv::TZNTImageList* images = nullptr;
  std::vector<std::unique_ptr<TZNTSpeedButtonEx>> speed;    // no caption, row 1
  std::vector<std::unique_ptr<TZNTSpeedButtonEx>> caption;  // with caption, row 2
  std::vector<std::unique_ptr<TZNTBitBtnEx>> push;          // row 3
  std::vector<bool> owner_calls;                            // do_paint of each call
};

Gallery* gallery = nullptr;

LRESULT CALLBACK GalleryProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  LRESULT result = 0;
  if (kv::TZNTBitBtnEx::ReflectMessage(message, wparam, lparam, result))
    return result;
  switch (message) {
    case WM_GETFONT:
      return gallery ? reinterpret_cast<LRESULT>(gallery->font) : 0;
    case WM_PAINT: {
      PAINTSTRUCT paint{};
      const HDC dc = ::BeginPaint(window, &paint);
      if (gallery && gallery->images) {
        // The references: the list's image, its hot and its disabled look, onto the face.
        kv::TImageList* hot = gallery->images->HotImages();
        gallery->images->Draw(dc, kReferenceLeft[0], kReferenceTop, 0,
                              kv::TDrawingStyle::kTransparent);
        if (hot)
          hot->Draw(dc, kReferenceLeft[1], kReferenceTop, 0, kv::TDrawingStyle::kTransparent);
        gallery->images->Draw(dc, kReferenceLeft[2], kReferenceTop, 0,
                              kv::TDrawingStyle::kTransparent, kv::TImageType::kImage, false);
      }
      ::EndPaint(window, &paint);
      return 0;
    }
    default:
      return ::DefDlgProcW(window, message, wparam, lparam);
  }
}

// Dispatches the waiting messages (through the dialog manager, as a form does) and lets the
// display catch up.
void Pump(int rounds = 5) {
  for (int round = 0; round < rounds; ++round) {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (!::IsDialogMessageW(gallery->window, &message)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
      }
    }
    ::RedrawWindow(gallery->window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    ::GdiFlush();
    ::Sleep(60);
  }
}

LPARAM Point(int x, int y) {
  return MAKELPARAM(x, y);
}

void Press(HWND button, int x, int y, UINT down = WM_LBUTTONDOWN) {
  ::SendMessageW(button, down, MK_LBUTTON, Point(x, y));
  ::SendMessageW(button, WM_LBUTTONUP, 0, Point(x, y));
}

POINT Corner(HWND child) {
  RECT rect{};
  ::GetWindowRect(child, &rect);
  return {rect.left, rect.top};
}

struct Box {
  int left = 0, top = 0, right = -1, bottom = -1;  // inclusive; empty when right < left
  bool Empty() const { return right < left; }
  std::string Text() const {
    return Empty() ? "none"
                   : std::to_string(left) + "," + std::to_string(top) + " " +
                         std::to_string(right - left + 1) + "x" + std::to_string(bottom - top + 1);
  }
};

// The reference image of kind (0 normal, 1 hot, 2 disabled) from the capture.
std::vector<COLORREF> Reference(const Capture& capture, int kind) {
  std::vector<COLORREF> block;
  for (int y = 0; y < kGlyphSize; ++y) {
    for (int x = 0; x < kGlyphSize; ++x)
      block.push_back(capture.At(kReferenceLeft[kind] + x, kReferenceTop + y));
  }
  return block;
}

// The bounding box, relative to the button, of the pixels in its area whose colours occur in
// the reference and are no button colour.
Box GlyphBox(const Capture& capture, HWND button, const std::vector<COLORREF>& reference) {
  std::set<COLORREF> colours;
  for (COLORREF c : reference) {
    if (!IsButtonColour(c))
      colours.insert(c);
  }
  const POINT corner = Corner(button);
  RECT client{};
  ::GetClientRect(button, &client);
  Box box{client.right, client.bottom, -1, -1};
  for (int y = 0; y < client.bottom; ++y) {
    for (int x = 0; x < client.right; ++x) {
      if (!colours.count(capture.At(corner.x + x, corner.y + y)))
        continue;
      box.left = std::min(box.left, x);
      box.top = std::min(box.top, y);
      box.right = std::max(box.right, x);
      box.bottom = std::max(box.bottom, y);
    }
  }
  return box;
}

bool SameAsReference(const Capture& capture, HWND button, POINT glyph,
                     const std::vector<COLORREF>& reference) {
  const POINT corner = Corner(button);
  for (int y = 0; y < kGlyphSize; ++y) {
    for (int x = 0; x < kGlyphSize; ++x) {
      if (capture.At(corner.x + glyph.x + x, corner.y + glyph.y + y) !=
          reference[static_cast<std::size_t>(y * kGlyphSize + x)]) {
        return false;
      }
    }
  }
  return true;
}

bool IsDisabledGlyph(const Capture& capture, HWND button, POINT glyph, int bits) {
  const POINT corner = Corner(button);
  for (int y = 0; y < kGlyphSize; ++y) {
    for (int x = 0; x < kGlyphSize; ++x) {
      const COLORREF c = capture.At(corner.x + glyph.x + x, corner.y + glyph.y + y);
      const bool grey = GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c) &&
                        GetRValue(c) >= 88 && GetRValue(c) <= 215;
      if (bits >= 24 ? !grey : !IsButtonColour(c))
        return false;
    }
  }
  return true;
}

struct SpeedCase {
  const char* name;
  bool flat;
  int group;
  bool enabled;
  int reference;  // 0 normal, 1 hot, 2 disabled
};

const SpeedCase kSpeedCases[] = {
    {"raised up", false, 0, true, 0},        {"flat up", true, 0, true, 0},
    {"raised exclusive", false, 1, true, 0}, {"flat exclusive", true, 2, true, 0},
    {"raised disabled", false, 0, false, 2}, {"flat disabled", true, 0, false, 2},
    {"flat hot", true, 0, true, 1},          {"raised, group 1", false, 1, true, 0},
};

void BuildGallery(HINSTANCE instance) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = GalleryProc;
  window_class.cbWndExtra = DLGWINDOWEXTRA;  // the dialog manager moves the focus on Tab
  window_class.hInstance = instance;
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
  window_class.lpszClassName = kGalleryClass;
  ::RegisterClassExW(&window_class);
  gallery->font = ::CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                                DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
  gallery->window =
      ::CreateWindowExW(WS_EX_CONTROLPARENT, kGalleryClass, L"Buttons", WS_POPUP | WS_VISIBLE, 0, 0,
                        kGalleryWidth, kGalleryHeight, nullptr, nullptr, instance, nullptr);

  auto images = std::make_unique<kv::TZNTImageList>(&gallery->owner);
  images->SetName("GalleryImages");
  images->InitializeImages();
  images->Native().Append(GlyphImage());
  images->Change();
  images->CreateHotImages();
  images->CreateDisabledImages();
  gallery->images = gallery->owner.Adopt(std::move(images));

  for (std::size_t i = 0; i < std::size(kSpeedCases); ++i) {
    const SpeedCase& c = kSpeedCases[i];
    auto button = std::make_unique<TZNTSpeedButtonEx>();
    button->SetImages(gallery->images);
    button->SetImageIndex(0);
    button->SetFlat(c.flat);
    button->SetEnabled(c.enabled);
    button->Create(gallery->window, 10 + static_cast<int>(i) * kSpeedPitch, kSpeedRowTop);
    button->SetGroupIndex(c.group);
    if (c.group == 2 || (c.group == 1 && i == 2))
      button->SetDown(true);
    gallery->speed.push_back(std::move(button));
  }

  struct CaptionCase {
    int left, width, height;
    kv::TButtonLayout layout;
    bool enabled;
  };
  const CaptionCase captions[] = {
      {10, 80, 22, kv::TButtonLayout::blGlyphLeft, true},
      {100, 80, 22, kv::TButtonLayout::blGlyphLeft, false},
      {190, 60, 48, kv::TButtonLayout::blGlyphTop, true},
      {260, 60, 48, kv::TButtonLayout::blGlyphTop, false},
  };
  for (const CaptionCase& c : captions) {
    auto button = std::make_unique<TZNTSpeedButtonEx>();
    button->SetImages(gallery->images);
    button->SetImageIndex(0);
    button->SetCaption("&Browse");
    button->SetLayout(c.layout);
    button->SetSize(c.width, c.height);
    button->SetEnabled(c.enabled);
    button->Create(gallery->window, c.left, kCaptionRowTop);
    gallery->caption.push_back(std::move(button));
  }

  struct PushCase {
    int left, width, height;
    const char* caption;
    kv::TButtonLayout layout;
    bool enabled;
  };
  const PushCase pushes[] = {
      {10, 168, 25, "Store to new SETUP", kv::TButtonLayout::blGlyphLeft, true},
      {190, 168, 25, "Store to new SETUP", kv::TButtonLayout::blGlyphLeft, false},
      {370, 80, 50, "Top", kv::TButtonLayout::blGlyphTop, true},
      {460, 140, 25, "", kv::TButtonLayout::blGlyphLeft, true},
  };
  for (const PushCase& c : pushes) {
    auto button = std::make_unique<TZNTBitBtnEx>();
    button->SetImages(gallery->images);
    button->SetImageIndex(0);
    button->SetCaption(c.caption);
    button->SetLayout(c.layout);
    button->SetEnabled(c.enabled);
    button->Create(gallery->window, c.left, kBitBtnRowTop, c.width, c.height);
    gallery->push.push_back(std::move(button));
  }
  // The last push button draws its caption itself.
  gallery->push[3]->OnDrawZNTButtonText = [](TZNTBitBtnEx&, HDC dc, const std::string&,
                                             kv::TButtonRect& rect, TButtonState, bool do_paint) {
    gallery->owner_calls.push_back(do_paint);
    if (!do_paint) {
      rect.Right = rect.Left + 40;
      rect.Bottom = rect.Top + 13;
      return;
    }
    RECT r{rect.Left, rect.Top, rect.Right, rect.Bottom};
    ::SetBkMode(dc, TRANSPARENT);
    ::DrawTextW(dc, L"Owner", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  };
  gallery->push[0]->SetDefault(true);
}

bool Themed() {
  return ::IsThemeActive() && ::IsAppThemed();
}

// The glyph's place in speed button i: fixed in the classic look, found under visual styles.
POINT CheckSpeedGlyph(const Capture& capture, std::size_t i, POINT classic_place,
                      const char* phase) {
  const SpeedCase& c = kSpeedCases[i];
  const HWND button = gallery->speed[i]->Handle();
  const std::vector<COLORREF> reference = Reference(capture, c.reference);
  const std::string name = std::string(phase) + " " + c.name;
  const Box box = GlyphBox(capture, button, reference);
  // Under visual styles the element decides the content area; a disabled glyph is found at the
  // place of its enabled twin's.
  POINT place = classic_place;
  if (Themed() && !box.Empty() && c.reference != 2)
    place = {box.left, box.top};
  // A disabled glyph has only button colours when embossed, and under visual styles its greys
  // occur in the element's frame as well: its place is checked through the pixels alone.
  const bool findable = c.reference != 2 || (tolerance == 0 && !Themed());
  if (findable) {
    Check(box.left == place.x && box.top == place.y && box.right - box.left + 1 == kGlyphSize &&
              box.bottom - box.top + 1 == kGlyphSize,
          name + ": glyph at " + std::to_string(place.x) + "," + std::to_string(place.y) +
              " 16x16: " + box.Text());
  }
  Check(SameAsReference(capture, button, place, reference),
        name + ": glyph equals the list image drawn onto the face");
  return place;
}

void CheckDisabledCaption(const Capture& capture) {
  // The disabled "Browse" button: shadow text with highlight one pixel right and below, or grey
  // text under visual styles. The area right of the glyph is the caption's.
  const HWND button = gallery->caption[1]->Handle();
  const POINT corner = Corner(button);
  RECT client{};
  ::GetClientRect(button, &client);
  const Box glyph = GlyphBox(capture, gallery->caption[0]->Handle(), Reference(capture, 0));
  const int left = corner.x + glyph.right + 2;
  const int right = corner.x + client.right - 3;
  const int top = corner.y + 3;
  const int bottom = corner.y + client.bottom - 3;
  // Under visual styles the text is drawn once in grey text colour; no pixel of the embossed
  // pair's shadow colour then shows, unless the two colours are the same.
  const COLORREF text = Themed() ? ::GetSysColor(COLOR_GRAYTEXT) : kShadow;
  int text_pixels = 0, shadow = 0, embossed = 0, lone_highlight = 0;
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      const COLORREF c = capture.At(x, y);
      text_pixels += Near(c, text) ? 1 : 0;
      if (Near(c, kShadow)) {
        ++shadow;
        embossed += Near(capture.At(x + 1, y + 1), kHighlight) ? 1 : 0;
      } else if (Near(c, kHighlight) && !Near(capture.At(x - 1, y - 1), kShadow)) {
        ++lone_highlight;
      }
    }
  }
  if (Themed()) {
    Check(text_pixels > 10 && (Near(text, kShadow) || shadow == 0),
          "disabled caption in grey text, not embossed: " + std::to_string(text_pixels) +
              " grey text, " + std::to_string(shadow) + " shadow");
  } else {
    Check(shadow > 10 && embossed > 10 && lone_highlight == 0,
          "disabled caption: highlight one pixel right and below the shadow: " +
              std::to_string(shadow) + " shadow, " + std::to_string(embossed) + " embossed, " +
              std::to_string(lone_highlight) + " stray highlight");
  }
}

void CheckPushButtons() {
  TZNTBitBtnEx& first = *gallery->push[0];
  auto owner_drawn = [](const TZNTBitBtnEx& button) {
    return (::GetWindowLongPtrW(button.Handle(), GWL_STYLE) & BS_TYPEMASK) == BS_OWNERDRAW;
  };
  ::SetFocus(first.Handle());
  Pump(2);
  Check(first.ShowsDefaultFrame(), "the focused push button shows the default frame");
  // Tab onto the next push button and on around; the dialog manager restyles the buttons.
  std::vector<HWND> visited;
  for (int step = 0; step < 3; ++step) {
    ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_TAB, 0);
    ::PostMessageW(::GetFocus(), WM_KEYUP, VK_TAB, 0);
    Pump(2);
    visited.push_back(::GetFocus());
  }
  Check(visited.size() == 3 && visited[0] == gallery->push[2]->Handle() &&
            visited[1] == gallery->push[3]->Handle() && visited[2] == first.Handle(),
        "Tab moves the focus over the enabled push buttons");
  bool all_owner_drawn = true;
  for (const auto& button : gallery->push)
    all_owner_drawn = all_owner_drawn && owner_drawn(*button);
  Check(all_owner_drawn, "the owner-drawn type survives tabbing onto and off the push buttons");
  Check(first.ShowsDefaultFrame() && !gallery->push[2]->ShowsDefaultFrame(),
        "the default frame follows the focus");
  ::SendMessageW(gallery->push[2]->Handle(), BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
  Check(owner_drawn(*gallery->push[2]) && gallery->push[2]->ShowsDefaultFrame(),
        "BM_SETSTYLE shows the default frame and keeps the owner-drawn type");
  ::SendMessageW(gallery->push[2]->Handle(), BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
  Check(owner_drawn(*gallery->push[2]) && !gallery->push[2]->ShowsDefaultFrame(),
        "BM_SETSTYLE hides the default frame and keeps the owner-drawn type");

  int clicks = 0;
  first.OnClick = [&clicks] { ++clicks; };
  Press(first.Handle(), 20, 10);
  Press(first.Handle(), 20, 10, WM_LBUTTONDBLCLK);
  Pump(2);
  Check(clicks == 2,
        "a double click on the push button gives two clicks: " + std::to_string(clicks));
  first.OnClick = nullptr;

  gallery->owner_calls.clear();
  ::RedrawWindow(gallery->push[3]->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  Check(gallery->owner_calls == std::vector<bool>{false, true},
        "the owner's caption handler is called twice per paint, to size and then to paint");
}

void CheckSpeedButtonBehaviour() {
  TZNTSpeedButtonEx& plain = *gallery->speed[0];
  const LONG_PTR style = ::GetWindowLongPtrW(plain.Handle(), GWL_STYLE);
  wchar_t class_name[64] = {};
  ::GetClassNameW(plain.Handle(), class_name, 64);
  Check(std::wstring(class_name) == L"TZNTSpeedButtonEx" && (style & WS_TABSTOP) == 0,
        "the speed button has its own window class and no tab stop");

  int clicks = 0;
  plain.OnClick = [&clicks] { ++clicks; };
  const HWND focus = ::GetFocus();
  Press(plain.Handle(), 5, 5);
  Press(plain.Handle(), 5, 5, WM_LBUTTONDBLCLK);
  Press(plain.Handle(), 5, 22);  // the row below the bottom edge counts
  Press(plain.Handle(), 23, 5);  // the column right of the edge does not
  Pump(1);
  Check(clicks == 3, "speed button: double click gives two clicks, bottom edge row clicks: " +
                         std::to_string(clicks));
  Check(::GetFocus() == focus, "the speed button does not take the focus");
  Check(gallery->caption[0]->DialogChar(L'b') && !gallery->caption[0]->DialogChar(L'r') &&
            !gallery->caption[1]->DialogChar(L'b'),
        "the accelerator clicks an enabled button only");

  // Hot after the release: the capture is gone before the hover state is refreshed.
  TZNTSpeedButtonEx& flat = *gallery->speed[1];
  const POINT corner = Corner(flat.Handle());
  ::SetCursorPos(corner.x + 10, corner.y + 10);
  Pump(2);  // the pointer has arrived before the press
  ::SendMessageW(flat.Handle(), WM_MOUSEMOVE, 0, Point(10, 10));
  Press(flat.Handle(), 10, 10);
  Check(flat.IsHot() && ::GetCapture() == nullptr,
        "the flat button is hot again after a click, with the capture released");

  // A button-pressed message that names no sibling as sender is ignored.
  ::SendMessageW(gallery->speed[3]->Handle(), kv::kButtonPressedMessage, 2, 1);
  ::PostMessageW(gallery->speed[3]->Handle(), kv::kButtonPressedMessage, 2, 0x1234);
  Pump(1);
  Check(gallery->speed[3]->Down(), "a button-pressed message from no sibling changes nothing");

  // Pressing another button of group 1 releases the first one.
  TZNTSpeedButtonEx& exclusive = *gallery->speed[2];
  TZNTSpeedButtonEx& other = *gallery->speed[7];
  Press(other.Handle(), 5, 5);
  Pump(1);
  Check(other.Down() && !exclusive.Down() && exclusive.State() == TButtonState::bsUp &&
            gallery->speed[3]->Down(),
        "pressing another button of the group releases the first, other groups stay");
  // An image list destroyed before its button leaves the button without one.
  auto doomed = std::make_unique<kv::TZNTImageList>(nullptr);
  doomed->InitializeImages();
  other.SetImages(doomed.get());
  doomed.reset();
  Pump(1);
  Check(other.Images() == nullptr, "a destroyed image list is no longer the button's");
  other.SetImages(gallery->images);

  // Resized by its owner (as on a change of the screen's scale), it takes the whole new area.
  ::SetWindowPos(plain.Handle(), nullptr, 0, 0, 30, 30, SWP_NOMOVE | SWP_NOZORDER);
  clicks = 0;
  Press(plain.Handle(), 27, 27);
  Check(clicks == 1, "a speed button resized by its owner clicks in its whole area");
  plain.OnClick = nullptr;
}

void CheckGdiObjects() {
  Pump(1);
  const int before = GdiObjectCount();
  for (int paint = 0; paint < 1000; ++paint) {
    ::RedrawWindow(gallery->window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  }
  const int after = GdiObjectCount();
  Check(before > 0 && before == after, "GDI objects after 1000 paints of every button: " +
                                           std::to_string(before) + " -> " + std::to_string(after));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kv_button_gallery OUTPUT_PREFIX\n");
    return 2;
  }
  std::string prefix;
  for (const wchar_t* p = argv[1]; *p; ++p)
    prefix += static_cast<char>(*p);

  // The fixed environment of the pixel checks.
  const int elements[] = {COLOR_BTNFACE, COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW};
  const COLORREF colours[] = {kFace, kHighlight, kShadow};
  ::SetSysColors(3, elements, colours);
  ::SystemParametersInfoW(SPI_SETFONTSMOOTHING, FALSE, nullptr, 0);
  const HDC screen = ::GetDC(nullptr);
  const int bits = ::GetDeviceCaps(screen, BITSPIXEL);
  ::ReleaseDC(nullptr, screen);
  tolerance = bits >= 24 ? 0 : 8;
  std::printf("screen %d bits, visual styles %s\n", bits, Themed() ? "on" : "off");

  Gallery state;
  gallery = &state;
  BuildGallery(::GetModuleHandleW(nullptr));
  Check(state.window != nullptr && state.images->Count() == 1, "gallery window and image list");
  if (!state.window)
    return 1;

  // The hot look: the mouse over the flat button.
  const POINT hot = Corner(state.speed[6]->Handle());
  ::SetCursorPos(hot.x + 10, hot.y + 10);
  ::SendMessageW(state.speed[6]->Handle(), WM_MOUSEMOVE, 0, Point(10, 10));
  Pump();
  Check(state.speed[6]->IsHot(), "the flat button under the mouse is hot");
  const Capture states = CaptureScreen();
  SaveBitmap(states, prefix + "-states.bmp");
  std::vector<POINT> places;
  for (std::size_t i = 0; i < 7; ++i) {
    const bool down = state.speed[i]->State() == TButtonState::bsExclusive;
    POINT expected = down ? POINT{5, 4} : POINT{4, 3};
    if (Themed() && kSpeedCases[i].reference == 2)
      expected = places[i - 4];
    places.push_back(CheckSpeedGlyph(states, i, expected, "states"));
  }
  for (std::size_t i : {4u, 5u}) {
    Check(IsDisabledGlyph(states, state.speed[i]->Handle(), places[i], bits),
          std::string(kSpeedCases[i].name) + (bits >= 24
                                                  ? ": glyph grey (R = G = B, 88 to 215)"
                                                  : ": glyph only in highlight, shadow and face"));
  }
  CheckDisabledCaption(states);

  // Held down, the mouse elsewhere: the first two speed buttons pressed and not yet released,
  // one after the other (the second press takes the capture, which ends the first).
  ::SetCursorPos(600, 200);
  ::SendMessageW(state.speed[6]->Handle(), WM_MOUSELEAVE, 0, 0);
  Pump(2);
  for (std::size_t i : {0u, 1u}) {
    ::SendMessageW(state.speed[i]->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, Point(5, 5));
    Pump();
    const Capture pressed = CaptureScreen();
    if (i == 1)
      SaveBitmap(pressed, prefix + "-pressed.bmp");
    const POINT place = CheckSpeedGlyph(pressed, i, POINT{5, 4}, "pressed");
    if (Themed()) {
      Check(place.x == places[i].x && place.y == places[i].y,
            std::string(kSpeedCases[i].name) + ": no shift when pressed under visual styles");
    }
  }
  Check(!state.speed[0]->IsTracking() && state.speed[1]->IsTracking(),
        "a press ends when another button takes the capture");
  ::SendMessageW(state.speed[1]->Handle(), WM_LBUTTONUP, 0, Point(100, 100));
  Pump(1);

  CheckSpeedButtonBehaviour();
  CheckPushButtons();
  // The dialog manager's search for an accelerator reaches the speed button too.
  int accelerator_clicks = 0;
  state.caption[0]->OnClick = [&accelerator_clicks] { ++accelerator_clicks; };
  ::PostMessageW(::GetFocus(), WM_CHAR, L'b', 0);
  Pump(2);
  Check(accelerator_clicks == 1, "typing the accelerator on the form clicks the speed button");
  state.caption[0]->OnClick = nullptr;
  CheckGdiObjects();

  state.speed.clear();
  state.caption.clear();
  state.push.clear();
  ::DestroyWindow(state.window);
  ::DeleteObject(state.font);
  gallery = nullptr;
  std::printf("%s\n", failures == 0 ? "all checks passed" : "some checks failed");
  return failures == 0 ? 0 : 1;
}
