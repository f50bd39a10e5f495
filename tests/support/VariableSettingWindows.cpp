#include "support/VariableSetting.h"

#include <windows.h>

#include <cstdlib>

#include "support/WideText.h"

// The C library's copy and the process's block (which the platform layer
// reads with GetEnvironmentVariableW) are both set; values are UTF-8.
void SetVariable(const char* name, const std::string& value) {
  ::_putenv_s(name, value.c_str());
  ::SetEnvironmentVariableW(WideText(name).c_str(), WideText(value).c_str());
}

void UnsetVariable(const char* name) {
  ::_putenv_s(name, "");
  ::SetEnvironmentVariableW(WideText(name).c_str(), nullptr);
}
