#include "infra/TextEncoding.h"

#include <iconv.h>

#include <cerrno>

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

}  // namespace

std::string Cp932ToUtf8(std::string_view cp932) {
  return ToUtf8().Convert(cp932, "\xEF\xBF\xBD", /*utf8Input=*/false);
}

std::string Utf8ToCp932(std::string_view utf8) {
  return ToCp932().Convert(utf8, "?", /*utf8Input=*/true);
}

SjisText::SjisText(std::u8string_view utf8)
    : text_(Utf8ToCp932(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()))) {}
