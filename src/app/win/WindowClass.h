#pragma once

#include <windows.h>

// Registers the window class `name` with `procedure` once per process (the
// first call wins); `background` may be null for windows that paint all of
// themselves.
void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HBRUSH background);
