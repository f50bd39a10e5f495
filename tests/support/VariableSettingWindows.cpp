#include "support/VariableSetting.h"

#include <windows.h>

#include <cstdlib>

#include "infra/WideText.h"

namespace {

std::wstring Wide(const std::string& utf8) {
  const std::u16string text = Utf8ToUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}

}  // namespace

// The C library's copy and the process's block (which the platform layer
// reads with GetEnvironmentVariableW) are both set; values are UTF-8.
void SetVariable(const char* name, const std::string& value) {
  ::_putenv_s(name, value.c_str());
  ::SetEnvironmentVariableW(Wide(name).c_str(), Wide(value).c_str());
}

void UnsetVariable(const char* name) {
  ::_putenv_s(name, "");
  ::SetEnvironmentVariableW(Wide(name).c_str(), nullptr);
}
