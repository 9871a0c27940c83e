// The operating-system services the launcher uses, as plain functions.
// platform/win32 implements them with the real Windows services, platform/posix
// with the Linux counterparts; CMake compiles exactly one of the two.
// platform/shared holds pure code that both builds compile (and test).
//
// Texts are narrow byte strings in the process code page: UTF-8 on Linux, and
// on Windows wherever the manifest's UTF-8 code page is honoured (Windows 10
// 1903 and later), else the ANSI code page. Nothing here calls back into the
// launcher.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// ---------------------------------------------------------------------------
// Paths

// Separator between directory components and between class-path entries.
extern const char kPathSep;       // '\\' on Windows, '/' on Linux
extern const char kClassPathSep;  // ';' on Windows, ':' on Linux
// The fixed temp root used when no variable names a valid one.
extern const char* const kDefaultTempRoot;  // "C:\\TEMP" or "/tmp"
// Characters a temp root may not hold after its root prefix.
extern const char* const kForbiddenTempChars;  // "/*?<>:|;" or "*?<>|;:\""
// Length of the absolute root at the start of `path`: 3 for a drive path
// ("C:\\", any alphabetic drive letter), 1 for a rooted path ("\\" on
// Windows, "/" on Linux); 0 when the path is not absolute.
size_t AbsoluteRootLength(const std::string& path);

// ---------------------------------------------------------------------------
// Process and errors

// Full file name of the running executable; empty on failure (see LastError;
// Windows: also when the code page cannot hold the name exactly, or it is
// longer than 1023 bytes).
std::string ModuleFileName();
// Windows: the command tail as the C runtime hands it to WinMain, read in
// UTF-16 and converted exactly; a letter the process code page lacks becomes
// '?' (the ANSI command line would hold a look-alike). The Linux entry
// rebuilds the tail from argv instead and has no such function.
std::string CommandTail();
// The first call of every program of the kit: DLLs are looked up in System32
// only, never beside the program or in the current directory, where anyone
// who can write there could plant one. Nothing on Linux.
void RestrictDllSearch();
// The system error number of the last failed call (GetLastError / errno).
int LastError();
// The system's text for an error number, without a trailing newline.
std::string ErrorText(int error);
// Value of an environment variable; nullopt when it is not set at all.
// Windows: a letter the process code page lacks becomes '?' (so such a TEMP
// is an invalid one).
std::optional<std::string> GetEnv(const std::string& name);
// Readies the process for a run: on Linux SIGPIPE is ignored, so that a
// closed output pipe fails a console write (which the launcher ignores, as
// Windows reports it) instead of ending the launcher. Nothing on Windows.
void PrepareProcess();
// A millisecond tick counter for timing steps: GetTickCount on Windows, the
// monotonic clock on Linux. It wraps at 2^32; take differences as uint32_t.
uint32_t TickCountMs();

// ---------------------------------------------------------------------------
// Locale

// The user's locale as "ll_CC" (language, "_", country), see shared/locale_name.
std::string UserLocaleName();

// ---------------------------------------------------------------------------
// Console and standard streams

// Creates (Windows) or adopts (Linux: the terminal) the launcher's console:
// buffer of `columns` x `bufferLines`, a window `windowLines` high, the title.
// Standard streams that the caller redirected to a file or pipe stay bound to
// it, so scripts keep capturing output and answering prompts. Failures are
// ignored: the launcher carries on with whatever console it got.
void OpenConsole(const std::string& title, int columns, int bufferLines, int windowLines);
// Writes bytes to standard output / standard error. Returns false when the
// stream is absent or the write failed.
bool WriteStdout(const std::string& bytes);
bool WriteStderr(const std::string& bytes);
// Writes UTF-8 text to the console through the wide-character interface when
// standard output is a real console, else as UTF-8 bytes. False when there is
// no standard output at all.
bool WriteConsoleUtf8(const std::string& text);
// True when the process has a usable standard output.
bool HasStdout();
// Drops input typed ahead of a prompt, but only at a real console or
// terminal: redirected input keeps every line, so scripted answers still
// work. Windows: FlushConsoleInputBuffer; Linux: tcflush(TCIFLUSH).
void DiscardPendingConsoleInput();
// Reads one byte from standard input; nullopt at end of input or on error.
std::optional<char> ReadStdinChar();
// Reads one line (without its line end) of at most maxChars bytes from
// standard input; further characters of the same line are consumed and
// dropped. nullopt at end of input before any character. Windows: typed at a
// real console, the line is read in UTF-16 and converted to the process code
// page (no character is cut in half); redirected input is taken as bytes.
std::optional<std::string> ReadStdinLine(size_t maxChars);
// Message box without owner, error icon, OK button; UTF-8 texts are shown
// through the wide interface, other bytes as the ANSI code page's letters.
// Linux: title and text on standard error, one block.
void ShowMessageBox(const std::string& title, const std::string& text);

