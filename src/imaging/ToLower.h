#pragma once

#include <string>

// A copy of `text` with each byte from 'A' to 'Z' lowered to 'a' to 'z' and
// every other byte (Shift-JIS lead and trail bytes included) unchanged.
std::string ToLower(const std::string& text);
