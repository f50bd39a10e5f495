#pragma once

#include <string>

// Sets or removes a variable of this process's environment, where both the C
// library and the system's own calls see it.
void SetVariable(const char* name, const std::string& value);
void UnsetVariable(const char* name);