// ---------------------------------------------------------------------------
// Files and directories

bool PathExists(const std::string& path);   // file or directory
// True when anything is there, a dangling link included (lstat on Linux).
bool NameTaken(const std::string& path);
bool IsDirectory(const std::string& path);
// True when the path exists and the process may read and write it.
bool CanReadWrite(const std::string& path);
// Creates one directory (its parent must exist). With `ownerOnly` only its
// owner may change it: Linux: mode 0700 (else 0777 less the umask); Windows:
// a protected access list for the user, SYSTEM and the administrators, and
// the directory is held open without delete sharing until ReleaseDirectory
// or the end of the process, so nobody can rename or delete it meanwhile.
bool CreateDir(const std::string& path, bool ownerOnly = false);
// Lets go of a directory CreateDir holds (Windows), so that it can be
// deleted; call it right before the deletion. Nothing on Linux.
void ReleaseDirectory(const std::string& path);
// The full path of `path` resolved against the current directory; nullopt on
// failure (LastError tells why). No symbolic links are resolved.
std::optional<std::string> FullPath(const std::string& path);
bool SetCurrentDir(const std::string& path);
std::optional<std::string> CurrentDir();

// What tells a directory apart from one put at its path later: volume and
// file number, and on Linux its owner and permission bits.
struct DirIdentity {
  uint64_t volume = 0;
  uint64_t file = 0;
  uint32_t owner = 0;
  uint32_t mode = 0;
  bool operator==(const DirIdentity&) const = default;
};
// The identity of `path` when it is a directory itself, not a link (Linux)
// or a reparse point (Windows); nullopt otherwise.
std::optional<DirIdentity> DirectoryIdentity(const std::string& path);
// True when a directory below `root` stays where it was made: Linux: `root`
// belongs to the user or to root, and group and others cannot write it or it
// has the sticky bit (as /tmp has), so nobody else can rename or replace
// what the launcher makes there. Windows: true (the scratch directory is held
// open without delete sharing, see CreateDir, and its own access list keeps
// others out).
bool IsTrustedTempRoot(const std::string& root);

// ---------------------------------------------------------------------------
// Reading and appending: every file the programs read comes from outside,
// and at its path may stand a FIFO, a device or a directory instead.

enum class FileReadError {
  kMissing,     // nothing at the path, or a directory on the way is missing
  kNotRegular,  // a directory, FIFO, device or socket
  kTooLarge,    // more than the caller's bound
  kUnreadable,  // no permission, or a read failed
};
// The bytes of the regular file at `path`, read whole. The open never blocks
// and the descriptor is not inherited; what the open finds is checked on the
// descriptor, so nothing swapped in after a test is read. nullopt (with the
// reason in `error`) for anything but a regular file of at most `maxBytes`.
std::optional<std::string> ReadRegularFile(const std::string& path, size_t maxBytes,
                                           FileReadError* error = nullptr);
// Opens `path` for appending as a text file (created when missing), never
// inherited by a child and never blocking: a FIFO or device at the path is
// not opened. nullptr on failure. The caller closes it with std::fclose.
std::FILE* OpenAppendFile(const std::string& path);

// ---------------------------------------------------------------------------
// Profile (INI) files

// GetPrivateProfileStringA on Windows; shared/ini_reader on Linux. Section and
// key match without regard to case; blanks around the value are dropped; an
// absent file or key gives `defaultValue`; at most `maxChars` characters.
std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& defaultValue, const std::string& path,
                              size_t maxChars = 1023);
