// The DLL search of every Windows program of the kit, header only, so that
// the programs that do not link the launcher's library call the same code.
#pragma once

#include <windows.h>

namespace platform::win32 {

// DLLs are looked up in System32 only, never beside the program (a download
// folder) or in the current directory. SetDefaultDllDirectories is looked up
// by name: a Windows 7 or Vista without the update that brought it must
// still start the program, and there the current directory at least leaves
// the search.
inline void RestrictDllSearchToSystem32() {
  using SetDefaultDirs = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto setDefault = kernel ? reinterpret_cast<SetDefaultDirs>(reinterpret_cast<void*>(
                                 GetProcAddress(kernel, "SetDefaultDllDirectories")))
                           : nullptr;
  if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryW(L"");
}

}  // namespace platform::win32
