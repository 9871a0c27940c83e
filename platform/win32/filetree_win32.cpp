// Directory trees on Windows. The tree walks work in UTF-16 with
// extended-length (\\?\) paths: a name is the one name the volume holds,
// never what the ANSI code page's best fit makes of it (full-width "．．＼"
// is no "..\"), a name outside that code page can still be removed, and
// paths may exceed MAX_PATH. Only the roots come in the process code page.
#include <windows.h>
#include <process.h>

#include "platform/platform.h"
#include "platform/shared/tree_walk.h"

namespace platform {

namespace {

using tree_walk::Kind;

std::wstring Widen(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int chars = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (chars <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(chars), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), chars);
  return wide;
}

// The text in the process code page; nullopt when `exact` and a character
// has no exact counterpart there (no best-fit look-alikes). UTF-8 as the
// process code page takes neither the best-fit flag nor a default character.
std::optional<std::string> Narrow(const std::wstring& wide, bool exact) {
  if (wide.empty()) return std::string();
  const bool utf8 = GetACP() == CP_UTF8;
  DWORD flags = 0;
  BOOL defaulted = FALSE;
  BOOL* usedDefault = nullptr;
  if (exact) {
    flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    if (!utf8) usedDefault = &defaulted;
  }
  const int size = static_cast<int>(wide.size());
  const int bytes = WideCharToMultiByte(CP_ACP, flags, wide.data(), size, nullptr, 0, nullptr, usedDefault);
  if (bytes <= 0 || defaulted) return std::nullopt;
  std::string text(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, flags, wide.data(), size, text.data(), bytes, nullptr, usedDefault);
  return text;
}

}  // namespace