// A value read from a parameter or prerequisite file, ready for use. Windows:
// a text that is not valid UTF-8 was written in the system's ANSI code page
// (media made before the UTF-8 code page) and is converted to the process
// code page; valid UTF-8 is kept, or, without the UTF-8 process code page,
// converted to the ANSI one, where a letter it lacks becomes '?'. Linux:
// unchanged.
std::string TextFromFile(const std::string& bytes);

// ---------------------------------------------------------------------------
// Registry (HKEY_LOCAL_MACHINE only). Windows: advapi32. Linux: a file-backed
// store below $QEL_REGISTRY_ROOT (default /etc/quelta/registry); keys are
// directories matched without regard to case, values are files.

// <windows.h> maps these names to its own A/W functions by macro; the
// platform's functions keep their names wherever this header comes later.
#undef RegOpenKey
#undef RegQueryValue
#undef RegDeleteValue
#undef RegCreateKey
#undef RegDeleteKey

enum class RegAccess { Query, All };
// The view a 32-bit Windows process opens: its own, where SOFTWARE is
// redirected to SOFTWARE\WOW6432Node, or the 64-bit one (KEY_WOW64_64KEY;
// the same as its own on 32-bit Windows). The Linux store has one view.
enum class RegView { Own, Bits64 };

class RegKey {
 public:
  RegKey() = default;
  ~RegKey();
  RegKey(RegKey&& other) noexcept;
  RegKey& operator=(RegKey&& other) noexcept;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  bool IsOpen() const { return handle_ != 0; }
  void Close();
  // Implementation detail: HKEY on Windows, index into a path table on Linux.
  uintptr_t handle_ = 0;
};

// Status codes are the Windows error numbers (0 success, 2 not found,
// 5 access denied, 234 more data) on both builds.
constexpr long kRegOk = 0;
constexpr long kRegNotFound = 2;
constexpr long kRegAccessDenied = 5;
constexpr long kRegMoreData = 234;

// Opens `subKey` ("SOFTWARE\\QUELTA", backslash-separated on both builds)
// below HKEY_LOCAL_MACHINE.
long RegOpenKey(const std::string& subKey, RegAccess access, RegKey& out, RegView view = RegView::Own);
// Reads value data of any type into `data`; at most `maxBytes` bytes, else
// kRegMoreData and `data` untouched.
long RegQueryValue(const RegKey& key, const std::string& name, std::string& data,
                   size_t maxBytes);
// Sets a REG_SZ value; `text` is stored with its terminating zero.
long RegSetStringValue(const RegKey& key, const std::string& name, const std::string& text);
long RegDeleteValue(const RegKey& key, const std::string& name);
// Creates or opens a subkey (non-volatile, full access, with a class text).
long RegCreateKey(const RegKey& key, const std::string& subKey, const std::string& keyClass,
                  RegKey& out);
// Deletes a subkey that has no subkeys of its own.
long RegDeleteKey(const RegKey& key, const std::string& subKey);

}  // namespace platform

// Further services, one header per group.
#include "platform/filetree.h"  // directory listing, file copy and removal, free space
#include "platform/process.h"   // child processes
#include "platform/sysinfo.h"   // system facts for the prerequisite checks

namespace platform {

// ---------------------------------------------------------------------------
// The test seam: unit tests replace what a test cannot control on a real
// machine. Production code never sets any of it.

struct Overrides {
  // Pending standard input; its end is the end of input.
  std::optional<std::string> stdinData;
  std::function<void(const std::string&)> stdoutSink;   // WriteStdout
  std::function<void(const std::string&)> consoleSink;  // WriteConsoleUtf8 (else the stdout sink)
  std::function<void(const std::string&)> stderrSink;   // WriteStderr
  std::function<void(const std::string&, const std::string&)> messageBox;
  // When set, StartChild starts nothing and asks it (see FakeChildStarter).
  FakeChildStarter startChild;
  DiskSpaceOverrides disk;
  SysInfoOverrides sysInfo;
};
Overrides& TestOverrides();

}  // namespace platform
