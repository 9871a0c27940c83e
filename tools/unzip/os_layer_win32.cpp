// Windows implementation of os_layer.h: the wide-character API on long-path
// ("\\?\") forms, so deep trees and names Win32 would otherwise rewrite are
// handled exactly.
#include <windows.h>
#include <process.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <utility>

#include "tools/unzip/dir_cache.h"
#include "tools/unzip/os_layer.h"

namespace unzip {

namespace {

std::wstring Wide(std::string_view text, UINT codePage = CP_UTF8) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Utf8(std::wstring_view wide) {
  if (wide.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string text(n > 0 ? n : 0, '\0');
  if (n > 0) {
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                        nullptr, nullptr);
  }
  return text;
}

std::string ErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = n ? Utf8(std::wstring_view(buffer, n)) : std::string();
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' ||
                           text.back() == '.')) {
    text.pop_back();
  }
  return text.empty() ? "system error " + std::to_string(code) : text;
}

bool Fail(std::string* error) {
  *error = ErrorText(GetLastError());
  return false;
}

// The full path in its long-path form; relative paths are resolved first
// because the long-path form takes no "." or "..".
std::wstring LongPath(const std::string& path) {
  std::wstring wide = Wide(path.empty() ? "." : path);
  DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return wide;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  full.resize(n);
  if (full.rfind(L"\\\\?\\", 0) == 0) return full;
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  Handle& operator=(Handle&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
  }
  ~Handle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Opens the object at `path` itself: a link or junction there, not what it
// leads to (Wine opens through a Unix symbolic link all the same).
Handle OpenItself(const std::wstring& path, DWORD access, DWORD share) {
  return Handle(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// Where an open handle really is; "" when the system cannot tell.
std::wstring FinalPath(HANDLE handle) {
  wchar_t buffer[512];
  DWORD n = GetFinalPathNameByHandleW(handle, buffer, ARRAYSIZE(buffer), 0);
  if (n == 0) return std::wstring();
  if (n < ARRAYSIZE(buffer)) return std::wstring(buffer, n);
  std::wstring path(n, L'\0');
  n = GetFinalPathNameByHandleW(handle, path.data(), n, 0);
  path.resize(n < path.size() ? n : 0);
  return path;
}

std::wstring FinalChild(const std::wstring& parent, const std::string& name) {
  if (parent.empty()) return parent;
  return parent.back() == L'\\' ? parent + Wide(name) : parent + L'\\' + Wide(name);
}

// The attributes of what a handle is open on. The basic information only:
// the full information also asks for the volume's serial number, which
// costs Wine a round trip to its mount manager (about half a millisecond).
bool HandleAttributes(HANDLE handle, DWORD* attributes) {
  FILE_BASIC_INFO info;
  if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &info, sizeof info)) return false;
  *attributes = info.FileAttributes;
  return true;
}

// True when a handle is not where the name it was opened by lies: Wine opens
// through Unix symbolic links whatever the flags say.
bool OpenedElsewhere(const std::wstring& actual, const std::wstring& expected) {
  return !expected.empty() && !actual.empty() &&
         CompareStringOrdinal(actual.c_str(), -1, expected.c_str(), -1, TRUE) != CSTR_EQUAL;
}

bool OpenedElsewhere(HANDLE handle, const std::wstring& expected) {
  return OpenedElsewhere(FinalPath(handle), expected);
}

constexpr NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035);

bool FailStatus(NTSTATUS status, std::string* error) {
  *error = ErrorText(RtlNtStatusToDosError(status));
  return false;
}

// Opens `name` in the directory `parent` by the handle, not by a path: the
// system looks up one name, and nothing above it can be swapped meanwhile.
NTSTATUS OpenRelative(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG share,
                      ULONG disposition, ULONG options, HANDLE* handle, ULONG_PTR* information = nullptr) {
  UNICODE_STRING text;
  text.Buffer = const_cast<wchar_t*>(name.c_str());
  text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, parent, nullptr);
  IO_STATUS_BLOCK status = {};
  NTSTATUS result = NtCreateFile(handle, access | SYNCHRONIZE, &attributes, &status, nullptr,
                                 FILE_ATTRIBUTE_NORMAL, share, disposition,
                                 options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (information) *information = status.Information;
  if (result < 0) *handle = INVALID_HANDLE_VALUE;
  return result;
}

