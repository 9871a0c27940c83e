// The floor of an expansion for a Windows program under Wine: the same
// directories and files as figure 3's jars give, the files written with
// zeros of each entry's size, on as many threads as there are processors.
// Nothing is read or inflated and nothing is checked: what is left is what
// Wine's file layer costs for the tree alone.
//
//   qel_bench_wine_floor.exe DEST LIST
//
// LIST holds one entry a line, "NAME<TAB>SIZE" (make_inputs.py names), NAME
// with "/" and ending with "/" for a directory. Cross-compiled by run.sh.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

struct Item {
  std::wstring name;
  DWORD size;
};

std::vector<Item> files;
std::wstring root;
std::vector<char> zeros;
volatile LONG next = -1;

DWORD WINAPI Work(void*) {
  for (LONG i; (i = InterlockedIncrement(&next)) < static_cast<LONG>(files.size());) {
    const Item& item = files[i];
    HANDLE file = CreateFileW((root + item.name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      std::fprintf(stderr, "cannot create %ls\n", item.name.c_str());
      std::exit(2);
    }
    DWORD written = 0;
    if (item.size > 0) WriteFile(file, zeros.data(), item.size, &written, nullptr);
    CloseHandle(file);
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: qel_bench_wine_floor.exe DEST LIST\n");
    return 2;
  }
  root = std::wstring(argv[1]) + L"\\";
  FILE* list = _wfopen(argv[2], L"r");
  if (!list) return 2;
  std::set<std::wstring> dirs;
  char line[4096];
  DWORD largest = 0;
  while (std::fgets(line, sizeof line, list)) {
    std::string text(line);
    size_t tab = text.find('\t');
    if (tab == std::string::npos) continue;
    std::wstring name(text.begin(), text.begin() + tab);
    for (wchar_t& c : name) c = c == L'/' ? L'\\' : c;
    for (size_t at = name.find(L'\\'); at != std::wstring::npos; at = name.find(L'\\', at + 1)) {
      dirs.insert(name.substr(0, at));
    }
    if (name.back() == L'\\') continue;
    DWORD size = static_cast<DWORD>(std::strtoul(text.c_str() + tab + 1, nullptr, 10));
    files.push_back({name, size});
    if (size > largest) largest = size;
  }
  zeros.resize(largest + 1);
  CreateDirectoryW(argv[1], nullptr);
  for (const std::wstring& dir : dirs) CreateDirectoryW((root + dir).c_str(), nullptr);  // parents sort first
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  std::vector<HANDLE> threads;
  for (DWORD i = 1; i < info.dwNumberOfProcessors; ++i) threads.push_back(CreateThread(nullptr, 0, Work, nullptr, 0, nullptr));
  Work(nullptr);
  if (!threads.empty()) WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
  return 0;
}
