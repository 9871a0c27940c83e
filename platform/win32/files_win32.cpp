// Files, directories and profile files on Windows.
#include <windows.h>
#include <sddl.h>

#include <algorithm>
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

// The directories made owner-only, each held open without delete sharing
// until ReleaseDirectory or the end of the process. The handles are not
// inheritable: no child holds them on.
std::vector<std::pair<std::string, HANDLE>>& HeldDirectories() {
  static std::vector<std::pair<std::string, HANDLE>> held;
  return held;
}

// Opened for listing, because only an open that reads, writes or deletes
// takes part in the sharing checks; one for the attributes alone would let
// a rename through.
void HoldDirectory(const std::string& path) {
  HANDLE dir = CreateFileA(path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (dir != INVALID_HANDLE_VALUE) HeldDirectories().emplace_back(path, dir);
}

}  // namespace

// ownerOnly: a protected access list that admits the user, SYSTEM and the
// administrators and nobody else, whatever the parent allows. The default
// temp root C:\TEMP is writable by every user; without this another user
// could plant code in a directory an elevated installer runs from. The new
// directory is then held open without delete sharing, so that nobody, an
// administrator's program included, can rename or delete it, or on NTFS
// rename a directory above it, while the launcher runs: its path keeps
// naming it without a trust check of the temp root.
bool CreateDir(const std::string& path, bool ownerOnly) {
  if (!ownerOnly) return CreateDirectoryA(path.c_str(), nullptr) != 0;
  const std::string sid = CurrentUserSid();
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const std::string sddl = "D:P(A;OICI;FA;;;" + (sid.empty() ? std::string("OW") : sid) +
                           ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  BOOL made = FALSE;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                           nullptr)) {
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    made = CreateDirectoryA(path.c_str(), &attributes);
    LocalFree(descriptor);
  } else {
    made = CreateDirectoryA(path.c_str(), nullptr);
  }
  if (made) HoldDirectory(path);
  return made != 0;
}

