#pragma once

#include <optional>
#include <string>

// Sets or removes a variable of this process's environment, where both the C
// library and the system's own calls see it.
void SetVariable(const char* name, const std::string& value);
void UnsetVariable(const char* name);

// Sets (or, with nothing, removes) a variable while it lives; its previous
// value, or its absence, returns on destruction.
class VariableOverride {
 public:
  VariableOverride(const char* name, const std::optional<std::string>& value);
  ~VariableOverride();
  VariableOverride(const VariableOverride&) = delete;
  VariableOverride& operator=(const VariableOverride&) = delete;

 private:
  const char* name_;
  std::optional<std::string> previous_;
};
