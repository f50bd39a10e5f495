#include "app/win/DataObjectReader.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "app/win/WinText.h"

namespace {

// A medium's global memory, locked while this lives; released with the medium.
class LockedMedium {
 public:
  LockedMedium(IDataObject* data, CLIPFORMAT format) {
    FORMATETC wanted{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    if (FAILED(data->GetData(&wanted, &medium_))) return;
    got_ = true;
    if (medium_.tymed != TYMED_HGLOBAL || !medium_.hGlobal) return;
    bytes_ = static_cast<const char*>(GlobalLock(medium_.hGlobal));
    if (bytes_) size_ = GlobalSize(medium_.hGlobal);
  }
  ~LockedMedium() {
    if (bytes_) GlobalUnlock(medium_.hGlobal);
    if (got_) ReleaseStgMedium(&medium_);
  }
  LockedMedium(const LockedMedium&) = delete;
  LockedMedium& operator=(const LockedMedium&) = delete;

  const char* Bytes() const { return bytes_; }
  std::size_t Size() const { return bytes_ ? size_ : 0; }
  HGLOBAL Global() const { return bytes_ ? medium_.hGlobal : nullptr; }

 private:
  STGMEDIUM medium_{};
  bool got_ = false;
  const char* bytes_ = nullptr;
  std::size_t size_ = 0;
};

CLIPFORMAT Registered(const wchar_t* name) { return static_cast<CLIPFORMAT>(RegisterClipboardFormatW(name)); }

bool Offers(IDataObject* data, CLIPFORMAT format) {
  FORMATETC wanted{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  return data->QueryGetData(&wanted) == S_OK;
}

// A wide string of at most the medium's size, up to its first null.
std::wstring WideString(const LockedMedium& medium) {
  const auto* text = reinterpret_cast<const wchar_t*>(medium.Bytes());
  const std::size_t most = medium.Size() / sizeof(wchar_t);
  std::size_t length = 0;
  while (length < most && text[length] != L'\0') ++length;
  return std::wstring(text, length);
}

std::string NarrowString(const LockedMedium& medium) {
  const std::size_t length = strnlen(medium.Bytes(), medium.Size());
  return std::string(medium.Bytes(), length);
}

// A packed device-independent bitmap as a BMP file: the file header says
// where the pixels start, past the info header, the colour masks and the
// colour table. Empty when the header does not hold together.
std::string BmpFile(const LockedMedium& medium) {
  if (medium.Size() < sizeof(BITMAPINFOHEADER)) return {};
  BITMAPINFOHEADER info;
  std::memcpy(&info, medium.Bytes(), sizeof(info));
  if (info.biSize < sizeof(BITMAPINFOHEADER) || info.biSize > medium.Size()) return {};
  std::size_t offset = info.biSize;
  // Masks follow a plain info header; the larger headers hold them.
  if (info.biSize == sizeof(BITMAPINFOHEADER) && (info.biCompression == BI_BITFIELDS || info.biCompression == 6)) {
    offset += info.biCompression == BI_BITFIELDS ? 12 : 16;
  }
  std::size_t colours = info.biClrUsed;
  if (colours == 0 && info.biBitCount <= 8) colours = std::size_t{1} << info.biBitCount;
  if (colours > 256) return {};
  offset += colours * 4;
  if (offset > medium.Size()) return {};
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfSize = static_cast<DWORD>(sizeof(file) + medium.Size());
  file.bfOffBits = static_cast<DWORD>(sizeof(file) + offset);
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
  bytes.append(medium.Bytes(), medium.Size());
  return bytes;
}

}  // namespace

DropData ReadDataObject(IDataObject* data) {
  DropData payload;
  if (!data) return payload;
  if (LockedMedium files(data, CF_HDROP); files.Global()) {
    auto* drop = static_cast<HDROP>(files.Global());
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
      const UINT length = DragQueryFileW(drop, i, nullptr, 0);
      std::wstring path(length + 1, L'\0');
      DragQueryFileW(drop, i, path.data(), length + 1);
      path.resize(length);
      if (!path.empty()) payload.files.push_back(Utf8FromWide(path));
    }
  }
  if (LockedMedium link(data, Registered(CFSTR_INETURLW)); link.Size() > 0) {
    if (std::wstring url = WideString(link); !url.empty()) payload.urls.push_back(Utf8FromWide(url));
  } else if (LockedMedium ansi(data, Registered(CFSTR_INETURLA)); ansi.Size() > 0) {
    if (std::string url = NarrowString(ansi); !url.empty()) payload.urls.push_back(url);
  } else if (LockedMedium moz(data, Registered(L"text/x-moz-url")); moz.Size() > 0) {
    // The address, then a line feed and the link's title.
    std::wstring url = WideString(moz);
    url = url.substr(0, url.find(L'\n'));
    if (!url.empty()) payload.urls.push_back(Utf8FromWide(url));
  }
  if (LockedMedium text(data, CF_UNICODETEXT); text.Size() > 0) {
    payload.text = Utf8FromWide(WideString(text));
  }
  if (LockedMedium png(data, Registered(L"PNG")); png.Size() > 0) {
    payload.pictures.emplace_back("image/png", std::string(png.Bytes(), png.Size()));
  }
  // One bitmap is enough: the system offers the same picture in both headers.
  std::string bitmap;
  if (LockedMedium dib5(data, CF_DIBV5); dib5.Size() > 0) bitmap = BmpFile(dib5);
  if (bitmap.empty()) {
    if (LockedMedium dib(data, CF_DIB); dib.Size() > 0) bitmap = BmpFile(dib);
  }
  if (!bitmap.empty()) payload.pictures.emplace_back("image/bmp", std::move(bitmap));
  return payload;
}

bool OffersPayload(IDataObject* data) {
  if (!data) return false;
  const CLIPFORMAT formats[] = {CF_HDROP,       Registered(CFSTR_INETURLW), Registered(CFSTR_INETURLA),
                                Registered(L"text/x-moz-url"), CF_UNICODETEXT, Registered(L"PNG"),
                                CF_DIBV5,       CF_DIB};
  for (CLIPFORMAT format : formats) {
    if (Offers(data, format)) return true;
  }
  return false;
}