// Opens (creating it first if `create`) the directory `name` in `parent`
// (whose full path is `parentPath`, final path `parentFinal`), refusing a
// link or junction. The handle is held without delete sharing, so that the
// directory cannot be renamed or replaced by a link while entries go into it.
bool OpenHeldDir(HANDLE parent, const std::wstring& parentPath, const std::wstring& parentFinal,
                 const std::string& name, bool create, Handle* handle, std::wstring* path,
                 std::wstring* finalPath, std::string* error) {
  const std::wstring wide = Wide(name);
  *path = parentPath + L'\\' + wide;
  HANDLE opened;
  ULONG_PTR outcome = 0;
  NTSTATUS status = OpenRelative(parent, wide, FILE_READ_ATTRIBUTES | FILE_TRAVERSE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, create ? FILE_OPEN_IF : FILE_OPEN,
                                 FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, &opened, &outcome);
  if (status < 0) {
    const DWORD code = RtlNtStatusToDosError(status);
    if (code == ERROR_DIRECTORY) {
      *error = "a file is in the way of a directory";
    } else if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
      *error = "no such directory";
    } else {
      *error = ErrorText(code);
    }
    return false;
  }
  *handle = Handle(opened);
  // Made just now by this call in the held parent: a plain directory, where
  // the parent is.
  if (outcome == FILE_CREATED) {
    *finalPath = FinalChild(parentFinal, name);
    return true;
  }
  DWORD attributes = 0;
  if (!HandleAttributes(opened, &attributes)) return Fail(error);
  *finalPath = FinalPath(opened);
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) || OpenedElsewhere(*finalPath, FinalChild(parentFinal, name))) {
    *error = "a link or junction is in the way of a directory";
    return false;
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    *error = "a file is in the way of a directory";
    return false;
  }
  return true;
}

// A component as Windows compares names: without regard to case.
std::wstring Folded(const std::string& part) {
  std::wstring wide = Wide(part);
  if (!wide.empty()) CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
  return wide;
}

bool Dispose(HANDLE handle) {
  FILE_DISPOSITION_INFO dispose = {TRUE};
  return SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof dispose);
}

// Deletes what has the name `path` (expected final path `expected`) so that a
// new file can take it: a file, or a link itself, never what a link leads to.
bool RemoveOld(const std::wstring& path, const std::wstring& expected, std::string* error) {
  DWORD own = GetFileAttributesW(path.c_str());
  if (own == INVALID_FILE_ATTRIBUTES) return true;  // a dangling link stays, and CREATE_NEW fails
  bool link = own & FILE_ATTRIBUTE_REPARSE_POINT;
  if ((own & FILE_ATTRIBUTE_DIRECTORY) && !link) {
    *error = "a directory is in the way";
    return false;
  }
  Handle old = OpenItself(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (!old.valid()) return Fail(error);
  // Deleting through a handle opened elsewhere would delete the far end.
  if (OpenedElsewhere(old.get(), expected)) {
    *error = "a link is in the way that cannot be removed without touching its target";
    return false;
  }
  if (Dispose(old.get())) return true;
  // A read-only file from an earlier archive is replaced like any other.
  DWORD attributes = 0;
  if (GetLastError() == ERROR_ACCESS_DENIED && !link && HandleAttributes(old.get(), &attributes) &&
      (attributes & FILE_ATTRIBUTE_READONLY)) {
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = attributes & ~FILE_ATTRIBUTE_READONLY;
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (SetFileInformationByHandle(old.get(), FileBasicInfo, &basic, sizeof basic) && Dispose(old.get())) {
      return true;
    }
  }
  return Fail(error);
}

// Directory handles open in the process, wherever they are held.
std::atomic<size_t> openDirs{0};

// Directory handles kept open at most; a directory in use keeps the ones
// above it open besides.
constexpr size_t kHeldDirs = 1024;

}  // namespace

