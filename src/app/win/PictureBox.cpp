#include "app/win/PictureBox.h"

#include "app/win/WindowClass.h"

namespace {

constexpr wchar_t kClassName[] = L"TintwisePictureBox";

}  // namespace

PictureBox::PictureBox(HWND parent, int id) {
  RegisterWindowClass(kClassName, Procedure, nullptr);
  window_.reset(CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, 1, 1, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                                this));
}

void PictureBox::SetPicture(PixelPicture picture) {
  picture_ = std::move(picture);
  message_.clear();
  InvalidateRect(Handle(), nullptr, FALSE);
}

void PictureBox::SetMessage(const std::wstring& message) {
  picture_ = PixelPicture();
  message_ = message;
  InvalidateRect(Handle(), nullptr, FALSE);
}

SIZE PictureBox::Size() const {
  RECT client{};
  GetClientRect(Handle(), &client);
  return {client.right, client.bottom};
}

LRESULT CALLBACK PictureBox::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<PictureBox*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_PAINT:
      if (self) {
        self->Paint();
        return 0;
      }
      break;
    case WM_ERASEBKGND:
      return 1;  // painted whole in WM_PAINT: no flicker while resizing
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void PictureBox::Paint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(Handle(), &paint);
  RECT client{};
  GetClientRect(Handle(), &client);
  if (!picture_.Empty()) {
    picture_.Draw(dc, client);
  } else {
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    if (framed_) {
      HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
      HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
      Rectangle(dc, client.left, client.top, client.right, client.bottom);
      SelectObject(dc, oldPen);
      SelectObject(dc, oldBrush);
    }
    if (!message_.empty()) {
      HGDIOBJ oldFont = font_ ? SelectObject(dc, font_) : nullptr;
      SetBkMode(dc, TRANSPARENT);
      RECT inside = client;
      InflateRect(&inside, -4, -4);
      // Centred vertically: measured first, as DrawText centres one line only.
      RECT measured = inside;
      DrawTextW(dc, message_.c_str(), static_cast<int>(message_.size()), &measured,
                DT_CALCRECT | DT_WORDBREAK | DT_CENTER | DT_NOPREFIX | DT_EDITCONTROL);
      const int textHeight = measured.bottom - measured.top;
      if (textHeight < inside.bottom - inside.top) inside.top += (inside.bottom - inside.top - textHeight) / 2;
      DrawTextW(dc, message_.c_str(), static_cast<int>(message_.size()), &inside,
                DT_WORDBREAK | DT_CENTER | DT_NOPREFIX | DT_EDITCONTROL | DT_END_ELLIPSIS);
      if (oldFont) SelectObject(dc, oldFont);
    }
  }
  EndPaint(Handle(), &paint);
}
