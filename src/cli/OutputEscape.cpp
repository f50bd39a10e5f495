#include "cli/OutputEscape.h"

#include <cstdint>
#include <cstdio>

#include "infra/WideText.h"

namespace {

// The length of the valid UTF-8 sequence at the start of `bytes`, 0 when it
// does not start with one (no overlong forms, no surrogates, nothing above U+10FFFF).
std::size_t Utf8Length(std::string_view bytes) {
  char32_t ignored = 0;
  return DecodeUtf8(bytes, &ignored);
}

// Whether the valid sequence is a control character: C0, DEL or C1.
bool IsControl(std::string_view sequence) {
  const auto lead = static_cast<std::uint8_t>(sequence[0]);
  if (sequence.size() == 1) return lead < 0x20 || lead == 0x7F;
  return lead == 0xC2 && static_cast<std::uint8_t>(sequence[1]) <= 0x9F;
}

void AppendHex(const char* format, unsigned value, std::string* out) {
  char text[8];
  std::snprintf(text, sizeof text, format, value);
  *out += text;
}

// Calls `plain` for each valid non-control character, `control` with the
// code point of each control character and `invalid` with each byte that is
// not valid UTF-8.
template <typename Plain, typename Control, typename Invalid>
void Walk(std::string_view bytes, Plain plain, Control control, Invalid invalid) {
  while (!bytes.empty()) {
    const std::size_t length = Utf8Length(bytes);
    if (length == 0) {
      invalid(static_cast<std::uint8_t>(bytes[0]));
      bytes.remove_prefix(1);
      continue;
    }
    const std::string_view sequence = bytes.substr(0, length);
    if (IsControl(sequence)) {
      control(length == 1 ? static_cast<unsigned>(static_cast<std::uint8_t>(sequence[0]))
                          : static_cast<unsigned>(static_cast<std::uint8_t>(sequence[1])));
    } else {
      plain(sequence);
    }
    bytes.remove_prefix(length);
  }
}

}  // namespace

std::string OutputEscape::Text(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  const auto byte = [&](unsigned value) { AppendHex("\\x%02x", value, &out); };
  Walk(
      bytes, [&](std::string_view plain) { out += plain == "\\" ? std::string_view("\\\\") : plain; },
      [&](unsigned control) {
        if (control == '\t') {
          out += "\\t";
        } else if (control == '\n') {
          out += "\\n";
        } else if (control == '\r') {
          out += "\\r";
        } else if (control >= 0x80) {  // C1: both bytes of its UTF-8 form
          byte(0xC2);
          byte(control);
        } else {
          byte(control);
        }
      },
      byte);
  return out;
}

std::string OutputEscape::JsonString(std::string_view text) {
  std::string out = "\"";
  Walk(
      text,
      [&](std::string_view plain) {
        if (plain == "\"" || plain == "\\") out += '\\';
        out += plain;
      },
      [&](unsigned control) { AppendHex("\\u%04x", control, &out); },
      [&](unsigned invalid) { AppendHex("\\\\x%02x", invalid, &out); });
  return out + "\"";
}
