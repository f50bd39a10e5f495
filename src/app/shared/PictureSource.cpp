#include "app/shared/PictureSource.h"

#include <array>
#include <cctype>
#include <string_view>

#include "control/QueryPicture.h"
#include "imaging/ToLower.h"
#include "infra/Platform.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Whether `text` holds a "%XX" escape at `at`.
bool IsEscape(std::string_view text, size_t at) {
  return text[at] == '%' && at + 2 < text.size() && HexValue(text[at + 1]) >= 0 && HexValue(text[at + 2]) >= 0;
}

std::string PercentDecoded(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsEscape(text, i)) {
      decoded.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      decoded.push_back(text[i]);
    }
  }
  return decoded;
}

std::string_view Trimmed(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n\v\f";
  const size_t first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

PictureSource Source(PictureSource::Kind kind) {
  PictureSource source;
  source.kind = kind;
  return source;
}

PictureSource FileSource(std::string path) {
  PictureSource source = Source(PictureSource::Kind::kFile);
  source.path = std::move(path);
  return source;
}

PictureSource LinkSource(std::string url) {
  PictureSource source = Source(PictureSource::Kind::kLink);
  source.url = std::move(url);
  return source;
}

// The first payload in the order of preference: the file formats as the
// source program offered them keep every pixel as it was.
std::string PictureData(const DropData& data) {
  static constexpr std::array<std::string_view, 5> kFormats = {"image/png", "image/jpeg", "image/gif",
                                                               "image/webp", "image/bmp"};
  for (const std::string_view format : kFormats) {
    for (const auto& [type, bytes] : data.pictures) {
      if (type == format && !bytes.empty()) return bytes;
    }
  }
  return {};
}

}  // namespace

std::string PictureSource::FileUrlPath(const std::string& url) {
  if (ToLower(url.substr(0, 5)) != "file:") return {};
  std::string_view rest = std::string_view(url).substr(5);
  rest = rest.substr(0, rest.find_first_of("?#"));
  std::string host;
  if (rest.substr(0, 2) == "//") {
    rest.remove_prefix(2);
    const size_t slash = rest.find('/');
    host = PercentDecoded(rest.substr(0, slash));
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
  }
  std::string path = PercentDecoded(rest);
  // "%00" would cut the name short at the system's edge: no file is named so.
  if (path.empty() || path.find('\0') != std::string::npos || host.find('\0') != std::string::npos) return {};
  if (!host.empty() && ToLower(host) != "localhost") return "//" + host + path;
  // "file:///C:/x" names "C:/x".
  if (path.size() >= 3 && path[0] == '/' && std::isalpha(static_cast<unsigned char>(path[1])) && path[2] == ':')
    path.erase(0, 1);
  return path;
}

std::string PictureSource::WebUrl(const std::string& url) {
  if (!QueryPicture::IsLink(url)) return {};
  const std::string_view whole = std::string_view(url).substr(0, url.find('#'));
  const size_t hostStart = whole.find("//") + 2;
  if (hostStart >= whole.size() || whole[hostStart] == '/') return {};
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(whole.size());
  for (size_t i = 0; i < whole.size(); ++i) {
    const auto c = static_cast<unsigned char>(whole[i]);
    if (c <= 0x20 || c >= 0x7F || (c == '%' && !IsEscape(whole, i))) {
      encoded.push_back('%');
      encoded.push_back(kHex[c >> 4]);
      encoded.push_back(kHex[c & 0xF]);
    } else {
      encoded.push_back(static_cast<char>(c));
    }
  }
  return encoded;
}

PictureSource PictureSource::From(const DropData& data) {
  if (!data.files.empty() && !data.files.front().empty()) return FileSource(data.files.front());
  const std::string firstUrl = data.urls.empty() ? std::string() : data.urls.front();
  if (std::string path = FileUrlPath(firstUrl); !path.empty()) return FileSource(std::move(path));

  if (std::string bytes = PictureData(data); !bytes.empty()) {
    PictureSource source = Source(Kind::kData);
    source.bytes = std::move(bytes);
    return source;
  }

  if (std::string url = WebUrl(firstUrl); !url.empty()) return LinkSource(std::move(url));

  // The first line of the text, as a file URL, a link or an absolute path.
  std::string_view text = Trimmed(data.text);
  text = Trimmed(text.substr(0, text.find('\n')));
  if (text.empty()) return {};
  const std::string line(text);
  if (std::string path = FileUrlPath(line); !path.empty()) return FileSource(std::move(path));
  if (std::string url = WebUrl(line); !url.empty()) return LinkSource(std::move(url));
  if (platform::IsAbsolutePath(line)) return FileSource(line);
  return Source(Kind::kNotAPicture);
}
