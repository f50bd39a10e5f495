#include "infra/Cp932Converter.h"

#include <windows.h>

#include "infra/WideText.h"

namespace {

constexpr UINT kCodePage = 932;

// Bytes Windows' table maps but Linux's leaves undefined; undefined here too.
bool IsUndefinedSingleByte(unsigned char byte) { return byte == 0x80 || byte == 0xA0 || byte >= 0xFD; }

bool IsLeadByte(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

// The UTF-8 of the code page 932 character at the start of `input` and the
// bytes it takes; 0 when no character starts there.
size_t DecodeOne(std::string_view input, std::string* utf8) {
  const auto lead = static_cast<unsigned char>(input[0]);
  if (lead < 0x80) {
    utf8->push_back(static_cast<char>(lead));
    return 1;
  }
  if (IsUndefinedSingleByte(lead)) return 0;
  const size_t length = IsLeadByte(lead) ? 2 : 1;
  if (input.size() < length) return 0;
  wchar_t wide[2];
  const int count = ::MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, input.data(), static_cast<int>(length), wide, 2);
  if (count != 1) return 0;
  AppendUtf8(utf8, static_cast<char32_t>(wide[0]));
  return length;
}

// Characters Linux's table encodes one way (they decode to another
// character) and Windows' does not encode at all: encoded here as there.
struct OneWay {
  char32_t codePoint;
  const char* bytes;
};
constexpr OneWay kOneWay[] = {
    {U'\u00A2', "\x81\x91"}, {U'\u00A3', "\x81\x92"}, {U'\u00A5', "\x5C"},
    {U'\u00AC', "\x81\xCA"}, {U'\u2014', "\x81\x5C"}, {U'\u2016', "\x81\x61"},
    {U'\u203E', "\x7E"},     {U'\u2212', "\x81\x7C"}, {U'\u301C', "\x81\x60"},
};

// The code page 932 bytes of one code point; false when it has none.
bool EncodeOne(char32_t codePoint, std::string* cp932) {
  if (codePoint < 0x80) {
    cp932->push_back(static_cast<char>(codePoint));
    return true;
  }
  for (const OneWay& oneWay : kOneWay) {
    if (oneWay.codePoint == codePoint) {
      cp932->append(oneWay.bytes);
      return true;
    }
  }
  if (codePoint > 0xFFFF) return false;  // the code page holds no character past the BMP
  const wchar_t wide = static_cast<wchar_t>(codePoint);
  char bytes[4];
  BOOL usedDefault = FALSE;
  const int count = ::WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, &wide, 1, bytes, sizeof bytes, nullptr, &usedDefault);
  if (count < 1 || count > 2 || usedDefault) return false;
  if (count == 1 && IsUndefinedSingleByte(static_cast<unsigned char>(bytes[0]))) return false;
  cp932->append(bytes, static_cast<size_t>(count));
  return true;
}

// One step of a conversion: the bytes of `input` taken (0: none could be).
size_t Step(Cp932Converter::Direction direction, std::string_view input, std::string* output) {
  if (direction == Cp932Converter::Direction::kToUtf8) return DecodeOne(input, output);
  char32_t codePoint = 0;
  const size_t length = DecodeUtf8(input, &codePoint);
  if (length == 0 || !EncodeOne(codePoint, output)) return 0;
  return length;
}

}  // namespace

struct Cp932Converter::State {};

Cp932Converter::Cp932Converter(Direction direction) : direction_(direction), state_(new State) {}

Cp932Converter::~Cp932Converter() = default;

const Cp932Converter& Cp932Converter::ForThisThread(Direction direction) {
  static const Cp932Converter toUtf8(Direction::kToUtf8);
  static const Cp932Converter fromUtf8(Direction::kFromUtf8);
  return direction == Direction::kToUtf8 ? toUtf8 : fromUtf8;
}

bool Cp932Converter::ConvertExactly(std::string_view input, std::string* output) const {
  output->clear();
  while (!input.empty()) {
    const size_t taken = Step(direction_, input, output);
    if (taken == 0) return false;
    input.remove_prefix(taken);
  }
  return true;
}

std::string Cp932Converter::Convert(std::string_view input, std::string_view replacement) const {
  std::string output;
  output.reserve(input.size() * 2 + 16);
  while (!input.empty()) {
    size_t taken = Step(direction_, input, &output);
    if (taken == 0) {
      output.append(replacement);
      // Resynchronise as the Linux conversion does: a whole UTF-8 sequence,
      // or one byte of code page 932.
      taken = 1;
      if (direction_ == Direction::kFromUtf8 && (static_cast<unsigned char>(input[0]) & 0xC0) == 0xC0) {
        while (taken < input.size() && taken < 4 && (static_cast<unsigned char>(input[taken]) & 0xC0) == 0x80)
          ++taken;
      }
    }
    input.remove_prefix(taken);
  }
  return output;
}
