// Conversions between the launcher's narrow texts and UTF-16 on Windows.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/shared/text_decode.h"

namespace platform::win32 {

inline std::wstring Widen(std::string_view text, UINT codePage) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  int n = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  std::wstring wide(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), n);
  return wide;
}

// `wide` in the process code page when every character has its exact
// counterpart there. Without WC_NO_BEST_FIT_CHARS the system would write
// look-alikes ("Ł" as "L", a full-width "\" as "\"), so that a path came to
// name another directory; UTF-8 takes neither that flag nor a default
// character, and refuses only unpaired surrogates.
inline bool ToProcessCodePageWhole(std::wstring_view wide, std::string& text) {
  text.clear();
  if (wide.empty()) return true;
  const bool utf8 = GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL defaulted = FALSE;
  BOOL* usedDefault = utf8 ? nullptr : &defaulted;
  const int size = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(CP_ACP, flags, wide.data(), size, nullptr, 0, nullptr, usedDefault);
  if (n <= 0 || defaulted) return false;
  text.resize(static_cast<size_t>(n));
  return WideCharToMultiByte(CP_ACP, flags, wide.data(), size, text.data(), n, nullptr, usedDefault) == n &&
         !defaulted;
}

inline bool ExactChar(std::u16string_view character, std::string& bytes) {
  return ToProcessCodePageWhole(
      std::wstring_view(reinterpret_cast<const wchar_t*>(character.data()), character.size()), bytes);
}

// `wide` in the process code page; a character without its exact
// counterpart there becomes '?' (see NarrowExactly). `lossless` tells
// whether none did.
inline std::string ToProcessCodePage(std::wstring_view wide, bool* lossless = nullptr) {
  std::string text;
  if (ToProcessCodePageWhole(wide, text)) {
    if (lossless) *lossless = true;
    return text;
  }
  return NarrowExactly(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()),
                       ExactChar, lossless);
}

// `wide` in the process code page, or nullopt (ERROR_NO_UNICODE_TRANSLATION
// as the last error) when a character has no exact counterpart there.
inline std::optional<std::string> ExactlyInProcessCodePage(std::wstring_view wide) {
  std::string text;
  if (ToProcessCodePageWhole(wide, text)) return text;
  SetLastError(ERROR_NO_UNICODE_TRANSLATION);
  return std::nullopt;
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
