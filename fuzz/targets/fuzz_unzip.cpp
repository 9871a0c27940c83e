// The archive expander on any bytes: the archive is expanded into a fresh
// destination below a fresh parent. Nothing may appear beside the
// destination, and every link in the expanded tree must lead to a place
// inside it (or to nothing at all).
#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "tools/unzip/expand.h"
#include "tools/unzip/os_layer.h"
#include "tools/unzip/path_guard.h"

namespace {

namespace fs = std::filesystem;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

std::set<std::string> Names(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") names.insert(name);
    }
    closedir(d);
  }
  return names;
}

bool Inside(const std::string& path, const std::string& root) {
  return path == root || path.compare(0, root.size() + 1, root + "/") == 0;
}

// Where `path` leads as far as it exists: the real path of its longest
// existing prefix (a dangling link is judged by where it would point).
std::string ResolvedPrefix(const std::string& path) {
  std::string prefix = path;
  for (;;) {
    char buffer[PATH_MAX];
    if (realpath(prefix.c_str(), buffer)) return buffer;
    size_t slash = prefix.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return "/";
    prefix.resize(slash);
  }
}

void CheckLinks(const std::string& root) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_symlink(ec)) continue;
    std::string target = fs::read_symlink(it->path(), ec).string();
    if (ec) continue;
    Check(!target.empty() && target[0] != '/');
    std::string where = ResolvedPrefix(it->path().parent_path().string() + "/" + target);
    if (!Inside(where, root)) {
      dprintf(STDERR_FILENO, "link %s -> %s leads to %s\n", it->path().c_str(), target.c_str(), where.c_str());
      __builtin_trap();
    }
  }
}

// The name checks on the raw input as an entry name, with the rules of
// both systems: what they accept is plain components only.
void CheckNameRules(std::string_view name) {
  for (bool windows : {false, true}) {
    unzip::EntryPath path;
    std::string why;
    if (!unzip::SplitEntryName(name, windows, &path, &why)) continue;
    for (const std::string& part : path.parts) {
      Check(!part.empty() && part != "." && part != "..");
      Check(part.find_first_of(std::string_view("/\\\0", 3)) == std::string::npos);
      if (windows) Check(part.find(':') == std::string::npos && part.back() != '.' && part.back() != ' ');
    }
    // A link there to the name itself: never absolute, never above the root.
    if (unzip::LinkStaysInside(path.parts, name, &why)) {
      Check(!name.empty() && name[0] != '/' && name[0] != '\\');
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The expander tells every entry and failure; the sanitizers and the
  // fuzzer write to the descriptors directly and are not silenced.
  static FILE* null = [] {
    FILE* f = std::fopen("/dev/null", "w");
    stdout = f;
    stderr = f;
    return f;
  }();
  (void)null;

  CheckNameRules(std::string_view(reinterpret_cast<const char*>(data), std::min<size_t>(size, 512)));

  const std::string& area = fuzz_support::ScratchArea();
  std::string archive = fuzz_support::WriteInput("archive.zip", data, size);
  std::string parent = area + "/run";
  if (mkdir(parent.c_str(), 0700) != 0) __builtin_trap();
  std::string dest = parent + "/dest";

  {
    unzip::DestTree tree;
    std::string error;
    if (!tree.Open(dest, &error)) __builtin_trap();
    int status = unzip::ExpandArchive(archive, tree, false);
    Check(status == unzip::kExitOk || status == unzip::kExitIncomplete || status == unzip::kExitDamaged ||
          status == unzip::kExitIo);
  }

  Check(Names(parent) == std::set<std::string>{"dest"});
  Check(Names(area) == (std::set<std::string>{"archive.zip", "run"}));
  char real[PATH_MAX];
  if (!realpath(dest.c_str(), real)) __builtin_trap();
  CheckLinks(real);

  std::error_code ec;
  fs::permissions(parent, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(parent, ec);
  if (ec || fs::exists(parent)) __builtin_trap();
  return 0;
}
