// Counts of the live GUI objects of this process, for leak checks in the Windows test programs:
// the system's counts, or under the emulation layer, whose counts are always 0, the used entries
// of the process's own GDI handle table and the windows of the process.
#pragma once

#include <windows.h>

#include <winternl.h>

#include <cstdint>

namespace kv {

inline int GdiObjectCount() {
  const DWORD count = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
  if (count != 0)
    return static_cast<int>(count);
  struct Entry {
    std::uint64_t object;
    std::uint32_t owner;
    std::uint16_t unique;
    std::uint8_t type;
    std::uint8_t flags;
    std::uint64_t user;
  };
  constexpr std::size_t kSharedHandleTableOffset = 0xF8;  // in the process environment block
  constexpr int kHandleCount = 0x10000;
  PROCESS_BASIC_INFORMATION process{};
  if (::NtQueryInformationProcess(::GetCurrentProcess(), ProcessBasicInformation, &process,
                                  sizeof(process), nullptr) != 0 ||
      !process.PebBaseAddress) {
    return -1;
  }
  auto* environment = reinterpret_cast<const unsigned char*>(process.PebBaseAddress);
  const auto* table =
      *reinterpret_cast<const Entry* const*>(environment + kSharedHandleTableOffset);
  if (!table)
    return -1;
  int used = 0;
  for (int i = 0; i < kHandleCount; ++i)
    used += table[i].type != 0 ? 1 : 0;
  return used;
}

namespace internal {

inline BOOL CALLBACK CountChild(HWND, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

// A top-level window of this process and all windows inside it.
inline BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process == ::GetCurrentProcessId()) {
    CountChild(window, count);
    ::EnumChildWindows(window, CountChild, count);
  }
  return TRUE;
}

}  // namespace internal

inline int UserObjectCount() {
  const DWORD count = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
  if (count != 0)
    return static_cast<int>(count);
  int windows = 0;
  ::EnumWindows(internal::CountWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

}  // namespace kv
