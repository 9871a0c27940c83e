// The registry of the Windows build: HKEY_LOCAL_MACHINE through advapi32.
#include <windows.h>

#include <vector>

#include "platform/platform.h"
#include "platform/win32/text_win32.h"

namespace platform {

namespace {
HKEY Handle(const RegKey& key) { return reinterpret_cast<HKEY>(key.handle_); }
}  // namespace

void RegKey::Close() {
  if (handle_) RegCloseKey(Handle(*this));
  handle_ = 0;
}

long RegOpenKey(const std::string& subKey, RegAccess access, RegKey& out, RegView view) {
  out.Close();
  HKEY key = nullptr;
  REGSAM rights = access == RegAccess::All ? KEY_ALL_ACCESS : KEY_QUERY_VALUE;
  if (view == RegView::Bits64) rights |= KEY_WOW64_64KEY;
  LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, rights, &key);
  if (status == ERROR_SUCCESS) out.handle_ = reinterpret_cast<uintptr_t>(key);
  return status;
}

// Texts are read in UTF-16 and converted exactly: the A function would give
// a letter the code page lacks as a look-alike, and an inventory path would
// name another directory. Such a text is not read at all
// (ERROR_NO_UNICODE_TRANSLATION). The limit counts the converted bytes, as
// the A function counts them.
long RegQueryValue(const RegKey& key, const std::string& name, std::string& data, size_t maxBytes) {
  // A text of maxBytes bytes has at most as many UTF-16 units.
  std::vector<BYTE> buffer(2 * maxBytes + 2);
  DWORD size = static_cast<DWORD>(buffer.size());
  DWORD type = REG_NONE;
  const std::wstring wideName = win32::Widen(name, CP_ACP);
  LONG status = RegQueryValueExW(Handle(key), wideName.c_str(), nullptr, &type, buffer.data(), &size);
  if (status == ERROR_MORE_DATA) return kRegMoreData;
  if (status != ERROR_SUCCESS) return status;
  std::string value(reinterpret_cast<char*>(buffer.data()), size);
  if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
    std::optional<std::string> text = win32::ExactlyInProcessCodePage(
        std::wstring_view(reinterpret_cast<const wchar_t*>(buffer.data()), size / sizeof(wchar_t)));
    if (!text) return ERROR_NO_UNICODE_TRANSLATION;
    value = *text;
  }
  if (value.size() > maxBytes) return kRegMoreData;
  data = value;
  return kRegOk;
}

long RegSetStringValue(const RegKey& key, const std::string& name, const std::string& text) {
  return RegSetValueExA(Handle(key), name.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

long RegDeleteValue(const RegKey& key, const std::string& name) {
  return RegDeleteValueA(Handle(key), name.c_str());
}

long RegCreateKey(const RegKey& key, const std::string& subKey, const std::string& keyClass,
                  RegKey& out) {
  out.Close();
  HKEY created = nullptr;
  DWORD disposition = 0;
  std::vector<char> klass(keyClass.begin(), keyClass.end());
  klass.push_back('\0');
  LONG status = RegCreateKeyExA(Handle(key), subKey.c_str(), 0, klass.data(), REG_OPTION_NON_VOLATILE,
                                KEY_ALL_ACCESS, nullptr, &created, &disposition);
  if (status == ERROR_SUCCESS) out.handle_ = reinterpret_cast<uintptr_t>(created);
  return status;
}

long RegDeleteKey(const RegKey& key, const std::string& subKey) {
  return RegDeleteKeyA(Handle(key), subKey.c_str());
}

}  // namespace platform
