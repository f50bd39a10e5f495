#include "infra/WindowsText.h"

#include <windows.h>

#include <cstdint>
#include <random>

#include "infra/WideText.h"

std::wstring Wide(std::string_view utf8) {
  const std::u16string text = Utf8ToUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}

std::string Narrow(std::wstring_view wide) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

std::string LastErrorText() {
  const DWORD code = ::GetLastError();
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = "system error " + std::to_string(code);
  if (length != 0 && text != nullptr) {
    message = Narrow(std::wstring_view(text, length));
    ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
      message.pop_back();
  }
  // Callers may still ask which error it was.
  ::SetLastError(code);
  return message;
}

std::string RandomLetters(int count) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937_64 generator{std::random_device{}() ^
                                        (static_cast<std::uint64_t>(::GetCurrentProcessId()) << 32) ^
                                        static_cast<std::uint64_t>(::GetTickCount64())};
  std::string text;
  for (int i = 0; i < count; ++i) text += kLetters[generator() % (sizeof kLetters - 1)];
  return text;
}
