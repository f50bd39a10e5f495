#include "app/win/DialogFont.h"

#include <algorithm>
#include <cwchar>

namespace {

constexpr int kPointSize = 9;

const wchar_t* const kPreferredFaces[] = {
    L"MS UI Gothic", L"Meiryo UI", L"Yu Gothic UI", L"IPAPGothic", L"Noto Sans CJK JP", L"IPAGothic",
    L"TakaoPGothic", L"VL PGothic",
};

int CALLBACK NoteFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool HasFace(HDC dc, const wchar_t* face) {
  LOGFONTW wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(wanted.lfFaceName, face, LF_FACESIZE - 1);
  bool found = false;
  EnumFontFamiliesExW(dc, &wanted, NoteFace, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

// A device context with the font selected, for measuring.
class MeasuringDc {
 public:
  explicit MeasuringDc(HFONT font) : dc_(GetDC(nullptr)), old_(SelectObject(dc_, font)) {}
  ~MeasuringDc() {
    SelectObject(dc_, old_);
    ReleaseDC(nullptr, dc_);
  }
  MeasuringDc(const MeasuringDc&) = delete;
  MeasuringDc& operator=(const MeasuringDc&) = delete;
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace

DialogFont::DialogFont(UINT dpi) : dpi_(dpi == 0 ? USER_DEFAULT_SCREEN_DPI : dpi) {
  LOGFONTW font{};
  {
    HDC screen = GetDC(nullptr);
    const wchar_t* chosen = nullptr;
    for (const wchar_t* face : kPreferredFaces) {
      if (HasFace(screen, face)) {
        chosen = face;
        break;
      }
    }
    ReleaseDC(nullptr, screen);
    if (chosen) {
      wcsncpy(font.lfFaceName, chosen, LF_FACESIZE - 1);
      font.lfCharSet = SHIFTJIS_CHARSET;
    } else {
      NONCLIENTMETRICSW metrics{};
      metrics.cbSize = sizeof(metrics);
      SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
      font = metrics.lfMessageFont;
    }
  }
  font.lfHeight = -MulDiv(kPointSize, static_cast<int>(dpi_), 72);
  font.lfWidth = 0;
  font.lfWeight = FW_NORMAL;
  font.lfQuality = CLEARTYPE_QUALITY;
  font_.reset(CreateFontIndirectW(&font));

  // The dialog manager's base units: the 52 Latin letters' average width,
  // rounded, and the font's height.
  MeasuringDc dc(font_.get());
  SIZE letters{};
  GetTextExtentPoint32W(dc.Get(), L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &letters);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc.Get(), &metrics);
  units_ = DialogUnitScale((letters.cx / 26 + 1) / 2, metrics.tmHeight);
}

int DialogFont::WrappedHeight(const std::wstring& text, int width) const {
  MeasuringDc dc(font_.get());
  RECT box{0, 0, width, 0};
  DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &box,
            DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
  return box.bottom - box.top;
}

OwnedFont DialogFont::NarrowedToFit(const std::wstring& text, int room) const {
  if (TextWidth(text) <= room) return nullptr;
  LOGFONTW shape{};
  GetObjectW(font_.get(), sizeof(shape), &shape);
  int average = 0;
  {
    MeasuringDc dc(font_.get());
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc.Get(), &metrics);
    average = metrics.tmAveCharWidth;
  }
  OwnedFont narrowed;
  for (int stretch = 98; stretch >= 80; stretch -= 2) {
    shape.lfWidth = std::max(1, average * stretch / 100);
    narrowed.reset(CreateFontIndirectW(&shape));
    MeasuringDc dc(narrowed.get());
    SIZE size{};
    GetTextExtentPoint32W(dc.Get(), text.c_str(), static_cast<int>(text.size()), &size);
    if (size.cx <= room) break;
  }
  return narrowed;
}

int DialogFont::TextWidth(const std::wstring& text) const {
  MeasuringDc dc(font_.get());
  SIZE size{};
  GetTextExtentPoint32W(dc.Get(), text.c_str(), static_cast<int>(text.size()), &size);
  return size.cx;
}
