#include "app/win/DataObjectReader.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/win/WinText.h"

namespace {

CLIPFORMAT Registered(const wchar_t* name) { return static_cast<CLIPFORMAT>(RegisterClipboardFormatW(name)); }

// The bytes of one format, however the source keeps them; empty when it
// does not offer the format.
using Fetch = std::function<std::string(CLIPFORMAT)>;

std::string GlobalBytes(HGLOBAL memory) {
  std::string bytes;
  if (!memory) return bytes;
  if (const void* locked = GlobalLock(memory)) {
    bytes.assign(static_cast<const char*>(locked), GlobalSize(memory));
    GlobalUnlock(memory);
  }
  return bytes;
}

std::string StreamBytes(IStream* stream) {
  std::string bytes;
  char buffer[65536];
  ULONG got = 0;
  // Picture data past the search's own limit is refused there; stop well after it.
  while (bytes.size() < (std::size_t{256} << 20) && SUCCEEDED(stream->Read(buffer, sizeof(buffer), &got)) &&
         got > 0) {
    bytes.append(buffer, got);
  }
  return bytes;
}

std::string FromDataObject(IDataObject* data, CLIPFORMAT format) {
  FORMATETC wanted{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL | TYMED_ISTREAM};
  STGMEDIUM medium{};
  if (FAILED(data->GetData(&wanted, &medium))) return {};
  std::string bytes;
  if (medium.tymed == TYMED_HGLOBAL) bytes = GlobalBytes(medium.hGlobal);
  if (medium.tymed == TYMED_ISTREAM && medium.pstm) bytes = StreamBytes(medium.pstm);
  ReleaseStgMedium(&medium);
  return bytes;
}

// A wide string of at most the bytes given, up to its first null.
std::wstring WideString(const std::string& bytes) {
  std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
  return text.substr(0, text.find(L'\0'));
}

std::string NarrowString(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }

// The paths of a DROPFILES block: wide or ANSI names, each ended by a null,
// the list by a second one.
std::vector<std::string> FileList(const std::string& bytes) {
  std::vector<std::string> files;
  DROPFILES header;
  if (bytes.size() < sizeof(header)) return files;
  std::memcpy(&header, bytes.data(), sizeof(header));
  if (header.pFiles < sizeof(header) || header.pFiles >= bytes.size()) return files;
  const std::string names = bytes.substr(header.pFiles);
  if (header.fWide) {
    const std::wstring all = std::wstring(reinterpret_cast<const wchar_t*>(names.data()), names.size() / 2);
    for (std::size_t at = 0; at < all.size() && all[at] != L'\0';) {
      const std::size_t end = std::min(all.find(L'\0', at), all.size());
      files.push_back(Utf8FromWide(all.substr(at, end - at)));
      at = end + 1;
    }
  } else {
    for (std::size_t at = 0; at < names.size() && names[at] != '\0';) {
      const std::size_t end = std::min(names.find('\0', at), names.size());
      // ANSI names: through the system's code page.
      const std::string name = names.substr(at, end - at);
      const int length = MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
      std::wstring wide(static_cast<std::size_t>(length), L'\0');
      MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), wide.data(), length);
      files.push_back(Utf8FromWide(wide));
      at = end + 1;
    }
  }
  return files;
}

// A packed device-independent bitmap as a BMP file: the file header says
// where the pixels start, past the info header, the colour masks and the
// colour table. Empty when the header does not hold together.
std::string BmpFile(const std::string& dib) {
  if (dib.size() < sizeof(BITMAPINFOHEADER)) return {};
  BITMAPINFOHEADER info;
  std::memcpy(&info, dib.data(), sizeof(info));
  if (info.biSize < sizeof(BITMAPINFOHEADER) || info.biSize > dib.size()) return {};
  std::size_t offset = info.biSize;
  // Masks follow a plain info header; the larger headers hold them.
  if (info.biSize == sizeof(BITMAPINFOHEADER) && (info.biCompression == BI_BITFIELDS || info.biCompression == 6)) {
    offset += info.biCompression == BI_BITFIELDS ? 12 : 16;
  }
  std::size_t colours = info.biClrUsed;
  if (colours == 0 && info.biBitCount <= 8) colours = std::size_t{1} << info.biBitCount;
  if (colours > 256) return {};
  offset += colours * 4;
  if (offset > dib.size()) return {};
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfSize = static_cast<DWORD>(sizeof(file) + dib.size());
  file.bfOffBits = static_cast<DWORD>(sizeof(file) + offset);
  return std::string(reinterpret_cast<const char*>(&file), sizeof(file)) + dib;
}

DropData ReadFormats(const Fetch& fetch) {
  DropData payload;
  payload.files = FileList(fetch(CF_HDROP));
  if (std::wstring url = WideString(fetch(Registered(CFSTR_INETURLW))); !url.empty()) {
    payload.urls.push_back(Utf8FromWide(url));
  } else if (std::string ansi = NarrowString(fetch(Registered(CFSTR_INETURLA))); !ansi.empty()) {
    payload.urls.push_back(ansi);
  } else if (std::wstring moz = WideString(fetch(Registered(L"text/x-moz-url"))); !moz.empty()) {
    // The address, then a line feed and the link's title.
    payload.urls.push_back(Utf8FromWide(moz.substr(0, moz.find(L'\n'))));
  }
  payload.text = Utf8FromWide(WideString(fetch(CF_UNICODETEXT)));
  if (std::string png = fetch(Registered(L"PNG")); !png.empty()) payload.pictures.emplace_back("image/png", png);
  // One bitmap is enough: the system offers the same picture in both headers.
  std::string bitmap = BmpFile(fetch(CF_DIBV5));
  if (bitmap.empty()) bitmap = BmpFile(fetch(CF_DIB));
  if (!bitmap.empty()) payload.pictures.emplace_back("image/bmp", std::move(bitmap));
  return payload;
}

std::vector<CLIPFORMAT> Formats() {
  return {CF_HDROP,       Registered(CFSTR_INETURLW), Registered(CFSTR_INETURLA), Registered(L"text/x-moz-url"),
          CF_UNICODETEXT, Registered(L"PNG"),         CF_DIBV5,                   CF_DIB};
}

}  // namespace

DropData ReadDataObject(IDataObject* data) {
  if (!data) return {};
  return ReadFormats([data](CLIPFORMAT format) { return FromDataObject(data, format); });
}

DropData ReadClipboard(HWND owner) {
  if (!OpenClipboard(owner)) return {};
  const DropData payload = ReadFormats([](CLIPFORMAT format) {
    return IsClipboardFormatAvailable(format) ? GlobalBytes(GetClipboardData(format)) : std::string();
  });
  CloseClipboard();
  return payload;
}

bool OffersPayload(IDataObject* data) {
  if (!data) return false;
  for (CLIPFORMAT format : Formats()) {
    FORMATETC wanted{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL | TYMED_ISTREAM};
    if (data->QueryGetData(&wanted) == S_OK) return true;
  }
  return false;
}
