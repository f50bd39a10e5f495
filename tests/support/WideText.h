#pragma once

#include <string>

#include "infra/WideText.h"

// A UTF-8 text as the Windows API's wide characters (included by the
// support files for Windows only).
inline std::wstring WideText(const std::string& utf8) {
  const std::u16string text = Utf8ToUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}