std::optional<std::vector<DirEntry>> ListDirectory(const std::string& dir) {
  WIN32_FIND_DATAW data;
  std::wstring pattern = Widen(dir);
  if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
  pattern += L"*.*";
  HANDLE find = FindFirstFileW(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<DirEntry> entries;
  do {
    const std::wstring wide = data.cFileName;
    if (wide == L"." || wide == L"..") continue;
    // Callers join names into narrow paths: one that the code page cannot
    // hold exactly would name another file there, or none.
    std::optional<std::string> name = Narrow(wide, true);
    if (!name) continue;
    entries.push_back({*name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                       (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return entries;
}

namespace {

// `dir` and `name` with one backslash between them.
std::wstring JoinPath(const std::wstring& dir, const std::wstring& name) {
  if (dir.empty()) return name;
  if (name.empty()) return dir;
  return dir.back() == L'\\' ? dir + name : dir + L'\\' + name;
}

// The absolute \\?\ form of a root given in the process code page: no
// further parsing of "." or "..", no MAX_PATH, no device names. Empty when
// it cannot be formed.
std::wstring ExtendedRoot(const std::string& root) {
  const std::wstring wide = Widen(root);
  if (wide.empty()) return wide;
  if (wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return std::wstring();
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return std::wstring();
  full.resize(length);
  if (full.rfind(L"\\\\.\\", 0) == 0) return std::wstring();  // a device, not a directory
  std::wstring extended = full.rfind(L"\\\\", 0) == 0 ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
  // "C:\" keeps its backslash: "\\?\C:" names the volume, not its root.
  if (extended.size() > 1 && extended.back() == L'\\' && extended[extended.size() - 2] != L':') {
    extended.pop_back();
  }
  return extended;
}

bool IsReparsePoint(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Removes a link, junction or file (a directory reparse point goes with
// RemoveDirectoryW, which leaves its target alone).
bool RemoveEntry(const std::wstring& path, DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return RemoveDirectoryW(path.c_str()) != 0;
  return DeleteFileW(path.c_str()) != 0;
}

// A tree below a root directory (and, for a copy, a destination root),
// addressed by relative paths; see tree_walk.h.
class Win32Tree {
 public:
  using Name = std::wstring;
  static constexpr bool kMakesDirectoryLinks = false;
  // A volume compares names without regard to case: a medium read from a
  // system that keeps case apart may hold "A" and "a", which land on one file.
  static constexpr bool kFoldsCase = true;
  static Name Fold(Name name) {
    if (!name.empty()) CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
    return name;
  }
  static bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
  static Name Join(const Name& dir, const Name& name) { return JoinPath(dir, name); }

  // A source root that is a reparse point is followed only when `followRoot`.
  Win32Tree(const std::string& source, bool followRoot, const std::string& destination = {})
      : source_(ExtendedRoot(source)), destination_(ExtendedRoot(destination)), followRoot_(followRoot) {}

  struct Listing {
    std::wstring path;
    std::vector<tree_walk::Entry<Name>> entries;
  };
  std::optional<Listing> List(const Name& rel) const {
    if (source_.empty()) return std::nullopt;
    Listing listing{JoinPath(source_, rel), {}};
    if (rel.empty() && !followRoot_ && IsReparsePoint(GetFileAttributesW(listing.path.c_str()))) {
      return std::nullopt;
    }
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(JoinPath(listing.path, L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return std::nullopt;
    do {
      const DWORD attributes = data.dwFileAttributes;
      const Kind kind = !(attributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::kOther
                        : (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? Kind::kDirectoryLink
                                                                      : Kind::kDirectory;
      listing.entries.push_back({data.cFileName, kind});
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return listing;
  }

  // A junction or link where the directory goes is replaced by a directory.
  bool MakeDir(const Name& rel) const {
    if (destination_.empty()) return false;
    const std::wstring path = JoinPath(destination_, rel);
    if (CreateDirectoryW(path.c_str(), nullptr)) return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (IsReparsePoint(attributes)) {
      return RemoveEntry(path, attributes) && CreateDirectoryW(path.c_str(), nullptr);
    }
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  struct CopyDir {
    std::wstring source;
    std::wstring destination;
  };
  CopyDir OpenCopyDir(const Name& rel) const { return {JoinPath(source_, rel), JoinPath(destination_, rel)}; }
  // CopyFileW follows a link at the source (the file is copied) and would
  // write through one at the destination: that one is removed first.
  bool CopyEntry(const CopyDir& dir, const Name& name, Kind) const {
    if (source_.empty() || destination_.empty()) return false;
    const std::wstring from = JoinPath(dir.source, name);
    const std::wstring to = JoinPath(dir.destination, name);
    const DWORD existing = GetFileAttributesW(to.c_str());
    if (IsReparsePoint(existing)) RemoveEntry(to, existing);
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) return false;
    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
      SetFileAttributesW(to.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    return true;
  }

  std::string SourcePath(const Name& rel, const Name& name) const {
    std::wstring path = JoinPath(JoinPath(source_, rel), name);
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) {
      path.erase(2, 6);
    } else if (path.rfind(L"\\\\?\\", 0) == 0) {
      path.erase(0, 4);
    }
    return Narrow(path, false).value_or(std::string());
  }

  void DeleteEntry(const Listing& listing, const tree_walk::Entry<Name>& entry) const {
    const std::wstring path = JoinPath(listing.path, entry.name);
    if (entry.kind == Kind::kDirectoryLink) {
      RemoveDirectoryW(path.c_str());
    } else {
      DeleteFileW(path.c_str());
    }
  }
  void RemoveDir(const Name& rel) const {
    if (!source_.empty()) RemoveDirectoryW(JoinPath(source_, rel).c_str());
  }

 private:
  std::wstring source_;       // \\?\ absolute; empty when it could not be formed
  std::wstring destination_;  // the same, for a copy
  bool followRoot_;
};

}  // namespace

TreeCopy::TreeCopy(const std::string& source, const std::string& destination)
    : impl_(std::make_unique<tree_walk::CopyPlan<Win32Tree>>(Win32Tree(source, true, destination))) {}

void DeleteTree(const std::string& root) { tree_walk::DeleteTree(Win32Tree(root, false)); }

namespace tree_walk {

namespace {

unsigned __stdcall RunWork(void* work) {
  (*static_cast<const std::function<void()>*>(work))();
  return 0;
}

// The threads started for one call; joined and closed however it ends.
class ThreadGroup {
 public:
  ~ThreadGroup() {
    for (HANDLE thread : threads_) {
      WaitForSingleObject(thread, INFINITE);
      CloseHandle(thread);
    }
  }
  bool Start(const std::function<void()>& work) {
    threads_.reserve(threads_.size() + 1);  // before the start: a started thread is always joined
    const uintptr_t thread =
        _beginthreadex(nullptr, 0, RunWork, const_cast<std::function<void()>*>(&work), 0, nullptr);
    if (thread == 0) return false;
    threads_.push_back(reinterpret_cast<HANDLE>(thread));
    return true;
  }
  size_t size() const { return threads_.size(); }

 private:
  std::vector<HANDLE> threads_;
};

}  // namespace

// _beginthreadex rather than std::thread, which this toolchain's thread
// model lacks; it also sets up the C runtime's data for the thread.
void RunOnThreads(unsigned count, const std::function<void()>& work) {
  ThreadGroup threads;
  try {
    while (threads.size() + 1 < count && threads.Start(work)) {
    }
  } catch (const std::bad_alloc&) {
    // Those started and this thread do the work.
  }
  work();
}

unsigned ProcessorCount() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
    unsigned count = 0;
    for (; process != 0; process &= process - 1) ++count;
    return count;
  }
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

}  // namespace tree_walk

int64_t CountTreeFiles(const std::string& root) { return tree_walk::CountFiles(Win32Tree(root, false)); }

std::optional<DiskSpace> QueryDiskSpace(const std::string& dir) {
  if (auto& fake = TestOverrides().disk.query) return fake(dir);
  // Looked up rather than linked, so the launcher still starts where kernel32
  // lacks the extended query.
  using ExQuery = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
  if (!kernel) return std::nullopt;
  auto query = reinterpret_cast<ExQuery>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "GetDiskFreeSpaceExA")));
  if (!query) return std::nullopt;
  ULARGE_INTEGER available, total, totalFree;
  if (!query(dir.c_str(), &available, &total, &totalFree)) return std::nullopt;
  return DiskSpace{total.QuadPart, available.QuadPart};
}

std::optional<uint64_t> QueryRootFreeBytes(const std::string& path) {
  if (auto& fake = TestOverrides().disk.rootFreeBytes) return fake(path);
  std::string root = path.substr(0, 3);
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  if (!GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                         &clusters)) {
    return std::nullopt;
  }
  return uint64_t{sectorsPerCluster} * bytesPerSector * freeClusters;
}

}  // namespace platform
