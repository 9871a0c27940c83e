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
                       tree_walk::windows::IsLink(data.dwFileAttributes, data.dwReserved0)});
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

// Whether what stands at `path` is a link or junction (tree_walk::windows).
// The attributes alone do not tell a link from a cloud placeholder: the tag
// comes from a listing of the path itself.
bool IsLinkAt(const std::wstring& path, DWORD attributes) {
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(path.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return true;  // a reparse point of unknown kind: not entered
  FindClose(find);
  return tree_walk::windows::IsLink(attributes, data.dwReserved0);
}

// Removes a link, junction or file (a directory link goes with
// RemoveDirectoryW, which leaves its target alone).
bool RemoveEntry(const std::wstring& path, DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return RemoveDirectoryW(path.c_str()) != 0;
  return DeleteFileW(path.c_str()) != 0;
}

// Makes the directory `path`; one already there is fine, a link or junction
// there is replaced by a directory.
bool MakeDirAt(const std::wstring& path) {
  if (CreateDirectoryW(path.c_str(), nullptr)) return true;
  if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (IsLinkAt(path, attributes)) return RemoveEntry(path, attributes) && CreateDirectoryW(path.c_str(), nullptr);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The longest \\?\ path the wide functions take, its NUL included.
constexpr size_t kMaxPathUnits = 32767;

// An open directory that stays where it is while held: without
// FILE_SHARE_DELETE no one can rename or remove it, nor so put a link or
// junction in its place. (It must read the directory for the share mode to
// count: an open for attributes alone is exempt.)
class DirGuard {
 public:
  DirGuard() = default;
  explicit DirGuard(HANDLE handle) : handle_(handle) {}
  ~DirGuard() { Close(); }
  DirGuard(DirGuard&& other) noexcept : handle_(other.handle_) { other.handle_ = INVALID_HANDLE_VALUE; }
  DirGuard& operator=(DirGuard&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.handle_;
      other.handle_ = INVALID_HANDLE_VALUE;
    }
    return *this;
  }
  HANDLE get() const { return handle_; }

 private:
  void Close() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Opens and holds the directory `path`, a link or junction there entered
// only when `followLink`. kBlocked when the system lacks the means, or
// another program holds it in a way that keeps it from being held.
tree_walk::Step HoldDirectory(const std::wstring& path, bool followLink, DirGuard& guard) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  DirGuard held(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, flags, nullptr));
  if (held.get() == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const bool blocked = error == ERROR_SHARING_VIOLATION || error == ERROR_TOO_MANY_OPEN_FILES ||
                         error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY ||
                         error == ERROR_NO_SYSTEM_RESOURCES;
    return blocked ? tree_walk::Step::kBlocked : tree_walk::Step::kUnreachable;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(held.get(), &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return tree_walk::Step::kUnreachable;
  }
  // Held, and every directory above it too, the path names what was opened:
  // its tag can come from a listing of the path.
  if (!followLink && IsLinkAt(path, info.dwFileAttributes)) return tree_walk::Step::kUnreachable;
  guard = std::move(held);
  return tree_walk::Step::kEntered;
}

// The Windows cursor of the tree walks (tree_walk.h): the current
// directory's extended-length path, one name added or taken off per step.
// Every call still names the whole path, so a directory deeper than the
// longest path cannot be reached; and so the cursor holds every directory
// from the root to where it stands (a handle per level), lest one of them
// be swapped for a junction that the path would then lead through.
class Win32Cursor {
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

  // Standing in `root`, or nowhere when it cannot be held; a root that is a
  // link or junction is followed only when `followRoot`.
  static Win32Cursor AtRoot(const std::string& root, bool followRoot) {
    Win32Cursor cursor(ExtendedRoot(root), followRoot);
    cursor.HoldRoot();
    return cursor;
  }
  // Standing nowhere until MakeRoot makes `root`.
  static Win32Cursor ToMake(const std::string& root) { return Win32Cursor(ExtendedRoot(root), true); }

  Win32Cursor(Win32Cursor&&) = default;
  Win32Cursor& operator=(Win32Cursor&&) = default;

  Win32Cursor Clone() const {
    Win32Cursor cursor(root_, followRoot_);
    if (!guards_.empty()) cursor.HoldRoot();
    return cursor;
  }

  bool Blocked() const { return blocked_; }

  std::optional<std::vector<tree_walk::Entry<Name>>> List() const {
    if (guards_.empty()) return std::nullopt;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(JoinPath(path_, L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return std::nullopt;
    std::vector<tree_walk::Entry<Name>> entries;
    do {
      entries.push_back({data.cFileName, tree_walk::windows::KindOf(data.dwFileAttributes, data.dwReserved0)});
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return entries;
  }

  tree_walk::Step Down(const Name& name) {
    if (guards_.empty()) return tree_walk::Step::kUnreachable;
    // Room for "\name", then "\*" to list it and the NUL.
    if (path_.size() + 1 + name.size() + 2 + 1 > kMaxPathUnits) return tree_walk::Step::kTooDeep;
    std::wstring child = JoinPath(path_, name);
    DirGuard guard;
    const tree_walk::Step step = HoldDirectory(child, false, guard);
    if (step != tree_walk::Step::kEntered) return step;
    guards_.push_back(std::move(guard));
    lengths_.push_back(path_.size());
    path_ = std::move(child);
    return tree_walk::Step::kEntered;
  }

  bool MakeRoot() {
    Leave();
    if (root_.empty() || !MakeDirAt(root_)) return false;
    DirGuard guard;
    if (HoldDirectory(root_, false, guard) != tree_walk::Step::kEntered) return false;
    guards_.push_back(std::move(guard));
    path_ = root_;
    return true;
  }

  bool MakeDown(const Name& name) {
    if (guards_.empty() || path_.size() + 1 + name.size() + 2 + 1 > kMaxPathUnits) return false;
    return MakeDirAt(JoinPath(path_, name)) && Down(name) == tree_walk::Step::kEntered;
  }

  // Never lost: what the cursor came down through was held all the while.
  bool Up() {
    if (lengths_.empty()) return false;
    guards_.pop_back();
    path_.resize(lengths_.back());
    lengths_.pop_back();
    return true;
  }

  // CopyFileW follows a link at the source (the file is copied). At the
  // destination it would write through a link or into a second name of an
  // outside file: what stands there goes first, and the copy makes a file of
  // its own.
  bool CopyFrom(const Win32Cursor& source, const Name& name, tree_walk::Kind) const {
    if (source.guards_.empty() || guards_.empty()) return false;
    const std::wstring from = JoinPath(source.path_, name);
    const std::wstring to = JoinPath(path_, name);
    const DWORD existing = GetFileAttributesW(to.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (!(existing & FILE_ATTRIBUTE_DIRECTORY) || IsLinkAt(to, existing))) {
      RemoveEntry(to, existing);
    }
    if (!CopyFileW(from.c_str(), to.c_str(), TRUE)) return false;
    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
      SetFileAttributesW(to.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    return true;
  }

  std::string PathOf(const Name& name) const {
    std::wstring path = JoinPath(path_, name);
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) {
      path.erase(2, 6);
    } else if (path.rfind(L"\\\\?\\", 0) == 0) {
      path.erase(0, 4);
    }
    return Narrow(path, false).value_or(std::string());
  }

  void Delete(const tree_walk::Entry<Name>& entry) const {
    const std::wstring path = JoinPath(path_, entry.name);
    if (entry.kind == tree_walk::Kind::kDirectoryLink) {
      RemoveDirectoryW(path.c_str());
    } else {
      DeleteFileW(path.c_str());
    }
  }
  // After Up, so the subdirectory is no longer held.
  void RemoveSubdir(const Name& name) const { RemoveDirectoryW(JoinPath(path_, name).c_str()); }
  // Let go first: a held directory cannot be removed.
  void RemoveRoot() {
    Leave();
    RemoveDirectoryW(root_.c_str());
  }

 private:
  Win32Cursor(std::wstring root, bool followRoot) : root_(std::move(root)), followRoot_(followRoot) {}

  void HoldRoot() {
    DirGuard guard;
    const tree_walk::Step step = root_.empty() ? tree_walk::Step::kUnreachable : HoldDirectory(root_, followRoot_, guard);
    blocked_ = step == tree_walk::Step::kBlocked;
    if (step != tree_walk::Step::kEntered) return;
    guards_.push_back(std::move(guard));
    path_ = root_;
  }
  // Standing nowhere, nothing held.
  void Leave() {
    guards_.clear();
    lengths_.clear();
    path_.clear();
  }

  std::wstring root_;            // \\?\ absolute; empty when it could not be formed
  bool followRoot_;
  std::wstring path_;            // the current directory
  std::vector<size_t> lengths_;  // path_'s length at each level above
  std::vector<DirGuard> guards_;  // the root first, then each level down; empty: standing nowhere
  bool blocked_ = false;          // the root could not be held for want of means
};

}  // namespace

TreeCopy::TreeCopy(const std::string& source, const std::string& destination)
    : impl_(std::make_unique<tree_walk::CopyPlan<Win32Cursor>>(Win32Cursor::AtRoot(source, true),
                                                               Win32Cursor::ToMake(destination))) {}

void DeleteTree(const std::string& root) {
  Win32Cursor cursor = Win32Cursor::AtRoot(root, false);
  tree_walk::DeleteTree(cursor);
}

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

int64_t CountTreeFiles(const std::string& root) {
  Win32Cursor cursor = Win32Cursor::AtRoot(root, false);
  return tree_walk::CountFiles(cursor);
}

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