struct DestDir {
  DestDir() { ++openDirs; }
  ~DestDir() { --openDirs; }
  DestDir(const DestDir&) = delete;
  DestDir& operator=(const DestDir&) = delete;
  Handle handle;
  std::wstring path;       // long-path form
  std::wstring finalPath;  // where the handle really is; "" when unknown
  // Held as long as this one is, so that no directory above one in use can
  // be renamed and full paths keep naming what was checked.
  std::shared_ptr<const DestDir> parent;
};

struct DestTree::Walk {
  using Cache = DirCache<DestDir>;
  std::shared_ptr<DestDir> root;  // reached through links, if the caller's path has any
  Cache cache{kHeldDirs, [] { return openDirs.load(); }};

  // The directory of the first `count` components, opened one level at a
  // time by its parent's handle and created when missing if `create`,
  // passing through no link or junction; nullptr with the reason otherwise.
  std::shared_ptr<DestDir> Find(const std::vector<std::string>& parts, size_t count, bool create,
                                std::string* error) {
    std::shared_ptr<DestDir> dir = root;
    uint64_t parent = Cache::kRoot;
    for (size_t i = 0; i < count; ++i) {
      const std::wstring folded = Folded(parts[i]);
      const std::string_view key(reinterpret_cast<const char*>(folded.data()), folded.size() * sizeof(wchar_t));
      Cache::Node* node = cache.Find(parent, key);
      if (!node) {
        cache.MakeRoom();
        auto next = std::make_shared<DestDir>();
        if (!OpenHeldDir(dir->handle.get(), dir->path, dir->finalPath, parts[i], create, &next->handle,
                         &next->path, &next->finalPath, error)) {
          return nullptr;
        }
        next->parent = dir;
        node = cache.Insert(parent, key, std::move(next));
      }
      parent = node->id;
      dir = node->dir;
    }
    return dir;
  }
};

bool WindowsNameRules() { return true; }
bool UnixFileModes() { return false; }
char NativeSeparator() { return '\\'; }
unsigned CreationMask() { return 0; }

unsigned ProcessorCount() {
  DWORD_PTR process = 0, system = 0;
  unsigned count = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) {
    for (; process != 0; process &= process - 1) ++count;
  }
  if (count == 0) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    count = info.dwNumberOfProcessors;
  }
  return count > 0 ? count : 1;
}

std::string NameKey(const std::string& part) {
  // A short name is a base of at most eight characters with a "~".
  if (part.find('~') != std::string::npos) return "";
  return Utf8(Folded(part));
}

std::string DecodeEntryName(std::string_view raw, bool utf8Flag) {
  if (raw.empty() || utf8Flag) return std::string(raw);
  bool validUtf8 = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, raw.data(),
                                       static_cast<int>(raw.size()), nullptr, 0) > 0;
  if (validUtf8) return std::string(raw);
  std::wstring wide = Wide(raw, 437);
  if (wide.empty()) wide = Wide(raw, CP_OEMCP);
  return Utf8(wide);
}

std::string SystemNameProblem(std::string_view part) {
  const UINT codePage = GetACP();
  if (codePage == CP_UTF8 || part.empty()) return "";
  std::wstring wide = Wide(part);
  const int length = static_cast<int>(wide.size());
  BOOL usedDefault = FALSE;
  int n = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr, 0,
                              nullptr, &usedDefault);
  std::string ansi(n > 0 ? n : 0, '\0');
  if (n > 0) {
    n = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), length, ansi.data(), n,
                            nullptr, &usedDefault);
  }
  // The way back catches a best fit that the flag did not prevent.
  if (n <= 0 || usedDefault || Wide(ansi, codePage) != wide) {
    return "a name that the ANSI code page " + std::to_string(codePage) + " cannot hold";
  }
  return "";
}

bool ListNames(const std::string& dir, std::vector<std::string>* names, std::string* error) {
  std::wstring pattern = LongPath(dir);
  if (pattern.back() != L'\\') pattern += L'\\';  // a drive's root keeps its own
  pattern += L'*';
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    return Fail(error);
  }
  do {
    const std::wstring_view name = data.cFileName;
    if (name != L"." && name != L"..") names->push_back(Utf8(name));
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return true;
}

