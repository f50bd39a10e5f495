#pragma once

#include <string>
#include <string_view>

// The UTF-16 edge of the Windows API, shared by this room's Windows sources
// (never included elsewhere): program text is UTF-8, the system's is UTF-16.
std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// The system's English text for the calling thread's last error, without a
// trailing period or line end; "system error N" when it has none.
std::string LastErrorText();

// `count` random letters and digits, for fresh file and folder names.
std::string RandomLetters(int count);
