// Icons chosen from icon groups at a given size and colour depth, for message boxes and the
// image lists. Windows only; the caller destroys the icons it gets.
#pragma once

#include <windows.h>

#include "ui/ZNTImageList.h"

namespace kv {

// Group name (a text or MAKEINTRESOURCE id) of module at width x height with the screen's bits.
// Without a module the stock identifiers (IDI_ERROR, ...) take the system user library's groups,
// or the system's stock icon where that library has no such group; other names come from the
// program's own module. Returns none when nothing fits.
HICON LoadModuleIcon(HMODULE module, const wchar_t* name, int width, int height);

// Group name read through reader, chosen for width x height at most bits per pixel.
HICON LoadGroupIcon(TZNTResourcesReader& reader, const TResourceId& name, int width, int height,
                    int bits);

}  // namespace kv
