#include "support/VariableSetting.h"

#include "infra/Platform.h"

VariableOverride::VariableOverride(const char* name, const std::optional<std::string>& value)
    : name_(name), previous_(platform::EnvironmentVariable(name)) {
  if (value) {
    SetVariable(name, *value);
  } else {
    UnsetVariable(name);
  }
}

VariableOverride::~VariableOverride() {
  if (previous_) {
    SetVariable(name_, *previous_);
  } else {
    UnsetVariable(name_);
  }
}
