#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <type_traits>

// Ownership of the window system's handles: each released exactly once, by
// the call that belongs to its kind, when its owner goes.
struct WindowDestroyer {
  void operator()(HWND window) const { DestroyWindow(window); }
};
struct GdiObjectDeleter {
  void operator()(void* object) const { DeleteObject(static_cast<HGDIOBJ>(object)); }
};
struct IconDestroyer {
  void operator()(HICON icon) const { DestroyIcon(icon); }
};
struct MenuDestroyer {
  void operator()(HMENU menu) const { DestroyMenu(menu); }
};
struct ImageListDestroyer {
  void operator()(HIMAGELIST list) const { ImageList_Destroy(list); }
};

using OwnedWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;
using OwnedFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;
using OwnedBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;
using OwnedIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDestroyer>;
using OwnedMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDestroyer>;
using OwnedImageList = std::unique_ptr<std::remove_pointer_t<HIMAGELIST>, ImageListDestroyer>;
