// The system's trust provider, asked without any user interface, revocation check or download.
#include <windows.h>
// wintrust.h and softpub.h need the types of windows.h.
#include <softpub.h>
#include <wintrust.h>

#include <cstdio>

#include "base/WinText_win32.h"
#include "contents/SignerTrust.h"

namespace kv {

std::string SignerTrustText(const std::string& file_name) {
  const std::wstring path = Utf8ToWide(file_name);
  WINTRUST_FILE_INFO file{};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = path.c_str();
  WINTRUST_DATA data{};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_NONE;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  if (result == ERROR_SUCCESS)
    return "trusted by this computer";
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
  return std::string("not trusted by this computer (") + code + ": " +
         SystemErrorText(static_cast<unsigned long>(result)) + ")";
}

}  // namespace kv
