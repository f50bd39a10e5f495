#include "infra/Cp932Converter.h"

#include <iconv.h>

#include <cerrno>

struct Cp932Converter::State {
  iconv_t handle;
};

Cp932Converter::Cp932Converter(Direction direction)
    : direction_(direction),
      state_(new State{direction == Direction::kToUtf8 ? iconv_open("UTF-8", "CP932") : iconv_open("CP932", "UTF-8")}) {}

Cp932Converter::~Cp932Converter() {
  if (state_->handle != reinterpret_cast<iconv_t>(-1)) iconv_close(state_->handle);
}

const Cp932Converter& Cp932Converter::ForThisThread(Direction direction) {
  // iconv descriptors carry shift state, so each thread gets its own.
  thread_local const Cp932Converter toUtf8(Direction::kToUtf8);
  thread_local const Cp932Converter fromUtf8(Direction::kFromUtf8);
  return direction == Direction::kToUtf8 ? toUtf8 : fromUtf8;
}

bool Cp932Converter::ConvertExactly(std::string_view input, std::string* output) const {
  const iconv_t handle = state_->handle;
  if (handle == reinterpret_cast<iconv_t>(-1)) return false;
  output->clear();
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  char buffer[64];
  iconv(handle, nullptr, nullptr, nullptr, nullptr);
  while (inLeft > 0) {
    char* out = buffer;
    size_t outLeft = sizeof buffer;
    const size_t result = iconv(handle, &in, &inLeft, &out, &outLeft);
    output->append(buffer, static_cast<size_t>(out - buffer));
    if (result == static_cast<size_t>(-1) && errno != E2BIG) return false;
  }
  return true;
}

std::string Cp932Converter::Convert(std::string_view input, std::string_view replacement) const {
  const iconv_t handle = state_->handle;
  if (handle == reinterpret_cast<iconv_t>(-1)) return std::string(input);
  const bool utf8Input = direction_ == Direction::kFromUtf8;
  std::string output;
  output.reserve(input.size() * 2 + 16);
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  char buffer[4096];
  iconv(handle, nullptr, nullptr, nullptr, nullptr);
  while (inLeft > 0) {
    char* out = buffer;
    size_t outLeft = sizeof buffer;
    const size_t result = iconv(handle, &in, &inLeft, &out, &outLeft);
    output.append(buffer, static_cast<size_t>(out - buffer));
    if (result != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ (no mapping or broken sequence) or EINVAL (cut off at the end):
    // replace the offending character and resynchronise after it.
    output.append(replacement);
    size_t skip = 1;
    if (utf8Input && (static_cast<unsigned char>(*in) & 0xC0) == 0xC0) {
      while (skip < inLeft && skip < 4 && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80) ++skip;
    }
    in += skip;
    inLeft -= skip;
    iconv(handle, nullptr, nullptr, nullptr, nullptr);
  }
  char* out = buffer;
  size_t outLeft = sizeof buffer;
  iconv(handle, nullptr, nullptr, &out, &outLeft);
  output.append(buffer, static_cast<size_t>(out - buffer));
  return output;
}
