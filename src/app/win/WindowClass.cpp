#include "app/win/WindowClass.h"

void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HBRUSH background) {
  WNDCLASSEXW type{};
  type.cbSize = sizeof(type);
  if (GetClassInfoExW(GetModuleHandleW(nullptr), name, &type)) return;
  type.cbSize = sizeof(type);
  type.lpfnWndProc = procedure;
  type.hInstance = GetModuleHandleW(nullptr);
  type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  type.hbrBackground = background;
  type.lpszClassName = name;
  RegisterClassExW(&type);
}
