// Files, directories and profile files on Windows.
#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "platform/platform.h"
#include "platform/shared/ini_reader.h"
#include "platform/shared/text_decode.h"
#include "platform/win32/text_win32.h"

namespace platform {

const char* const kForbiddenTempChars = "/*?<>:|;";

size_t AbsoluteRootLength(const std::string& path) {
  if (path.size() >= 3 && IsCharAlphaA(path[0]) && path[1] == ':' && path[2] == '\\') return 3;
  return !path.empty() && path[0] == '\\' ? 1 : 0;
}

bool PathExists(const std::string& path) {
  return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool NameTaken(const std::string& path) {
  // The attributes of a link or junction are its own: nothing is followed.
  return PathExists(path);
}

bool IsDirectory(const std::string& path) {
  DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CanReadWrite(const std::string& path) {
  DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  // The read-only attribute means nothing on a directory; a file with it set
  // cannot be written.
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) || !(attributes & FILE_ATTRIBUTE_READONLY);
}

namespace {

// The string form of the SID of the user this process runs as; "" when the
// token cannot be read.
std::string CurrentUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size ? size : 1);
  std::string result;
  if (size && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
    char* text = nullptr;
    if (ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
      result = text;
      LocalFree(text);
    }
  }
  CloseHandle(token);
  return result;
}

}  // namespace

// ownerOnly: a protected access list that admits the user, SYSTEM and the
// administrators and nobody else, whatever the parent allows. The default
// temp root C:\TEMP is writable by every user; without this another user
// could plant code in a directory an elevated installer runs from.
bool CreateDir(const std::string& path, bool ownerOnly) {
  if (!ownerOnly) return CreateDirectoryA(path.c_str(), nullptr) != 0;
  const std::string sid = CurrentUserSid();
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const std::string sddl = "D:P(A;OICI;FA;;;" + (sid.empty() ? std::string("OW") : sid) +
                           ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    return CreateDirectoryA(path.c_str(), nullptr) != 0;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  BOOL made = CreateDirectoryA(path.c_str(), &attributes);
  LocalFree(descriptor);
  return made != 0;
}

std::optional<DirIdentity> DirectoryIdentity(const std::string& path) {
  if (path.empty()) return std::nullopt;
  HANDLE dir = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (dir == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info = {};
  const bool known = GetFileInformationByHandle(dir, &info) != 0;
  CloseHandle(dir);
  if (!known || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return std::nullopt;
  }
  return DirIdentity{info.dwVolumeSerialNumber,
                     (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow, 0, 0};
}

bool IsTrustedTempRoot(const std::string&) { return true; }

std::optional<std::string> CurrentDir() {
  DWORD n = GetCurrentDirectoryA(0, nullptr);
  if (n == 0) return std::nullopt;
  std::vector<char> buffer(n + 1);
  DWORD got = GetCurrentDirectoryA(n + 1, buffer.data());
  if (got == 0 || got > n) return std::nullopt;
  return std::string(buffer.data(), got);
}

bool SetCurrentDir(const std::string& path) { return SetCurrentDirectoryA(path.c_str()) != 0; }

std::optional<std::string> FullPath(const std::string& path) {
  char buffer[1024];
  DWORD n = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  if (n == 0) return std::nullopt;
  if (n >= sizeof buffer) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return std::nullopt;
  }
  return std::string(buffer, n);
}

std::string TextFromFile(const std::string& bytes) {
  if (IsUtf8(bytes)) return bytes;
  return win32::Narrow(win32::Widen(bytes, win32::SystemAnsiCodePage()), CP_ACP);
}

namespace {

// True when the file at `path` can be read and holds text that is neither
// UTF-8 nor UTF-16 (with its byte-order mark): a legacy ANSI file.
bool IsLegacyTextFile(const std::string& path) {
  struct Closer {
    void operator()(FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<FILE, Closer> file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;
  std::string content;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0 && content.size() < kMaxIniFileBytes) {
    content.append(buffer, n);
  }
  const bool utf16 = content.size() >= 2 && ((content[0] == '\xFF' && content[1] == '\xFE') ||
                                              (content[0] == '\xFE' && content[1] == '\xFF'));
  return !utf16 && !IsUtf8(content);
}

}  // namespace

std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& defaultValue, const std::string& path,
                              size_t maxChars) {
  // Two files the profile service cannot serve go to the shared reader, which
  // answers as the service does: a name longer than its MAX_PATH buffers
  // (they overran, seen crashing; without long paths the file cannot be
  // opened and counts as absent), and a legacy ANSI file, whose non-UTF-8
  // bytes the service turns into U+FFFD under the UTF-8 code page.
  if (path.size() >= MAX_PATH || IsLegacyTextFile(path)) {
    return TextFromFile(IniReadFileString(path, section, key, defaultValue, maxChars));
  }
  std::vector<char> buffer(maxChars + 1);
  DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(),
                                     buffer.data(), static_cast<DWORD>(buffer.size()), path.c_str());
  return std::string(buffer.data(), n);
}

}  // namespace platform
