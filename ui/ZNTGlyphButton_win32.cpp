#include "ui/ZNTButtonsEx_win32.h"

#include "base/WinText_win32.h"

namespace kv {

TZNTGlyphButton::TZNTGlyphButton(TZNTComponent* owner) : TZNTComponent(owner) {
  images_link_.OnChange = [this] { Invalidate(); };
}

TZNTGlyphButton::~TZNTGlyphButton() {
  UnlinkImages();  // not through SetImages: the window is gone by now
}

void TZNTGlyphButton::UnlinkImages() {
  if (images_) {
    images_->UnRegisterChanges(images_link_);
    RemoveFreeNotification(images_);
  }
}

void TZNTGlyphButton::SetImages(TImageList* images) {
  UnlinkImages();
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

void TZNTGlyphButton::SetCaption(const std::string& caption) {
  caption_ = caption;
  if (Handle())
    ::SetWindowTextW(Handle(), Utf8ToWide(caption).c_str());
}

void TZNTGlyphButton::TextChanged(const wchar_t* text) {
  caption_ = WideToUtf8(text ? std::wstring(text) : std::wstring());
  Invalidate();
}

void TZNTGlyphButton::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (Handle())
    ::EnableWindow(Handle(), enabled ? TRUE : FALSE);
}

void TZNTGlyphButton::Invalidate() {
  if (Handle())
    ::InvalidateRect(Handle(), nullptr, FALSE);
}

HFONT TZNTGlyphButton::CurrentFont() const {
  if (font_)
    return font_;
  const HWND parent = Handle() ? ::GetParent(Handle()) : nullptr;
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
  if (!Handle() || !StylesActive())
    return nullptr;
  const bool toolbar = theme_class == TThemeClass::kToolbar;
  TTheme& theme = toolbar ? toolbar_theme_ : button_theme_;
  if (!theme)
    theme.reset(::OpenThemeData(Handle(), toolbar ? L"TOOLBAR" : L"BUTTON"));
  return theme.get();
}

void TZNTGlyphButton::CloseThemes() {
  button_theme_.reset();
  toolbar_theme_.reset();
}

}  // namespace kv
