// The program's own resources, the screen and common-controls probes, and icons created from
// icon groups, on Windows.
#include <windows.h>

#include <string>
#include <vector>

#include "base/WinText_win32.h"
#include "ui/GdiHandles_win32.h"
#include "ui/ZNTImageList.h"
#include "ui/ZNTModuleIcon_win32.h"

namespace kv {

namespace {

constexpr DWORD kIconFormatVersion = 0x00030000;
constexpr DWORD kModulePathChars = 1024;
constexpr int kAlphaListsMajorVersion = 6;

HRSRC FindModuleResource(HMODULE module, std::uint16_t type, const TResourceId& name) {
  if (!module)
    return nullptr;
  if (name.id != 0)
    return ::FindResourceW(module, MAKEINTRESOURCEW(name.id), MAKEINTRESOURCEW(type));
  const std::wstring wide = Utf8ToWide(name.name);
  return ::FindResourceW(module, wide.c_str(), MAKEINTRESOURCEW(type));
}

std::optional<std::string_view> ModuleResourceData(HMODULE module, std::uint16_t type,
                                                   const TResourceId& name) {
  const HRSRC resource = FindModuleResource(module, type, name);
  if (!resource)
    return std::nullopt;
  const DWORD size = ::SizeofResource(module, resource);
  const HGLOBAL loaded = ::LoadResource(module, resource);
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  if (!bytes)
    return std::nullopt;
  return std::string_view(static_cast<const char*>(bytes), size);
}

// The resources of another module, for LoadModuleIcon.
class TModuleReader final : public TZNTResourcesReader {
 public:
  explicit TModuleReader(HMODULE module) : module_(module) {}
  bool HasResource(std::uint16_t type, const TResourceId& name) override {
    return FindModuleResource(module_, type, name) != nullptr;
  }
  std::optional<std::string_view> GetResourceData(std::uint16_t type,
                                                  const TResourceId& name) override {
    return ModuleResourceData(module_, type, name);
  }

 private:
  HMODULE module_;
};

class TWin32ScreenProbe final : public TScreenProbe {
 public:
  int DeviceBitsPerPixel() override {
    const TScreenDC screen = ScreenDC();
    return ::GetDeviceCaps(screen.get(), BITSPIXEL);
  }

  bool CommonControlsHaveAlpha() override {
    const HMODULE comctl = ::GetModuleHandleW(L"COMCTL32.DLL");
    if (!comctl)
      return false;
    std::wstring path(kModulePathChars, L'\0');
    path.resize(::GetModuleFileNameW(comctl, path.data(), kModulePathChars));
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0)
      return false;
    std::vector<std::uint8_t> version(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixed_size = 0;
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, version.data()) ||
        !::VerQueryValueW(version.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size) ||
        !fixed || fixed_size < sizeof(VS_FIXEDFILEINFO)) {
      return false;
    }
    return HIWORD(fixed->dwFileVersionMS) >= kAlphaListsMajorVersion;
  }

  void* UserLibraryModule() override { return ::GetModuleHandleW(L"user32.dll"); }
};

HICON CreateIconFromImage(std::string_view image, int width, int height) {
  // The call reads the bytes only; it takes them through a non-const pointer.
  auto* bytes = reinterpret_cast<BYTE*>(const_cast<char*>(image.data()));
  return ::CreateIconFromResourceEx(bytes, static_cast<DWORD>(image.size()), TRUE,
                                    kIconFormatVersion, width, height, LR_DEFAULTCOLOR);
}

}  // namespace

bool TZNTResourcesReader::HasResource(std::uint16_t type, const TResourceId& name) {
  return FindModuleResource(::GetModuleHandleW(nullptr), type, name) != nullptr;
}

std::optional<std::string_view> TZNTResourcesReader::GetResourceData(std::uint16_t type,
                                                                     const TResourceId& name) {
  return ModuleResourceData(::GetModuleHandleW(nullptr), type, name);
}

std::unique_ptr<TScreenProbe> PlatformScreenProbe() {
  return std::make_unique<TWin32ScreenProbe>();
}

HICON LoadGroupIcon(TZNTResourcesReader& reader, const TResourceId& name, int width, int height,
                    int bits) {
  const std::optional<std::string_view> image =
      LoadGroupIconImage(reader, name, width, height, bits);
  return image ? CreateIconFromImage(*image, width, height) : nullptr;
}

HICON LoadModuleIcon(HMODULE module, const wchar_t* name, int width, int height) {
  const bool numbered = IS_INTRESOURCE(name);
  const auto id = static_cast<std::uint16_t>(reinterpret_cast<ULONG_PTR>(name));
  const TResourceId resource =
      numbered ? TResourceId::Numbered(id) : TResourceId::Named(WideToUtf8(name));
  // Without a module the stock identifiers take the system user library's groups.
  const std::optional<std::uint16_t> group =
      !module && numbered ? SystemIconGroup(id) : std::nullopt;
  TModuleReader reader(module  ? module
                       : group ? static_cast<HMODULE>(UserLibraryModule())
                               : ::GetModuleHandleW(nullptr));
  if (const HICON icon = LoadGroupIcon(reader, group ? TResourceId::Numbered(*group) : resource,
                                       width, height, ScreenBitsPerPixel())) {
    return icon;
  }
  // Not every system keeps the stock icons in these groups: take its own stock icon then.
  return group ? static_cast<HICON>(::LoadImageW(nullptr, name, IMAGE_ICON, width, height, 0))
               : nullptr;
}

}  // namespace kv
