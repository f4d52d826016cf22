// The window class of a top-level form: the arrow cursor and the colour of button faces.
// Registering a class that exists already fails harmlessly.
#pragma once

#include <windows.h>

namespace kv {

void RegisterFormClass(HINSTANCE instance, WNDPROC procedure, const wchar_t* class_name);

}  // namespace kv
