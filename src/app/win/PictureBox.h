#pragma once

#include <windows.h>

#include <string>

#include "app/win/OwnedHandle.h"
#include "app/win/PixelPicture.h"

// A framed box that shows a picture stretched over it, or a short message
// centred in it when it has none. Its context-menu requests go to the parent
// (the default handling of a child window). UI thread only.
class PictureBox {
 public:
  PictureBox(HWND parent, int id);

  HWND Handle() const { return window_.get(); }
  void SetPicture(PixelPicture picture);
  void SetMessage(const std::wstring& message);
  void SetFont(HFONT font) { font_ = font; }
  // Whether an empty box shows its frame (the default).
  void SetFramed(bool framed) { framed_ = framed; }
  const PixelPicture& Picture() const { return picture_; }
  const std::wstring& Message() const { return message_; }
  // The box's size in device pixels.
  SIZE Size() const;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Paint();

  OwnedWindow window_;
  PixelPicture picture_;
  std::wstring message_;
  HFONT font_ = nullptr;
  bool framed_ = true;
};
