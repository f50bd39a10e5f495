#include "demosite/EucJpEncoding.h"

#include <iconv.h>

#include <cerrno>

namespace {

// One conversion descriptor per call: iconv keeps shift state in it.
class Iconv {
 public:
  Iconv() : handle_(iconv_open("EUC-JP", "UTF-8")) {}
  ~Iconv() {
    if (Valid()) iconv_close(handle_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool Valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t Get() const { return handle_; }

 private:
  iconv_t handle_;
};

}  // namespace

std::string Utf8ToEucJp(std::string_view utf8) {
  Iconv converter;
  if (!converter.Valid()) return std::string(utf8);
  std::string output;
  output.reserve(utf8.size());
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char buffer[4096];
  while (inLeft > 0) {
    char* out = buffer;
    size_t outLeft = sizeof buffer;
    const size_t result = iconv(converter.Get(), &in, &inLeft, &out, &outLeft);
    output.append(buffer, static_cast<size_t>(out - buffer));
    if (result != static_cast<size_t>(-1) || errno == E2BIG) continue;
    // Skip the whole UTF-8 sequence that has no EUC-JP form.
    output.push_back('?');
    size_t skip = 1;
    while (skip < inLeft && skip < 4 && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80) ++skip;
    in += skip;
    inLeft -= skip;
  }
  return output;
}
