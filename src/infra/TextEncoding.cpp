#include "infra/TextEncoding.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "infra/Cp932Converter.h"
#include "infra/WideText.h"

namespace {

const Cp932Converter& ToUtf8() { return Cp932Converter::ForThisThread(Cp932Converter::Direction::kToUtf8); }

const Cp932Converter& ToCp932() { return Cp932Converter::ForThisThread(Cp932Converter::Direction::kFromUtf8); }

void AppendEscape(std::string* out, const char* format, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  out->append(text);
}

}  // namespace

std::string PathForLog(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() + 16);
  std::string sjis, back;
  while (!utf8.empty()) {
    char32_t codePoint = 0;
    const size_t length = DecodeUtf8(utf8, &codePoint);
    if (length == 0) {
      AppendEscape(&out, "\\x{%02X}", static_cast<unsigned char>(utf8.front()));
      utf8.remove_prefix(1);
      continue;
    }
    const std::string_view character = utf8.substr(0, length);
    utf8.remove_prefix(length);
    if (codePoint == U'\\') {
      out += "\\\\";
    } else if (codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F)) {
      AppendEscape(&out, "\\u{%04X}", static_cast<unsigned>(codePoint));
    } else if (codePoint < 0x80) {
      out += static_cast<char>(codePoint);
    } else if (ToCp932().ConvertExactly(character, &sjis) && ToUtf8().ConvertExactly(sjis, &back) &&
               back == character) {
      out += sjis;
    } else {
      AppendEscape(&out, "\\u{%04X}", static_cast<unsigned>(codePoint));
    }
  }
  return out;
}

std::string ValidCp932(std::string_view bytes) {
  std::string decoded;
  if (ToUtf8().ConvertExactly(bytes, &decoded)) return std::string(bytes);  // the usual case
  std::string out;
  while (!bytes.empty()) {
    // A character is one byte, or a lead byte (which never decodes alone)
    // with its trail byte.
    size_t take = 1;
    if (!ToUtf8().ConvertExactly(bytes.substr(0, 1), &decoded)) {
      take = bytes.size() >= 2 && ToUtf8().ConvertExactly(bytes.substr(0, 2), &decoded) ? 2 : 0;
    }
    if (take == 0) {
      AppendEscape(&out, "\\x{%02X}", static_cast<unsigned char>(bytes.front()));
      take = 1;
    } else {
      out.append(bytes.substr(0, take));
    }
    bytes.remove_prefix(take);
  }
  return out;
}

std::string Cp932ToUtf8(std::string_view cp932) {
  return ToUtf8().Convert(cp932, "\xEF\xBF\xBD");
}

std::string Utf8ToCp932(std::string_view utf8) {
  return ToCp932().Convert(utf8, "?");
}

SjisText::SjisText(std::u8string_view utf8)
    : text_(Utf8ToCp932(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()))) {}
