#include "infra/TextEncoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

namespace {

// Owns one iconv descriptor.
class Converter {
 public:
  Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
  ~Converter() {
    if (Valid()) iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool Valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

  // Converts all of `input` into *output; false, with *output unspecified,
  // when any of it cannot be converted.
  bool ConvertExactly(std::string_view input, std::string* output) const {
    if (!Valid()) return false;
    output->clear();
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    char buffer[64];
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    while (inLeft > 0) {
      char* out = buffer;
      size_t outLeft = sizeof buffer;
      const size_t result = iconv(handle_, &in, &inLeft, &out, &outLeft);
      output->append(buffer, static_cast<size_t>(out - buffer));
      if (result == static_cast<size_t>(-1) && errno != E2BIG) return false;
    }
    return true;
  }

  // Converts all of `input`; each byte that cannot be taken is skipped and
  // `replacement` written in its place.
  // With `utf8Input`, a whole UTF-8 sequence is replaced at a time.
  std::string Convert(std::string_view input, std::string_view replacement,
                      bool utf8Input = false) const {
    std::string output;
    if (!Valid()) return std::string(input);
    output.reserve(input.size() * 2 + 16);
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    char buffer[4096];
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    while (inLeft > 0) {
      char* out = buffer;
      size_t outLeft = sizeof buffer;
      const size_t result = iconv(handle_, &in, &inLeft, &out, &outLeft);
      output.append(buffer, static_cast<size_t>(out - buffer));
      if (result != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) continue;
      // EILSEQ (no mapping or broken sequence) or EINVAL (cut off at the end):
      // replace the offending character and resynchronise after it.
      output.append(replacement);
      size_t skip = 1;
      if (utf8Input && (static_cast<unsigned char>(*in) & 0xC0) == 0xC0) {
        while (skip < inLeft && skip < 4 && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80)
          ++skip;
      }
      in += skip;
      inLeft -= skip;
      iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    }
    char* out = buffer;
    size_t outLeft = sizeof buffer;
    iconv(handle_, nullptr, nullptr, &out, &outLeft);
    output.append(buffer, static_cast<size_t>(out - buffer));
    return output;
  }

 private:
  iconv_t handle_;
};

// iconv descriptors carry shift state, so each thread gets its own.
const Converter& ToUtf8() {
  thread_local const Converter converter("UTF-8", "CP932");
  return converter;
}

const Converter& ToCp932() {
  thread_local const Converter converter("CP932", "UTF-8");
  return converter;
}

// The length of the valid UTF-8 sequence starting `text` and its code point;
// 0 when the first byte does not start one (stray continuation bytes,
// overlong forms, surrogates, values past U+10FFFF, sequences cut short).
size_t DecodeUtf8(std::string_view text, char32_t* codePoint) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) {
    *codePoint = lead;
    return 1;
  }
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  char32_t value = lead & (0xFF >> (length + 1));
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(i) & 0x3F);
  }
  *codePoint = value;
  return length;
}

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
  return ToUtf8().Convert(cp932, "\xEF\xBF\xBD", /*utf8Input=*/false);
}

std::string Utf8ToCp932(std::string_view utf8) {
  return ToCp932().Convert(utf8, "?", /*utf8Input=*/true);
}

SjisText::SjisText(std::u8string_view utf8)
    : text_(Utf8ToCp932(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()))) {}
