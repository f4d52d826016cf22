#include "app/MainFormControls_win32.h"

#include <commctrl.h>

#include <memory>

#include "base/Failure.h"
#include "base/WinText_win32.h"
#include "ui/GdiHandles_win32.h"
#include "ui/Window_win32.h"

namespace kv {

namespace {

// The width of a caption in the font selected into dc, its mnemonic marks left out.
int CaptionWidth(HDC dc, const char* caption) {
  const std::wstring text = Utf8ToWide(WithoutMnemonic(caption));
  SIZE extent{};
  if (text.empty() ||
      !::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent))
    return 0;
  return extent.cx;
}

}  // namespace

std::string ControlText(HWND control) {
  const int length = ::GetWindowTextLengthW(control);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = ::GetWindowTextW(control, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return WideToUtf8(text);
}

void SetRadioChecked(HWND radio, bool checked) {
  ::SendMessageW(radio, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  const LONG_PTR style = ::GetWindowLongPtrW(radio, GWL_STYLE);
  ::SetWindowLongPtrW(radio, GWL_STYLE,
                      checked ? style | WS_TABSTOP : style & ~static_cast<LONG_PTR>(WS_TABSTOP));
}

void SetProgramIcons(HWND window) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  for (const auto& [kind, metric] : {std::pair{ICON_BIG, SM_CXICON}, {ICON_SMALL, SM_CXSMICON}}) {
    const int size = ::GetSystemMetrics(metric);
    const HANDLE icon = ::LoadImageW(instance, L"MAINICON", IMAGE_ICON, size, size, LR_SHARED);
    ::SendMessageW(window, WM_SETICON, kind, reinterpret_cast<LPARAM>(icon));
  }
}

HWND CreateNativeControl(HWND parent, const TMainControlInfo& info, const char* caption,
                         const ScreenRect& rect, HFONT font) {
  const wchar_t* control_class = L"STATIC";
  DWORD style = SS_LEFT | (info.BlueText ? SS_NOPREFIX : 0);
  DWORD ex_style = 0;
  if (info.Kind == TControlKind::kEdit) {
    control_class = L"EDIT";
    style = WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL;
    ex_style = WS_EX_CLIENTEDGE | WS_EX_ACCEPTFILES;
  } else if (info.Kind == TControlKind::kRadioButton) {
    control_class = L"BUTTON";
    style = BS_AUTORADIOBUTTON | (info.Id == TMainControl::rbKVURL ? WS_GROUP : 0);
  }
  return CreateChildControl(parent, control_class, Utf8ToWide(caption), style, ex_style, rect.Left,
                            rect.Top, rect.Width(), rect.Height(), 0, font);
}

HWND CreateTooltips(HWND owner, const std::vector<std::pair<HWND, std::string>>& tools) {
  const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_TAB_CLASSES};
  ::InitCommonControlsEx(&classes);
  const HWND tooltip =
      ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                        ::GetModuleHandleW(nullptr), nullptr);
  for (const auto& [control, text] : tools) {
    if (!tooltip || !control)
      continue;
    std::wstring wide = Utf8ToWide(text);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = owner;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = wide.data();
    ::SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  return tooltip;
}

TMainFormFit MeasureMainFormFit(HFONT font, int pixels_per_inch, const TWindowTexts& texts) {
  const TScreenDC screen = ScreenDC();
  const TSelection selected(screen.get(), font);
  std::array<int, kMainControlCount> widths{};
  for (const TMainControlInfo& info : MainFormControls())
    widths[static_cast<std::size_t>(info.Id)] =
        CaptionWidth(screen.get(), MainControlCaption(info.Id, texts));
  return FitMainForm(pixels_per_inch, widths);
}

void TMainFormGlyphs::Load(int pixels_per_inch, std::string& error) {
  images_ = components_.Adopt(std::make_unique<TZNTImageListResource>(&components_));
  images_->SetName("ZNTImageListResource");
  images_->SetWidth(GlyphSize(pixels_per_inch));
  images_->SetHeight(GlyphSize(pixels_per_inch));
  images_->SetResourceList({"XOPEN", "XSAVE", "XWEB"});
  for (const TMainControlInfo& info : MainFormControls()) {
    if (info.Kind == TControlKind::kSpeedButton) {
      speed_buttons_[static_cast<std::size_t>(info.Id)] =
          components_.Adopt(std::make_unique<TZNTSpeedButtonEx>(&components_));
    }
  }
  store_button_ = components_.Adopt(std::make_unique<TZNTBitBtnEx>(&components_));
  // The description is complete: the list loads its images.
  RunReportingFailure([this] { images_->Loaded(); }, error);
}

void TMainFormGlyphs::CreateCompanions(std::string& error) {
  // Without companions the buttons draw their glyphs from the list itself.
  RunReportingFailure(
      [this] {
        images_->CreateHotImages();
        images_->CreateDisabledImages();
      },
      error);
}

void TMainFormGlyphs::SetPixelsPerInch(int pixels_per_inch) {
  const int size = GlyphSize(pixels_per_inch);
  if (size == images_->Width())
    return;
  std::string error;  // without images the buttons show none, and work all the same
  RunReportingFailure(
      [this, size] {
        images_->SetWidth(size);
        images_->SetHeight(size);
        images_->ReloadImages();  // the companions follow
      },
      error);
}

void TMainFormGlyphs::ColoursChanged() {
  std::string error;  // the former companions stay
  RunReportingFailure(
      [this] {
        images_->UpdateHotImages();
        images_->UpdateDisabledImages();
      },
      error);
}

HWND TMainFormGlyphs::CreateSpeedButton(HWND parent, const TMainControlInfo& info,
                                        const ScreenRect& rect, const std::string& name,
                                        std::function<void()> click) {
  TZNTSpeedButtonEx& button = SpeedButton(info.Id);
  button.SetImages(images_);
  button.SetImageIndex(info.ImageIndex);
  button.SetSize(rect.Width(), rect.Height());
  button.SetAccessibleName(name);
  button.OnClick = std::move(click);
  return button.Create(parent, rect.Left, rect.Top) ? button.Handle() : nullptr;
}

HWND TMainFormGlyphs::CreateStoreButton(HWND parent, const TMainControlInfo& info,
                                        const ScreenRect& rect, const std::string& caption,
                                        std::function<void()> click) {
  store_button_->SetCaption(caption);
  store_button_->SetImages(images_);
  store_button_->SetImageIndex(info.ImageIndex);
  store_button_->OnClick = std::move(click);
  if (!store_button_->Create(parent, rect.Left, rect.Top, rect.Width(), rect.Height()))
    return nullptr;
  const HWND button = store_button_->Handle();
  // A group of its own, so that the arrow keys do not move the focus away from it.
  ::SetWindowLongPtrW(button, GWL_STYLE, ::GetWindowLongPtrW(button, GWL_STYLE) | WS_GROUP);
  return button;
}

}  // namespace kv