bool Exists(const std::string& path) {
  if (path.find_first_of("*?") != std::string::npos) return false;  // no file name holds them
  const std::wstring wide = LongPath(path);
  if (GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  // Wine gives no attributes for a FIFO or a device, but lists them.
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(wide.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return true;
}

namespace {

// One standard stream: whether it is a console is asked once.
StdPort MakePort(DWORD which, FILE* file) {
  HANDLE handle = GetStdHandle(which);
  DWORD mode = 0;
  StdPort port;
  port.console = handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
  port.toUnits = [](std::string_view text) {
    std::wstring wide = Wide(text);
    return std::u16string(wide.begin(), wide.end());
  };
  port.writeUnits = [handle, file](std::u16string_view units) {
    std::fflush(file);  // whatever went through the C library before
    DWORD written = 0;
    return WriteConsoleW(handle, reinterpret_cast<const wchar_t*>(units.data()), static_cast<DWORD>(units.size()),
                         &written, nullptr) &&
           written == units.size();
  };
  port.writeBytes = [file](std::string_view bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  };
  return port;
}

}  // namespace

void WriteStd(StdStream stream, std::string_view text) {
  static const StdPort output = MakePort(STD_OUTPUT_HANDLE, stdout);
  static const StdPort error = MakePort(STD_ERROR_HANDLE, stderr);
  WriteThrough(stream == StdStream::kOutput ? output : error, text);
}

struct Mutex::Impl {
  SRWLOCK lock = SRWLOCK_INIT;
};
Mutex::Mutex() : impl_(std::make_unique<Impl>()) {}
Mutex::~Mutex() = default;
void Mutex::Lock() { AcquireSRWLockExclusive(&impl_->lock); }
void Mutex::Unlock() { ReleaseSRWLockExclusive(&impl_->lock); }

struct Condition::Impl {
  CONDITION_VARIABLE condition = CONDITION_VARIABLE_INIT;
};
Condition::Condition() : impl_(std::make_unique<Impl>()) {}
Condition::~Condition() = default;
void Condition::Wait(Mutex& mutex) {
  SleepConditionVariableSRW(&impl_->condition, &mutex.impl_->lock, INFINITE, 0);
}
void Condition::WakeOne() { WakeConditionVariable(&impl_->condition); }
void Condition::WakeAll() { WakeAllConditionVariable(&impl_->condition); }

struct ThreadGroup::Impl {
  std::vector<HANDLE> threads;
  static unsigned __stdcall Run(void* body) {
    std::unique_ptr<std::function<void()>> owned(static_cast<std::function<void()>*>(body));
    (*owned)();
    return 0;
  }
};
ThreadGroup::ThreadGroup() : impl_(std::make_unique<Impl>()) {}
ThreadGroup::~ThreadGroup() { JoinAll(); }
bool ThreadGroup::Start(std::function<void()> body) {
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  // The C runtime's own start, so that its per-thread state is set up.
  uintptr_t thread = _beginthreadex(nullptr, 0, &Impl::Run, owned.get(), 0, nullptr);
  if (thread == 0) return false;
  owned.release();
  impl_->threads.push_back(reinterpret_cast<HANDLE>(thread));
  return true;
}
void ThreadGroup::JoinAll() {
  for (HANDLE thread : impl_->threads) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
  impl_->threads.clear();
}

ArchiveFile::~ArchiveFile() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool ArchiveFile::Open(const std::string& path, std::string* error) {
  // Directories open too (backup semantics), so that what is in the way can
  // be told by the handle rather than by a look at the name beforehand.
  HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail(error);
  handle_ = reinterpret_cast<intptr_t>(file);
  DWORD attributes = 0;
  if (GetFileType(file) != FILE_TYPE_DISK) {
    *error = "not a regular file (a device or pipe)";
    return false;
  }
  if (!HandleAttributes(file, &attributes)) return Fail(error);
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    *error = "not a regular file (a directory)";
    return false;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size)) return Fail(error);
  size_ = static_cast<uint64_t>(size.QuadPart);
  return true;
}

