#include "cli/OutputEscape.h"

#include <cstdint>
#include <cstdio>

namespace {

// The length of the valid UTF-8 sequence at the start of `bytes`, 0 when it
// does not start with one (RFC 3629: no overlong forms, no surrogates,
// nothing above U+10FFFF).
std::size_t Utf8Length(std::string_view bytes) {
  const auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  const std::uint8_t lead = at(0);
  std::size_t length = 0;
  std::uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead < 0x80) return 1;
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
  if (bytes.size() < length || at(1) < low || at(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (at(i) < 0x80 || at(i) > 0xBF) return 0;
  }
  return length;
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
