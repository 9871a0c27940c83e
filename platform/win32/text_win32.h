// Conversions between the launcher's narrow texts and UTF-16 on Windows.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace platform::win32 {

inline std::wstring Widen(std::string_view text, UINT codePage) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  int n = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  std::wstring wide(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), n);
  return wide;
}

inline std::string Narrow(std::wstring_view wide, UINT codePage) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  int n = WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(n > 0 ? n : 0, '\0');
  if (n > 0) WideCharToMultiByte(codePage, 0, wide.data(), size, text.data(), n, nullptr, nullptr);
  return text;
}

// The system's ANSI code page, which the UTF-8 process code page hides from
// GetACP: the encoding of media and texts written before it.
inline UINT SystemAnsiCodePage() {
  static const UINT codePage = [] {
    char digits[8] = {};
    GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, digits, sizeof digits);
    UINT value = 0;
    for (const char* p = digits; *p >= '0' && *p <= '9'; ++p) value = value * 10 + UINT(*p - '0');
    // 0 stands for a locale without one (Unicode only): the process's own.
    return value != 0 ? value : GetACP();
  }();
  return codePage;
}

// One byte that is no part of a UTF-8 sequence, as the letter the system's
// ANSI code page gives it.
inline char16_t AnsiChar(unsigned char byte) {
  const char narrow = static_cast<char>(byte);
  WCHAR unit = 0xFFFD;
  MultiByteToWideChar(SystemAnsiCodePage(), 0, &narrow, 1, &unit, 1);
  return static_cast<char16_t>(unit);
}

}  // namespace platform::win32