bool ArchiveFile::ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got,
                         std::string* error) const {
  *got = 0;
  char* out = static_cast<char*>(buffer);
  while (*got < length) {
    OVERLAPPED at = {};
    uint64_t position = offset + *got;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(length - *got, 1u << 30));
    DWORD n = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), out + *got, chunk, &n, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return Fail(error);
    }
    if (n == 0) break;
    *got += n;
  }
  return true;
}

OutputFile::~OutputFile() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool OutputFile::Write(const void* data, size_t length, std::string* error) {
  const char* in = static_cast<const char*>(data);
  while (length > 0) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(length, 1u << 30));
    DWORD n = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(handle_), in, chunk, &n, nullptr)) return Fail(error);
    in += n;
    length -= n;
  }
  return true;
}

bool OutputFile::Close(std::string* error) {
  HANDLE file = reinterpret_cast<HANDLE>(handle_);
  handle_ = -1;
  return CloseHandle(file) ? true : Fail(error);
}

DestTree::DestTree() : walk_(std::make_unique<Walk>()) {}
DestTree::~DestTree() = default;

bool DestTree::Open(const std::string& root, std::string* error) {
  root_ = root;
  mask_ = CreationMask();
  std::wstring wide = LongPath(root);
  // Levels above the first missing one already exist, so their failures
  // (the drive, the share) are expected; only the final check counts.
  for (size_t at = wide.find(L'\\', 4); at != std::wstring::npos; at = wide.find(L'\\', at + 1)) {
    CreateDirectoryW(wide.substr(0, at).c_str(), nullptr);
  }
  if (!CreateDirectoryW(wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    return Fail(error);
  }
  auto dir = std::make_shared<DestDir>();
  dir->handle = Handle(CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!dir->handle.valid()) return Fail(error);
  DWORD attributes = 0;
  if (!HandleAttributes(dir->handle.get(), &attributes)) return Fail(error);
  if (GetFileType(dir->handle.get()) != FILE_TYPE_DISK || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    *error = "not a directory";
    return false;
  }
  if (!wide.empty() && wide.back() == L'\\') wide.pop_back();  // a drive's root
  dir->path = wide;
  dir->finalPath = FinalPath(dir->handle.get());
  walk_->root = std::move(dir);
  return true;
}

DestDirRef DestTree::Dir(const std::vector<std::string>& parts, size_t count, int,
                         std::string* error) {
  return walk_->Find(parts, count, true, error);
}

void DestTree::SetDrain(std::function<void()> drain) { walk_->cache.SetDrain(std::move(drain)); }

bool DestTree::NewFile(const DestDir& dir, const std::string& name, int, OutputFile* out,
                       std::string* error) {
  const std::wstring wide = Wide(name);
  // Always a new file: an old one may be read-only, or a link (hard or
  // symbolic) whose other end must not change. Creating fails on any name
  // that exists, and only then is it removed.
  for (int attempt = 0;; ++attempt) {
    HANDLE file;
    NTSTATUS status = OpenRelative(dir.handle.get(), wide, GENERIC_WRITE, 0, FILE_CREATE,
                                   FILE_NON_DIRECTORY_FILE, &file);
    if (status >= 0) {
      out->handle_ = reinterpret_cast<intptr_t>(file);
      return true;
    }
    if (attempt > 0 || status != kNameCollision) return FailStatus(status, error);
    const std::wstring path = dir.path + L'\\' + wide;
    if (!RemoveOld(path, FinalChild(dir.finalPath, name), error)) return false;
  }
}

void DestTree::RemoveFile(const DestDir& dir, const std::string& name) {
  DeleteFileW((dir.path + L'\\' + Wide(name)).c_str());
}

bool DestTree::SetDirMode(const std::vector<std::string>&, int, std::string*) { return true; }

bool DestTree::MakeLink(const std::vector<std::string>&, const std::string&, std::string* error) {
  *error = "symbolic links are not supported";
  return false;
}

}  // namespace unzip
