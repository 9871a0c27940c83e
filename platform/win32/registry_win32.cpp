// The registry of the Windows build: HKEY_LOCAL_MACHINE through advapi32.
#include <windows.h>

#include <vector>

#include "platform/platform.h"

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

long RegQueryValue(const RegKey& key, const std::string& name, std::string& data, size_t maxBytes) {
  std::vector<BYTE> buffer(maxBytes + 1);
  DWORD size = static_cast<DWORD>(maxBytes);
  LONG status = RegQueryValueExA(Handle(key), name.c_str(), nullptr, nullptr, buffer.data(), &size);
  if (status == ERROR_SUCCESS) data.assign(reinterpret_cast<char*>(buffer.data()), size);
  return status;
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