void ReleaseDirectory(const std::string& path) {
  auto& held = HeldDirectories();
  for (auto it = held.begin(); it != held.end();) {
    if (it->first == path) {
      CloseHandle(it->second);
      it = held.erase(it);
    } else {
      ++it;
    }
  }
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

// The scratch directory is held open without delete sharing from its making
// on (CreateDir) and keeps others out with its own access list: what others
// may do in the temp root cannot move it, so every root is taken.
bool IsTrustedTempRoot(const std::string&) { return true; }

// The paths the system makes are read in UTF-16 and converted exactly: the A
// functions would write a letter the code page lacks as a look-alike, and
// name another directory.
std::optional<std::string> CurrentDir() {
  DWORD n = GetCurrentDirectoryW(0, nullptr);
  if (n == 0) return std::nullopt;
  std::vector<wchar_t> buffer(n + 1);
  DWORD got = GetCurrentDirectoryW(n + 1, buffer.data());
  if (got == 0 || got > n) return std::nullopt;
  return win32::ExactlyInProcessCodePage(std::wstring_view(buffer.data(), got));
}

bool SetCurrentDir(const std::string& path) { return SetCurrentDirectoryA(path.c_str()) != 0; }

std::optional<std::string> FullPath(const std::string& path) {
  const std::wstring wide = win32::Widen(path, CP_ACP);
  wchar_t buffer[1024];
  DWORD n = GetFullPathNameW(wide.c_str(), 1024, buffer, nullptr);
  if (n == 0) return std::nullopt;
  std::optional<std::string> full;
  if (n < 1024) full = win32::ExactlyInProcessCodePage(std::wstring_view(buffer, n));
  if (n >= 1024 || (full && full->size() >= 1024)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return std::nullopt;
  }
  return full;
}

// Without the UTF-8 process code page (before Windows 10 1903), a UTF-8
// value is taken to the ANSI code page, where it names what its author
// meant when that code page holds every letter; a letter it lacks becomes
// '?', so the value fails with its message instead of naming another file.
std::string TextFromFile(const std::string& bytes) {
  const bool utf8 = IsUtf8(bytes);
  if (utf8 && GetACP() == CP_UTF8) return bytes;
  if (utf8 && std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    return bytes;
  }
  return win32::ToProcessCodePage(win32::Widen(bytes, utf8 ? CP_UTF8 : win32::SystemAnsiCodePage()));
}

namespace {

enum class FileText { Ascii, Utf8, Utf16, Legacy, TooLarge, Unreadable };

// What the text of the file at `path` is: plain ASCII, UTF-8 beyond it,
// UTF-16 (with its byte-order mark) or neither (a legacy ANSI file).
FileText FileTextOf(const std::string& path) {
  struct Closer {
    void operator()(FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<FILE, Closer> file(std::fopen(path.c_str(), "rb"));
  if (!file) return FileText::Unreadable;
  std::string content;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0 && content.size() <= kMaxIniFileBytes) {
    content.append(buffer, n);
  }
  if (content.size() > kMaxIniFileBytes) return FileText::TooLarge;
  if (content.size() >= 2 && ((content[0] == '\xFF' && content[1] == '\xFE') ||
                              (content[0] == '\xFE' && content[1] == '\xFF'))) {
    return FileText::Utf16;
  }
  if (!IsUtf8(content)) return FileText::Legacy;
  const bool ascii =
      std::all_of(content.begin(), content.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  return ascii ? FileText::Ascii : FileText::Utf8;
}

// The profile service's wide function, for a UTF-16 file without the UTF-8
// process code page: the A function would give its letters as look-alikes.
std::string ReadWideProfileString(const std::string& section, const std::string& key,
                                  const std::string& defaultValue, const std::string& path, size_t maxChars) {
  std::vector<wchar_t> buffer(maxChars + 1);
  DWORD n = GetPrivateProfileStringW(win32::Widen(section, CP_ACP).c_str(), win32::Widen(key, CP_ACP).c_str(),
                                     win32::Widen(defaultValue, CP_ACP).c_str(), buffer.data(),
                                     static_cast<DWORD>(buffer.size()), win32::Widen(path, CP_ACP).c_str());
  // The A function's limit counts bytes: letters that would not fit whole
  // are dropped.
  std::wstring_view wide(buffer.data(), n);
  std::string value = win32::ToProcessCodePage(wide);
  while (value.size() > maxChars && !wide.empty()) {
    wide.remove_suffix(wide.size() >= 2 && IS_SURROGATE_PAIR(wide[wide.size() - 2], wide.back()) ? 2 : 1);
    value = win32::ToProcessCodePage(wide);
  }
  return value;
}

}  // namespace

std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& defaultValue, const std::string& path,
                              size_t maxChars) {
  // Files the profile service cannot serve go to the shared reader, which
  // answers as the service does: a name longer than its MAX_PATH buffers
  // (they overran, seen crashing; without long paths the file cannot be
  // opened and counts as absent), a legacy ANSI file, whose non-UTF-8 bytes
  // the service turns into U+FFFD under the UTF-8 code page, and, without
  // that code page, a UTF-8 file, whose letters the service would read as
  // ANSI ones.
  const FileText text = path.size() >= MAX_PATH ? FileText::Unreadable : FileTextOf(path);
  const bool utf8CodePage = GetACP() == CP_UTF8;
  // A file past the bound too: the profile service would read it whole.
  if (path.size() >= MAX_PATH || text == FileText::Legacy || text == FileText::TooLarge ||
      (text == FileText::Utf8 && !utf8CodePage)) {
    return TextFromFile(IniReadFileString(path, section, key, defaultValue, maxChars));
  }
  if (text == FileText::Utf16 && !utf8CodePage) {
    return ReadWideProfileString(section, key, defaultValue, path, maxChars);
  }
  std::vector<char> buffer(maxChars + 1);
  DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(),
                                     buffer.data(), static_cast<DWORD>(buffer.size()), path.c_str());
  return std::string(buffer.data(), n);
}

}  // namespace platform
